// The file copy through CopyFileThrottled: byte-exact results, exact times, the old file kept.
// qv-test-timeout: 300
#include "core/util/FileUtils.h"

#include "platform/FileAttributes.h"
#include "platform/FileIo.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace qv;

namespace {

using qvtest::patternData;

struct stat statOf(const std::string &p)
{
    struct stat st = {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st;
}

std::vector<std::string> listFolder(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (dirent *e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") {
                names.push_back(n);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool xattrsWork(const std::string &dir)
{
    std::string probe = dir + "/xattr-probe";
    qvtest::writeFile(probe, "x");
    bool ok = ::setxattr(probe.c_str(), "user.qvprobe", "1", 1, 0) == 0;
    ::unlink(probe.c_str());
    return ok;
}

bool copy(const std::string &src, const std::string &dst, std::uint32_t &err, std::int64_t limit = -1,
          const CopyProgressCallback &progress = {}, const std::atomic<bool> *cancel = nullptr, bool clearArchive = false)
{
    return CopyFileThrottled(src, dst, progress, cancel, err, clearArchive, limit);
}

void expectExactCopy(const std::string &src, const std::string &dst)
{
    struct stat s = statOf(src);
    struct stat d = statOf(dst);
    EXPECT_EQ(d.st_size, s.st_size);
    EXPECT_EQ(d.st_mtim.tv_sec, s.st_mtim.tv_sec);
    EXPECT_EQ(d.st_mtim.tv_nsec, s.st_mtim.tv_nsec);
    EXPECT_EQ(d.st_mode & 07777, s.st_mode & 07777);
    EXPECT_TRUE(qvtest::readFile(src) == qvtest::readFile(dst)) << "contents differ";
}

class KernelCopyToggle
{
public:
    explicit KernelCopyToggle(bool on) { detail::setKernelCopyEnabled(on); }
    ~KernelCopyToggle() { detail::setKernelCopyEnabled(true); }
};

} // namespace

TEST(FileCopySizes, ByteEqualWithExactTimesAtBlockEdges)
{
    std::string dir = qvtest::makeTempDir("sizes");
    const std::size_t sizes[] = {0, 1, 262143, 262144, 262145, 3 * 262144, 4 * 1024 * 1024 + 7};
    const std::int64_t limits[] = {-1, 1 << 30}; // in-kernel steps, and 256 KiB blocks with a (high) limit
    for (bool kernel : {true, false}) {
        KernelCopyToggle toggle(kernel);
        for (std::int64_t limit : limits) {
            for (std::size_t size : sizes) {
                SCOPED_TRACE("size " + std::to_string(size) + " limit " + std::to_string(limit) +
                             (kernel ? " in-kernel" : " read/write"));
                std::string src = dir + "/src-" + std::to_string(size);
                std::string dst = dir + "/dst-" + std::to_string(size);
                qvtest::writeFile(src, patternData(size, static_cast<std::uint32_t>(size)));
                struct timespec t[2] = {{1600000001, 123456789}, {1600000003, 987654321}};
                ASSERT_EQ(::utimensat(AT_FDCWD, src.c_str(), t, 0), 0);
                ::chmod(src.c_str(), 0640);
                std::uint32_t err = 12345;
                ASSERT_TRUE(copy(src, dst, err, limit)) << CopyErrorText(err);
                EXPECT_EQ(err, kCopyErrorNone);
                expectExactCopy(src, dst);
                ::unlink(dst.c_str());
            }
        }
    }
    // Nothing but the sources is left: no temporary files.
    for (const auto &n : listFolder(dir)) {
        EXPECT_EQ(n.rfind("src-", 0), 0u) << n;
    }
}

TEST(FileCopySizes, HundredMegabytes)
{
    std::string dir = qvtest::makeTempDir("big");
    std::string src = dir + "/big.bin";
    qvtest::writeFile(src, patternData(100 * 1024 * 1024, 7));
    std::uint32_t err = 0;
    ASSERT_TRUE(copy(src, dir + "/copy.bin", err)) << CopyErrorText(err);
    expectExactCopy(src, dir + "/copy.bin");
}

TEST(FileCopySizes, ProgressReportsEveryByte)
{
    std::string dir = qvtest::makeTempDir("progress");
    std::string src = dir + "/s";
    qvtest::writeFile(src, patternData(1000000, 3));
    KernelCopyToggle toggle(false);
    std::vector<std::int64_t> seen;
    CopyProgressCallback cb = [&](std::int64_t copied, std::int64_t total) {
        EXPECT_EQ(total, 1000000);
        seen.push_back(copied);
        return true;
    };
    std::uint32_t err = 0;
    ASSERT_TRUE(copy(src, dir + "/d", err, -1, cb));
    ASSERT_EQ(seen.size(), 4u); // blocks of 256 KiB
    EXPECT_EQ(seen.front(), 262144);
    EXPECT_EQ(seen.back(), 1000000);
}

TEST(FileCopySameFile, LinksAndPathsToTheSourceAreRefused)
{
    std::string dir = qvtest::makeTempDir("same");
    std::string src = dir + "/data.txt";
    const std::string content = patternData(300000, 11);
    qvtest::writeFile(src, content);
    ASSERT_EQ(::symlink("data.txt", (dir + "/soft").c_str()), 0);
    ASSERT_EQ(::link(src.c_str(), (dir + "/hard").c_str()), 0);
    ASSERT_EQ(::mkdir((dir + "/sub").c_str(), 0755), 0);
    const std::string targets[] = {src, dir + "/soft", dir + "/hard", dir + "/sub/../data.txt", dir + "//data.txt"};
    for (const auto &t : targets) {
        SCOPED_TRACE(t);
        std::uint32_t err = 0;
        EXPECT_FALSE(copy(src, t, err));
        EXPECT_EQ(err, kCopyErrorSameFile);
        EXPECT_TRUE(qvtest::readFile(src) == content);
    }
    // The other direction too: copying the link onto the file it names.
    std::uint32_t err = 0;
    EXPECT_FALSE(copy(dir + "/soft", src, err));
    EXPECT_EQ(err, kCopyErrorSameFile);
    EXPECT_TRUE(qvtest::readFile(src) == content);
    struct stat st;
    ASSERT_EQ(::lstat((dir + "/soft").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"data.txt", "hard", "soft", "sub"}));
}

TEST(FileCopySafety, StoppedCopyLeavesOldDestinationIntact)
{
    std::string dir = qvtest::makeTempDir("stop");
    std::string src = dir + "/new.bin";
    std::string dst = dir + "/old.bin";
    // Larger than two in-kernel steps, so that a flag raised during the first step is seen.
    qvtest::writeFile(src, patternData(9 * 1024 * 1024 + 5, 1));
    const std::string old = patternData(777777, 2);
    qvtest::writeFile(dst, old);
    struct stat before = statOf(dst);
    for (bool kernel : {true, false}) {
        KernelCopyToggle toggle(kernel);
        // Stopped by the callback after the first block, and by the flag after the first block.
        std::uint32_t err = 0;
        int calls = 0;
        EXPECT_FALSE(copy(src, dst, err, 262144, [&](std::int64_t, std::int64_t) { return ++calls < 1; }));
        EXPECT_EQ(err, kCopyErrorCancelled);
        EXPECT_EQ(calls, 1);
        std::atomic<bool> stop{false};
        EXPECT_FALSE(copy(src, dst, err, -1, [&](std::int64_t, std::int64_t) {
            stop = true;
            return true;
        }, &stop));
        EXPECT_EQ(err, kCopyErrorCancelled);
        EXPECT_TRUE(qvtest::readFile(dst) == old);
        struct stat after = statOf(dst);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"new.bin", "old.bin"}));
    }
}

