// Directory entries as the scan reads them for the filters.
#include "core/task/DirEntry.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace qv;

TEST(DirEntryRead, FilesFoldersLinksAndAttributes)
{
    const std::string dir = qvtest::makeTempDir("direntry");
    qvtest::writeFile(dir + "/plain.txt", std::string(1234, 'x'));
    qvtest::writeFile(dir + "/.hidden", "h");
    qvtest::writeFile(dir + "/locked", "r");
    ASSERT_EQ(::chmod((dir + "/locked").c_str(), 0444), 0);
    ASSERT_EQ(::mkdir((dir + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("plain.txt", (dir + "/link").c_str()), 0);
    const std::string raw = "n\xff\xfe.bin";
    qvtest::writeFile(dir + "/" + raw, "12");

    DirEntry e;
    ASSERT_EQ(readDirEntry(dir, "plain.txt", e), 0);
    EXPECT_EQ(e.name, "plain.txt");
    EXPECT_EQ(e.size, 1234u);
    EXPECT_FALSE(e.isDirectory());
    EXPECT_FALSE(e.isSymlink);
    EXPECT_EQ(e.attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem), 0u);
    EXPECT_NE(e.attributes & kAttrArchive, 0u);
    struct stat st
    {
    };
    ASSERT_EQ(::stat((dir + "/plain.txt").c_str(), &st), 0);
    EXPECT_EQ(e.lastWriteTime.seconds, st.st_mtim.tv_sec);
    EXPECT_EQ(e.lastWriteTime.nanoseconds, st.st_mtim.tv_nsec);
    EXPECT_NE(e.creationTime.seconds, 0);

    ASSERT_EQ(readDirEntry(dir + "/", ".hidden", e), 0);
    EXPECT_NE(e.attributes & kAttrHidden, 0u);
    ASSERT_EQ(readDirEntry(dir, "locked", e), 0);
    EXPECT_NE(e.attributes & kAttrReadOnly, 0u);
    ASSERT_EQ(readDirEntry(dir, "sub", e), 0);
    EXPECT_TRUE(e.isDirectory());
    EXPECT_EQ(e.size, 0u);
    ASSERT_EQ(readDirEntry(dir, "link", e), 0);
    EXPECT_TRUE(e.isSymlink);
    EXPECT_EQ(e.size, 1234u); // the link's target
    ASSERT_EQ(readDirEntry(dir, raw, e), 0);
    EXPECT_EQ(e.name, raw);
    EXPECT_EQ(e.size, 2u);
    EXPECT_EQ(readDirEntry(dir, "missing", e), ENOENT);
}

} // namespace
