// File helpers: path roots, folder queries, validation, deletes, dates, sizes and attributes.
#include "core/util/FileUtils.h"

#include "platform/FileAttributes.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

using namespace qv;

namespace {

void setMtime(const std::string &path, time_t secs, long nsec)
{
    struct timespec t[2] = {{secs, nsec}, {secs, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

bool exists(const std::string &p)
{
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

} // namespace

TEST(FileUtilsPaths, RemovePathRoot)
{
    const std::pair<const char *, const char *> cases[] = {
        {"/home/ann/docs", "home/ann/docs"}, {"/home/ann/docs/", "home/ann/docs/"}, {"//server/x", "server/x"},
        {"/", ""},  {"", ""}, {"relative/path", ""}, {"a", ""}, {"/a", "a"},
    };
    for (const auto &[in, out] : cases) {
        EXPECT_EQ(RemovePathRoot(in), out) << in;
    }
}

TEST(FileUtilsPaths, ValidateFolderRefusesUnusablePaths)
{
    std::string base = qvtest::makeTempDir("validate");
    const std::string bad[] = {
        "",
        "relative/folder",
        base + "/\\\\\\ERROR!\\\\\\/x",
        base + std::string("/nul\0byte", 9),
    };
    for (const auto &p : bad) {
        EXPECT_FALSE(ValidateFolder(p, false)) << p;
        EXPECT_FALSE(ValidateFolder(p, true)) << p;
    }
    // Characters Windows refuses are ordinary here.
    const std::string good[] = {base + "/a:b", base + "/what?*", base + "/back\\slash", base + "/\"q\" <x>|y"};
    for (const auto &p : good) {
        EXPECT_FALSE(ValidateFolder(p, false)) << p;
        EXPECT_TRUE(ValidateFolder(p, true)) << p;
        EXPECT_TRUE(ValidateFolder(p, false)) << p;
        EXPECT_TRUE(ValidateFolder(p + "/", false)) << p;
    }
}

TEST(FileUtilsPaths, ValidateFolderCreatesEveryLevelAndRefusesFiles)
{
    std::string base = qvtest::makeTempDir("levels");
    EXPECT_TRUE(ValidateFolder(base + "/a/b/c/", true));
    struct stat st;
    ASSERT_EQ(::stat((base + "/a/b/c").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    qvtest::writeFile(base + "/file", "x");
    EXPECT_FALSE(ValidateFolder(base + "/file", false));
    EXPECT_FALSE(ValidateFolder(base + "/file", true));
    EXPECT_FALSE(ValidateFolder(base + "/file/below", true));
    EXPECT_TRUE(DriveExists("/"));
    EXPECT_FALSE(DriveExists(""));
}

TEST(FileUtilsFolders, EmptinessAndFileInfo)
{
    std::string dir = qvtest::makeTempDir("folders");
    EXPECT_TRUE(IsFolderEmpty(dir));
    EXPECT_TRUE(IsFolderEmpty(dir + "/"));
    EXPECT_FALSE(IsFolderEmpty(dir + "/missing"));
    std::int64_t size = -1;
    int count = -1;
    GetFolderFilesInfo(dir, size, count);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(count, 0);

    ASSERT_EQ(::mkdir((dir + "/sub").c_str(), 0755), 0);
    EXPECT_FALSE(IsFolderEmpty(dir)); // only an empty subfolder: still not empty
    qvtest::writeFile(dir + "/a", std::string(1000, 'a'));
    qvtest::writeFile(dir + "/.b", std::string(24, 'b'));
    qvtest::writeFile(dir + "/sub/deep", std::string(5000, 'c')); // not counted: not directly inside
    GetFolderFilesInfo(dir + "/", size, count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(size, 1024);
}

TEST(FileUtilsFolders, DeleteFolderPermanentlyOnlyWhenEmpty)
{
    std::string dir = qvtest::makeTempDir("rmdir");
    std::string sub = dir + "/sub";
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    qvtest::writeFile(sub + "/late-arrival", "must survive");
    std::string err;
    EXPECT_FALSE(DeleteFolderPermanently(sub + "/", &err));
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(qvtest::readFile(sub + "/late-arrival"), "must survive");
    ASSERT_EQ(::unlink((sub + "/late-arrival").c_str()), 0);
    EXPECT_TRUE(DeleteFolderPermanently(sub + "/"));
    EXPECT_FALSE(exists(sub));
}

TEST(FileUtilsFolders, DeletesToTheTrash)
{
    std::string dir = qvtest::makeTempDir("recycle");
    qvtest::writeFile(dir + "/f.txt", "f");
    ASSERT_EQ(::mkdir((dir + "/d").c_str(), 0755), 0);
    qvtest::writeFile(dir + "/d/inner", "i");
    EXPECT_TRUE(DeleteFileToRecycleBin(dir + "/f.txt"));
    EXPECT_TRUE(DeleteFolderToRecycleBin(dir + "/d/"));
    EXPECT_FALSE(exists(dir + "/f.txt"));
    EXPECT_FALSE(exists(dir + "/d"));
    std::string err;
    EXPECT_FALSE(DeleteFileToRecycleBin(dir + "/f.txt", &err));
    EXPECT_FALSE(err.empty());
}

TEST(FileUtilsFiles, DeleteFileForced)
{
    std::string dir = qvtest::makeTempDir("forced");
    qvtest::writeFile(dir + "/ro", "x");
    ASSERT_EQ(::chmod((dir + "/ro").c_str(), 0444), 0);
    EXPECT_TRUE(DeleteFileForced(dir + "/ro"));
    EXPECT_FALSE(exists(dir + "/ro"));
    qvtest::writeFile(dir + "/target", "t");
    ASSERT_EQ(::symlink("target", (dir + "/link").c_str()), 0);
    EXPECT_TRUE(DeleteFileForced(dir + "/link"));
    EXPECT_TRUE(exists(dir + "/target"));
    std::string err;
    EXPECT_FALSE(DeleteFileForced(dir + "/missing", &err));
    EXPECT_FALSE(err.empty());
    ASSERT_EQ(::mkdir((dir + "/folder").c_str(), 0755), 0);
    EXPECT_FALSE(DeleteFileForced(dir + "/folder"));
    EXPECT_TRUE(exists(dir + "/folder"));
}

TEST(FileUtilsFiles, DatesInTwoSecondSteps)
{
    std::string dir = qvtest::makeTempDir("dates");
    std::string a = dir + "/a";
    std::string b = dir + "/b";
    qvtest::writeFile(a, "a");
    qvtest::writeFile(b, "b");
    const time_t even = 1700000000; // an even second
    struct Case {
        time_t secA;
        long nsA;
        time_t secB;
        long nsB;
        int expected;
    };
    const Case cases[] = {
        {even, 0, even, 0, 0},
        {even, 0, even + 1, 999999999, 0}, // same 2-second step
        {even + 1, 0, even, 500000000, 0},
        {even, 0, even + 2, 0, -1},
        {even + 3, 0, even + 1, 0, 1},
        {even - 1, 0, even, 0, -1},
    };
    for (const auto &c : cases) {
        setMtime(a, c.secA, c.nsA);
        setMtime(b, c.secB, c.nsB);
        EXPECT_EQ(CompareFileDates(a, b), c.expected) << c.secA << " vs " << c.secB;
    }
    setMtime(a, even + 1, 700000000);
    EXPECT_DOUBLE_EQ(GetFileDateTime(a), dayCountFromUnix(even, 0));
    EXPECT_EQ(GetFileDateTime(dir + "/missing"), 0.0);
    EXPECT_EQ(GetFileDateTime(dir), 0.0);
    // A missing file is older than any existing one.
    EXPECT_EQ(CompareFileDates(dir + "/missing", a), -1);
}

TEST(FileUtilsFiles, SizesAndAttributeMasks)
{
    std::string dir = qvtest::makeTempDir("sizes");
    qvtest::writeFile(dir + "/f", std::string(12345, 'z'));
    EXPECT_EQ(GetFileSize64(dir + "/f"), 12345);
    EXPECT_EQ(GetFileSize64(dir + "/missing"), 0);
    EXPECT_EQ(GetFileSize64(dir), 0);
    int fd = ::open((dir + "/sparse").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5'000'000'000LL), 0);
    ::close(fd);
    EXPECT_EQ(GetFileSize64(dir + "/sparse"), 5'000'000'000LL);

    qvtest::writeFile(dir + "/.hidden-ro", "x");
    ::chmod((dir + "/.hidden-ro").c_str(), 0444);
    EXPECT_TRUE(FileHasAttributes(dir + "/.hidden-ro", faReadOnly | faHidden));
    EXPECT_TRUE(FileHasAttributes(dir + "/.hidden-ro", faReadOnly));
    EXPECT_FALSE(FileHasAttributes(dir + "/.hidden-ro", faReadOnly | faSysFile));
    EXPECT_FALSE(FileHasAttributes(dir + "/f", faReadOnly));
    EXPECT_TRUE(FileHasAttributes(dir, faDirectory));
    EXPECT_FALSE(FileHasAttributes(dir + "/missing", faArchive));
    EXPECT_TRUE(FileHasAttributes(dir + "/missing", 0));
}

TEST(FileUtilsFiles, FreeSpaceOfExistingAndFuturePaths)
{
    std::string dir = qvtest::makeTempDir("space");
    struct statvfs vfs;
    ASSERT_EQ(::statvfs(dir.c_str(), &vfs), 0);
    std::int64_t expected = static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
    std::int64_t here = GetDiskFreeBytes(dir);
    std::int64_t later = GetDiskFreeBytes(dir + "/not/yet/created/file.txt");
    // Other processes write meanwhile; the values must be of the same file system.
    EXPECT_NEAR(static_cast<double>(here), static_cast<double>(expected), 64.0 * 1024 * 1024);
    EXPECT_NEAR(static_cast<double>(later), static_cast<double>(expected), 64.0 * 1024 * 1024);
    EXPECT_EQ(GetDiskFreeBytes(""), kUnknownFreeSpace);
}

TEST(FileUtilsFiles, InUseProbe)
{
    std::string dir = qvtest::makeTempDir("inuse");
    qvtest::writeFile(dir + "/f", "x");
    EXPECT_FALSE(IsFileLocked(dir + "/f"));
    EXPECT_TRUE(IsFileLocked(dir + "/missing"));
    int fd = ::open((dir + "/f").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct flock fl = {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
    EXPECT_TRUE(IsFileLocked(dir + "/f"));
    ::close(fd);
    EXPECT_FALSE(IsFileLocked(dir + "/f"));
    // Open for writing elsewhere (a program still saving it): in use, and free again once closed.
    int writer = ::open((dir + "/f").c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    EXPECT_TRUE(IsFileLocked(dir + "/f"));
    ::close(writer);
    EXPECT_FALSE(IsFileLocked(dir + "/f"));
}