TEST(FileCopySafety, StopEndsAThrottledWait)
{
    std::string dir = qvtest::makeTempDir("throttle-stop");
    qvtest::writeFile(dir + "/s", patternData(100000, 5));
    qvtest::writeFile(dir + "/d", "old");
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    std::uint32_t err = 0;
    // At 1000 bytes a second this copy would take 100 seconds; the stop must end it (the test's
    // time-out fails it otherwise). A limit of 0 counts as 1 byte a second, not as an endless loop.
    EXPECT_FALSE(copy(dir + "/s", dir + "/d", err, 1000, {}, &stop));
    stopper.join();
    EXPECT_EQ(err, kCopyErrorCancelled);
    EXPECT_EQ(qvtest::readFile(dir + "/d"), "old");
    stop = false;
    std::thread stopper2([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    EXPECT_FALSE(copy(dir + "/s", dir + "/d", err, 0, {}, &stop));
    stopper2.join();
    EXPECT_EQ(err, kCopyErrorCancelled);
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"d", "s"}));
}

TEST(FileCopySafety, ThrottledCopyCompletes)
{
    std::string dir = qvtest::makeTempDir("throttled");
    qvtest::writeFile(dir + "/s", patternData(700000, 9));
    std::uint32_t err = 0;
    ASSERT_TRUE(copy(dir + "/s", dir + "/d", err, 4 * 1024 * 1024));
    expectExactCopy(dir + "/s", dir + "/d");
}

