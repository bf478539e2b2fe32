// The file copy against its source: a source that changes while it is read, one with holes, and
// what else of it the copy keeps.
// qv-test-timeout: 300
#include "core/util/FileUtils.h"

#include "platform/FileAttributes.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

using namespace qv;

namespace {

using qvtest::patternData;

std::vector<std::string> listFolder(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (dirent *e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                names.emplace_back(e->d_name);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Whether two files hold the same bytes, read a piece at a time (they may be large and mostly holes).
bool sameBytes(const std::string &a, const std::string &b)
{
    const int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC);
    const int fb = ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
    bool same = fa >= 0 && fb >= 0;
    std::vector<char> x(1 << 20), y(1 << 20);
    while (same) {
        const ssize_t n = ::read(fa, x.data(), x.size());
        const ssize_t m = ::read(fb, y.data(), y.size());
        same = n == m && n >= 0 &&
               std::memcmp(x.data(), y.data(), static_cast<std::size_t>(std::max<ssize_t>(n, 0))) == 0;
        if (n <= 0) {
            break;
        }
    }
    ::close(fa);
    ::close(fb);
    return same;
}

std::int64_t allocated(const std::string &path)
{
    struct stat st = {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return static_cast<std::int64_t>(st.st_blocks) * 512;
}

class KernelCopyToggle
{
public:
    explicit KernelCopyToggle(bool on) { detail::setKernelCopyEnabled(on); }
    ~KernelCopyToggle() { detail::setKernelCopyEnabled(true); }
};

} // namespace

// The source changes after the copy read its first part: rewritten in place, shrunk, grown, or
// only given a new time. The copy fails and says why; the destination stays as it was (or absent),
// nothing is left beside it, and a copy of the file at rest then succeeds.
TEST(FileCopySourceChange, ChangeDuringTheReadLeavesTheDestination)
{
    constexpr std::size_t kSize = 9 * 1024 * 1024 + 5; // more than one in-kernel step
    struct Case {
        const char *name;
        std::function<void(int fd)> change; // empty: the source stays as it is
    };
    const Case cases[] = {
        {"unchanged", {}},
        {"rewritten in place", [](int fd) { ASSERT_EQ(::pwrite(fd, "XYZ", 3, 100), 3); }},
        {"shrunk", [](int fd) { ASSERT_EQ(::ftruncate(fd, 4096), 0); }},
        {"grown", [](int fd) { ASSERT_EQ(::pwrite(fd, "tail", 4, kSize), 4); }},
        {"new time only", [](int fd) { ASSERT_EQ(::futimens(fd, nullptr), 0); }},
    };
    const std::string dir = qvtest::makeTempDir("changed");
    const std::string src = dir + "/src", dst = dir + "/dst";
    for (bool kernel : {true, false}) {
        KernelCopyToggle toggle(kernel);
        for (bool destinationExists : {false, true}) {
            for (const Case &c : cases) {
                SCOPED_TRACE(std::string(c.name) + (kernel ? ", in-kernel" : ", read/write") +
                             (destinationExists ? ", replacing a file" : ", new file"));
                qvtest::writeFile(src, patternData(kSize, 1));
                ::unlink(dst.c_str());
                if (destinationExists) {
                    qvtest::writeFile(dst, "old");
                }
                const int writer = ::open(src.c_str(), O_WRONLY | O_CLOEXEC);
                ASSERT_GE(writer, 0);
                int calls = 0;
                CopyProgressCallback progress = [&](std::int64_t, std::int64_t) {
                    if (++calls == 1 && c.change) {
                        c.change(writer);
                    }
                    return true;
                };
                std::uint32_t err = 0;
                const bool copied = CopyFileThrottled(src, dst, progress, nullptr, err, false, -1);
                ::close(writer);
                EXPECT_GE(calls, 1) << "the change came during the read";
                if (!c.change) {
                    EXPECT_TRUE(copied) << CopyErrorText(err);
                    EXPECT_TRUE(sameBytes(src, dst));
                    continue;
                }
                EXPECT_FALSE(copied);
                EXPECT_EQ(err, kCopyErrorSourceChanged) << CopyErrorText(err);
                EXPECT_NE(CopyErrorText(err).find("changed"), std::string::npos) << CopyErrorText(err);
                EXPECT_EQ(listFolder(dir), destinationExists ? (std::vector<std::string>{"dst", "src"})
                                                             : std::vector<std::string>{"src"});
                if (destinationExists) {
                    EXPECT_EQ(qvtest::readFile(dst), "old");
                }
                ASSERT_TRUE(CopyFileThrottled(src, dst, {}, nullptr, err, false, -1)) << CopyErrorText(err);
                EXPECT_TRUE(sameBytes(src, dst));
            }
        }
    }
}

// A file with holes takes at the destination the room of its data, whichever way it is copied
// (in-kernel steps, blocks, blocks under a limit); its bytes and length are the source's.
TEST(FileCopyHoles, HolesStayHoles)
{
    constexpr std::int64_t MiB = 1024 * 1024;
    struct Layout {
        const char *name;
        std::int64_t size;
        std::vector<std::pair<std::int64_t, std::size_t>> data; // offset, length
    };
    const Layout layouts[] = {
        {"1 GiB, data then one hole", 1024 * MiB, {{0, 4096}}},
        {"hole then data at the end", 64 * MiB, {{64 * MiB - 8192, 8192}}},
        {"data, hole, data, hole", 64 * MiB, {{0, 300000}, {32 * MiB + 5, MiB + 3}}},
    };
    const std::string dir = qvtest::makeTempDir("holes");
    for (const Layout &l : layouts) {
        const std::string src = dir + "/src";
        ::unlink(src.c_str());
        const int fd = ::open(src.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        std::int64_t data = 0;
        for (const auto &[offset, length] : l.data) {
            const std::string bytes = patternData(length, static_cast<std::uint32_t>(offset + 1));
            ASSERT_EQ(::pwrite(fd, bytes.data(), length, offset), static_cast<ssize_t>(length));
            data += static_cast<std::int64_t>(length);
        }
        ASSERT_EQ(::ftruncate(fd, l.size), 0);
        ::close(fd);
        if (allocated(src) >= l.size / 2) {
            GTEST_SKIP() << "this file system keeps no holes";
        }
        for (bool kernel : {true, false}) {
            KernelCopyToggle toggle(kernel);
            for (std::int64_t limit : {std::int64_t{-1}, std::int64_t{1} << 40}) {
                SCOPED_TRACE(std::string(l.name) + (kernel ? ", in-kernel" : ", read/write") +
                             (limit > 0 ? ", limited" : ""));
                const std::string dst = dir + "/dst";
                ::unlink(dst.c_str());
                std::uint32_t err = 0;
                ASSERT_TRUE(CopyFileThrottled(src, dst, {}, nullptr, err, false, limit)) << CopyErrorText(err);
                struct stat s = {}, d = {};
                ASSERT_EQ(::stat(src.c_str(), &s), 0);
                ASSERT_EQ(::stat(dst.c_str(), &d), 0);
                EXPECT_EQ(d.st_size, s.st_size);
                EXPECT_EQ(d.st_mtim.tv_nsec, s.st_mtim.tv_nsec);
                EXPECT_LE(allocated(dst), data + MiB) << "data " << data << " bytes";
                EXPECT_TRUE(sameBytes(src, dst));
            }
        }
    }
}

// The user's extended attributes go with the copy; the program's own archive mark does not.
TEST(FileCopyKeeps, UserExtendedAttributes)
{
    const std::string dir = qvtest::makeTempDir("keeps");
    const std::string src = dir + "/src", dst = dir + "/dst";
    qvtest::writeFile(src, "data");
    if (::setxattr(src.c_str(), "user.note", "hello", 5, 0) != 0) {
        GTEST_SKIP() << "no user extended attributes here";
    }
    ASSERT_EQ(::setxattr(src.c_str(), FileAttributes::kArchiveClearedXattr, "stale", 5, 0), 0);
    std::uint32_t err = 0;
    ASSERT_TRUE(CopyFileThrottled(src, dst, {}, nullptr, err, false, -1)) << CopyErrorText(err);
    char value[16] = {};
    EXPECT_EQ(::getxattr(dst.c_str(), "user.note", value, sizeof value), 5);
    EXPECT_STREQ(value, "hello");
    EXPECT_LT(::getxattr(dst.c_str(), FileAttributes::kArchiveClearedXattr, value, sizeof value), 0);
}
