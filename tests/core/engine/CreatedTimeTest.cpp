// One rule for a file's creation time: a run's scan and the filter's entry read agree, and both take
// the birth time where the file system records one, else the modification time (never the inode
// change time, which a chmod or rename moves).
#include "core/engine/FolderScanner.h"
#include "core/task/DirEntry.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

namespace {

std::int64_t ns(const struct statx_timestamp &t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

TEST(CreatedTime, ScanAndEntryReadTakeTheSameRule)
{
    const std::string dir = qvtest::makeTempDir("created");
    const std::string file = dir + "/f.txt";
    qvtest::writeFile(file, "x");
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 500}}; // 2001
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // so the change time moves on
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);

    struct statx sx = {};
    ASSERT_EQ(::statx(AT_FDCWD, file.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx), 0);
    const bool birth = (sx.stx_mask & STATX_BTIME) != 0;
    const std::int64_t expected = birth ? ns(sx.stx_btime) : ns(sx.stx_mtime);
    ASSERT_NE(expected, ns(sx.stx_ctime)) << "the scenario needs a change time apart from the creation time";

    qv::DirectoryReader reader;
    std::vector<qv::DirItem> items;
    int error = 0;
    ASSERT_TRUE(reader.list(dir + "/", items, error)) << error;
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].createdNs, expected) << (birth ? "birth time" : "modification time");

    qv::DirEntry entry;
    ASSERT_EQ(qv::readDirEntry(dir, "f.txt", entry), 0);
    EXPECT_EQ(static_cast<std::int64_t>(entry.creationTime.seconds) * 1000000000 + entry.creationTime.nanoseconds,
              expected);
    EXPECT_EQ(entry.lastWriteTime.seconds, 1000000000);
    EXPECT_EQ(entry.lastWriteTime.nanoseconds, 500);
}