TEST(FileCopySafety, FailuresLeaveNothingBehind)
{
    std::string dir = qvtest::makeTempDir("fail");
    qvtest::writeFile(dir + "/src", "data");
    ASSERT_EQ(::mkdir((dir + "/folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0644), 0);
    struct Case {
        std::string src;
        std::string dst;
        std::uint32_t err;
    };
    const Case cases[] = {
        {dir + "/missing", dir + "/out", ENOENT},
        {dir + "/folder", dir + "/out", EISDIR},
        {dir + "/fifo", dir + "/out", EINVAL},
        {dir + "/src", dir + "/folder", EISDIR},
        {dir + "/src", dir + "/no/such/folder/out", ENOENT},
        {dir + "/src", dir + "/folder/", EISDIR},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.src + " -> " + c.dst);
        std::uint32_t err = 0;
        EXPECT_FALSE(copy(c.src, c.dst, err));
        EXPECT_EQ(err, c.err) << CopyErrorText(err);
        EXPECT_FALSE(CopyErrorText(err).empty());
    }
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"fifo", "folder", "src"}));
    EXPECT_TRUE(listFolder(dir + "/folder").empty());
}

TEST(FileCopySafety, ReadOnlyHiddenAndLinkedDestinationsAreReplaced)
{
    std::string dir = qvtest::makeTempDir("replace");
    qvtest::writeFile(dir + "/src", "new content");
    ::chmod((dir + "/src").c_str(), 0644);
    qvtest::writeFile(dir + "/.ro", "old");
    ::chmod((dir + "/.ro").c_str(), 0444);
    std::uint32_t err = 0;
    ASSERT_TRUE(copy(dir + "/src", dir + "/.ro", err)) << CopyErrorText(err);
    expectExactCopy(dir + "/src", dir + "/.ro");

    // A read-only source gives a read-only copy.
    ::chmod((dir + "/src").c_str(), 0444);
    ASSERT_TRUE(copy(dir + "/src", dir + "/copy", err));
    EXPECT_EQ(statOf(dir + "/copy").st_mode & 0777, 0444u);

    // A destination that is a link to some other file becomes a file of its own; the file the
    // link named is not written through.
    qvtest::writeFile(dir + "/elsewhere", "untouched");
    ASSERT_EQ(::symlink("elsewhere", (dir + "/link").c_str()), 0);
    ASSERT_TRUE(copy(dir + "/src", dir + "/link", err));
    EXPECT_EQ(qvtest::readFile(dir + "/elsewhere"), "untouched");
    EXPECT_EQ(qvtest::readFile(dir + "/link"), "new content");
}

TEST(FileCopySafety, NewReplacedAndDanglingLinkDestinations)
{
    std::string dir = qvtest::makeTempDir("paths");
    qvtest::writeFile(dir + "/src", patternData(70000, 8));
    std::uint32_t err = 0;
    ASSERT_TRUE(copy(dir + "/src", dir + "/dst", err)) << CopyErrorText(err); // new
    expectExactCopy(dir + "/src", dir + "/dst");
    qvtest::writeFile(dir + "/dst", "older, shorter");
    ASSERT_TRUE(copy(dir + "/src", dir + "/dst", err)) << CopyErrorText(err); // replaced
    expectExactCopy(dir + "/src", dir + "/dst");
    // A dangling link at the destination is replaced by the file.
    ::unlink((dir + "/dst").c_str());
    ASSERT_EQ(::symlink("nowhere", (dir + "/dst").c_str()), 0);
    ASSERT_TRUE(copy(dir + "/src", dir + "/dst", err)) << CopyErrorText(err);
    expectExactCopy(dir + "/src", dir + "/dst");
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"dst", "src"}));
    // The same with plain reads and writes.
    KernelCopyToggle plain(false);
    ASSERT_TRUE(copy(dir + "/src", dir + "/dst2", err));
    expectExactCopy(dir + "/src", dir + "/dst2");
}

