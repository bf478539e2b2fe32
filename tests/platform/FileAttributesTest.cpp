// Attribute emulation: what filters, copies and zips see of a file's Windows attributes.
#include "platform/FileAttributes.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <utime.h>

using namespace qv;

namespace {

std::uint32_t attrsOf(const std::string &path)
{
    std::uint32_t a = 0xDEADBEEF;
    EXPECT_TRUE(FileAttributes::read(path, a)) << path;
    return a;
}

bool xattrsWork(const std::string &dir)
{
    std::string probe = dir + "/xattr-probe";
    qvtest::writeFile(probe, "x");
    bool ok = ::setxattr(probe.c_str(), "user.qvprobe", "1", 1, 0) == 0;
    ::unlink(probe.c_str());
    return ok;
}

} // namespace

TEST(FileAttributesRead, TableOfNamesAndModes)
{
    std::string dir = qvtest::makeTempDir("attrs");
    struct Case
    {
        const char *name;
        bool folder;
        mode_t mode;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"plain.txt", false, 0644, faArchive},
        {".hidden", false, 0644, faArchive | faHidden},
        {"locked.txt", false, 0444, faArchive | faReadOnly},
        {".both", false, 0400, faArchive | faReadOnly | faHidden},
        {"group-write-only", false, 0464, faArchive | faReadOnly},
        {"folder", true, 0755, faDirectory},
        {".hidden-folder", true, 0755, faDirectory | faHidden},
        {"ro-folder", true, 0555, faDirectory | faReadOnly},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir + "/" + c.name;
        if (c.folder) {
            ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
        } else {
            qvtest::writeFile(path, "data");
        }
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        EXPECT_EQ(attrsOf(path), c.expected);
        // A trailing slash on a folder does not change the name that decides "hidden".
        if (c.folder) {
            EXPECT_EQ(attrsOf(path + "/"), c.expected);
        }
        ::chmod(path.c_str(), 0755);
    }
}

TEST(FileAttributesRead, MissingFileReportsErrno)
{
    std::uint32_t a = 1;
    int err = 0;
    EXPECT_FALSE(FileAttributes::read(qvtest::makeTempDir("missing") + "/nope", a, &err));
    EXPECT_EQ(err, ENOENT);
    EXPECT_EQ(a, 0u);
}

TEST(FileAttributesRead, HiddenNameRules)
{
    const std::pair<const char *, bool> cases[] = {
        {"/a/.b", true},  {"/a/b", false},   {".x", true},  {"x", false},       {"/a/.b/", true},
        {"/a/./", false}, {"/a/../", false}, {"/.", false}, {"/a/.b/c", false}, {"", false},
    };
    for (const auto &[path, hidden] : cases) {
        EXPECT_EQ(FileAttributes::isHiddenName(path), hidden) << path;
    }
}

TEST(FileAttributesWrite, ReadOnlyRoundTrip)
{
    std::string dir = qvtest::makeTempDir("ro");
    std::string f = dir + "/f";
    qvtest::writeFile(f, "x");
    ASSERT_EQ(::chmod(f.c_str(), 0664), 0);
    ASSERT_TRUE(FileAttributes::write(f, faReadOnly | faArchive));
    struct stat st;
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(attrsOf(f), faReadOnly | faArchive);
    ASSERT_TRUE(FileAttributes::write(f, faArchive));
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(attrsOf(f), faArchive);

    // Hidden and system cannot be given to a file; asking for them changes nothing else.
    ASSERT_TRUE(FileAttributes::write(f, faArchive | faHidden | faSysFile));
    EXPECT_EQ(attrsOf(f), faArchive);

    // Read-only is never put on a folder: it would stop anything being written into it.
    std::string sub = dir + "/sub";
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    ASSERT_TRUE(FileAttributes::write(sub, faReadOnly | faDirectory));
    ASSERT_EQ(::stat(sub.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST(FileAttributesWrite, ArchiveClearedUntilTheFileChanges)
{
    std::string dir = qvtest::makeTempDir("archive");
    if (!xattrsWork(dir)) {
        GTEST_SKIP() << "the test folder's file system keeps no user extended attributes";
    }
    std::string f = dir + "/doc.txt";
    qvtest::writeFile(f, "first");
    EXPECT_EQ(attrsOf(f), faArchive);

    ASSERT_TRUE(FileAttributes::write(f, 0));
    EXPECT_EQ(attrsOf(f), 0u);

    // A new modification time (same size) sets the attribute again.
    struct utimbuf later = {1700000000, 1700000000};
    ASSERT_EQ(::utime(f.c_str(), &later), 0);
    EXPECT_EQ(attrsOf(f), faArchive);

    // A change of content sets it again too.
    ASSERT_TRUE(FileAttributes::write(f, 0));
    EXPECT_EQ(attrsOf(f), 0u);
    qvtest::writeFile(f, "second, longer");
    EXPECT_EQ(attrsOf(f), faArchive);

    // Setting it removes the mark.
    ASSERT_TRUE(FileAttributes::write(f, 0));
    ASSERT_TRUE(FileAttributes::write(f, faArchive));
    char buf[64];
    EXPECT_LT(::getxattr(f.c_str(), FileAttributes::kArchiveClearedXattr, buf, sizeof buf), 0);
    EXPECT_EQ(attrsOf(f), faArchive);

    // Permission changes alone leave a cleared attribute cleared.
    ASSERT_TRUE(FileAttributes::write(f, faReadOnly));
    EXPECT_EQ(attrsOf(f), faReadOnly);
    ASSERT_TRUE(FileAttributes::write(f, 0));
    EXPECT_EQ(attrsOf(f), 0u);
}

TEST(FileAttributesWrite, MarkAsOfAnEarlierStateDoesNotHideLaterChanges)
{
    std::string dir = qvtest::makeTempDir("asof");
    if (!xattrsWork(dir)) {
        GTEST_SKIP() << "the test folder's file system keeps no user extended attributes";
    }
    std::string f = dir + "/grows.log";
    qvtest::writeFile(f, "one");
    struct stat before;
    ASSERT_EQ(::stat(f.c_str(), &before), 0);
    qvtest::writeFile(f, "one two");
    ASSERT_TRUE(FileAttributes::markArchiveCleared(f, before));
    EXPECT_EQ(attrsOf(f), faArchive);
    struct stat now;
    ASSERT_EQ(::stat(f.c_str(), &now), 0);
    ASSERT_TRUE(FileAttributes::markArchiveCleared(f, now));
    EXPECT_EQ(attrsOf(f), 0u);
}

TEST(FileAttributesWrite, MissingFileFails)
{
    int err = 0;
    EXPECT_FALSE(FileAttributes::write(qvtest::makeTempDir("gone") + "/x", faArchive, &err));
    EXPECT_EQ(err, ENOENT);
}