TEST(FileCopySafety, NamesThatAreNotUtf8AndLongNames)
{
    std::string dir = qvtest::makeTempDir("names");
    std::string odd = dir + "/caf\xE9-\xFF.txt";
    qvtest::writeFile(odd, "latin-1 name");
    std::string longName = dir + "/" + std::string(255, 'n');
    std::uint32_t err = 0;
    ASSERT_TRUE(copy(odd, longName, err)) << CopyErrorText(err);
    ASSERT_TRUE(copy(longName, odd + ".bak", err)) << CopyErrorText(err);
    EXPECT_EQ(qvtest::readFile(odd + ".bak"), "latin-1 name");
    EXPECT_EQ(listFolder(dir).size(), 3u);
}

TEST(FileCopyArchive, SourceLosesArchiveOnlyAfterSuccess)
{
    std::string dir = qvtest::makeTempDir("archive");
    if (!xattrsWork(dir)) {
        GTEST_SKIP() << "the test folder's file system keeps no user extended attributes";
    }
    std::string src = dir + "/src";
    qvtest::writeFile(src, patternData(600000, 4));
    ASSERT_TRUE(FileHasAttributes(src, faArchive));
    std::uint32_t err = 0;
    // A failed copy leaves the attribute alone.
    EXPECT_FALSE(copy(src, dir + "/missing/dst", err, -1, {}, nullptr, true));
    EXPECT_TRUE(FileHasAttributes(src, faArchive));
    std::atomic<bool> stop{true};
    EXPECT_FALSE(copy(src, dir + "/dst", err, -1, {}, &stop, true));
    EXPECT_TRUE(FileHasAttributes(src, faArchive));

    ASSERT_TRUE(copy(src, dir + "/dst", err, -1, {}, nullptr, true)) << CopyErrorText(err);
    EXPECT_FALSE(FileHasAttributes(src, faArchive));
    EXPECT_TRUE(FileHasAttributes(dir + "/dst", faArchive));

    // Without the option nothing changes; a source with a cleared attribute gives a copy without it.
    ASSERT_TRUE(copy(src, dir + "/dst2", err));
    EXPECT_FALSE(FileHasAttributes(src, faArchive));
    EXPECT_FALSE(FileHasAttributes(dir + "/dst2", faArchive));
}

// A temporary file is known by its shape and its seal; a user's file of the same shape is the
// user's, and the clean-up leaves it (as it leaves one a copy holds).
TEST(FileCopyTempFiles, NamesAndStaleCleanUp)
{
    const std::pair<std::string, bool> names[] = {
        {tempNameBeside("report.txt"), true},
        {tempNameBeside("x"), true},
        {tempNameBeside(std::string(300, 'n')), true},
        {".report.txt.qvtmp-Ab3dE9zQ", false},
        {".x.qvtmp-00000000", false},
        {".notes.qvtmp-abcd1234", false},
        {"report.txt.qvtmp-Ab3dE9zQ", false},
        {".report.txt.qvtmp-Ab3dE9z", false},
        {".report.qvtmp-Ab3dE9z!", false},
        {".qvtmp-Ab3dE9zQ", false},
        {".report.txt", false},
        {"", false},
    };
    for (const auto &[n, isTemp] : names) {
        EXPECT_EQ(isCopyTempName(n), isTemp) << n;
    }
    // Renamed, a temporary file is one no more.
    std::string renamed = tempNameBeside("a");
    renamed[1] = 'b';
    EXPECT_FALSE(isCopyTempName(renamed)) << renamed;

    std::string dir = qvtest::makeTempDir("stale");
    const std::string stale = tempNameBeside("a");
    const std::string held = tempNameBeside("b");
    const std::string folder = tempNameBeside("c");
    qvtest::writeFile(dir + "/" + stale, "stale");
    qvtest::writeFile(dir + "/" + held, "in use");
    qvtest::writeFile(dir + "/.notes.qvtmp-abcd1234", "the user's");
    qvtest::writeFile(dir + "/keep.txt", "keep");
    ASSERT_EQ(::mkdir((dir + "/" + folder).c_str(), 0755), 0);
    int fd = ::open((dir + "/" + held).c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(removeStaleCopyTemps(dir), 1);
    std::vector<std::string> left = {".notes.qvtmp-abcd1234", held, folder, "keep.txt"};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(listFolder(dir), left);
    ::close(fd);
    EXPECT_EQ(removeStaleCopyTemps(dir), 1);
    EXPECT_EQ(removeStaleCopyTemps(dir + "/missing"), 0);
}
