// Copies and deletes on a small file system of their own: a full disk, and the trash of another
// file system. Needs root for a private mount namespace (unshare -m) with a tmpfs in it.
// qv-test-labels: unit interop
#include "core/util/FileUtils.h"

#include "platform/Trash.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

using namespace qv;

namespace {

using qvtest::patternData;

const char kInsideEnv[] = "QV_IN_PRIVATE_MOUNT";

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

std::string selfPath()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// Mounts a tmpfs of `size` on a new folder; empty when the kernel refuses.
std::string mountSmallTmpfs(const std::string &size)
{
    std::string mnt = qvtest::makeTempDir("tmpfs");
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
        return {};
    }
    return mnt;
}

} // namespace

// Runs the tests below in a private mount namespace, so that the tmpfs never shows outside.
TEST(FileCopyOnTmpfs, RunsInAPrivateMountNamespace)
{
    if (std::getenv(kInsideEnv) != nullptr) {
        GTEST_SKIP() << "already inside";
    }
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
    QV_REQUIRE_TOOL("unshare");
    std::vector<std::string> argv = {"unshare", "-m", "--propagation", "private", "env"};
    argv.push_back(kInsideEnv + std::string("=1"));
    argv.push_back(selfPath());
    argv.push_back("--gtest_filter=FileCopyInsideTmpfs.*");
    qvtest::CommandResult r = qvtest::runCommand(argv, 240);
    if (r.output.find("mount refused") != std::string::npos || r.output.find("unshare failed") != std::string::npos ||
        (r.exitCode != 0 && r.output.find("[==========]") == std::string::npos)) {
        GTEST_SKIP() << "no private mount namespace here:\n" << r.output;
    }
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output.find("SKIPPED"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("[  PASSED  ] 2 tests"), std::string::npos) << r.output;
}

TEST(FileCopyInsideTmpfs, OutOfSpaceKeepsTheOldFile)
{
    if (std::getenv(kInsideEnv) == nullptr) {
        GTEST_SKIP() << "runs only inside the private mount namespace";
    }
    std::string mnt = mountSmallTmpfs("1m");
    if (mnt.empty()) {
        GTEST_SKIP() << "mount refused";
    }
    const std::string old = patternData(300000, 1);
    qvtest::writeFile(mnt + "/target.bin", old);
    std::string src = qvtest::makeTempDir("src") + "/big.bin";
    qvtest::writeFile(src, patternData(2 * 1024 * 1024, 2));
    for (bool kernel : {true, false}) {
        SCOPED_TRACE(kernel ? "in-kernel copy" : "read/write copy");
        detail::setKernelCopyEnabled(kernel);
        std::uint32_t err = 0;
        EXPECT_FALSE(CopyFileThrottled(src, mnt + "/target.bin", {}, nullptr, err, false, -1));
        EXPECT_EQ(err, static_cast<std::uint32_t>(ENOSPC));
        EXPECT_NE(CopyErrorText(err).find("space"), std::string::npos) << CopyErrorText(err);
        EXPECT_TRUE(qvtest::readFile(mnt + "/target.bin") == old);
        EXPECT_EQ(listFolder(mnt), std::vector<std::string>{"target.bin"});
        // A copy that fits still works on the same file system.
        qvtest::writeFile(src + ".small", "small");
        EXPECT_TRUE(CopyFileThrottled(src + ".small", mnt + "/small", {}, nullptr, err, false, -1)) << err;
        ::unlink((mnt + "/small").c_str());
    }
    detail::setKernelCopyEnabled(true);
    ::umount(mnt.c_str());
}

TEST(FileCopyInsideTmpfs, TrashOfAnotherFileSystem)
{
    if (std::getenv(kInsideEnv) == nullptr) {
        GTEST_SKIP() << "runs only inside the private mount namespace";
    }
    std::string mnt = mountSmallTmpfs("4m");
    if (mnt.empty()) {
        GTEST_SKIP() << "mount refused";
    }
    ASSERT_EQ(::mkdir((mnt + "/docs").c_str(), 0755), 0);
    qvtest::writeFile(mnt + "/docs/letter.txt", "dear");
    std::string err;
    ASSERT_TRUE(DeleteFileToRecycleBin(mnt + "/docs/letter.txt", &err)) << err;
    std::string trash = mnt + "/.Trash-" + std::to_string(::geteuid());
    EXPECT_EQ(qvtest::readFile(trash + "/files/letter.txt"), "dear");
    // The recorded path is relative to the top of that file system.
    std::string info = qvtest::readFile(trash + "/info/letter.txt.trashinfo");
    EXPECT_NE(info.find("\nPath=docs/letter.txt\n"), std::string::npos) << info;
    struct stat st;
    ASSERT_EQ(::stat(trash.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    if (qvtest::haveTool("trash-list")) {
        qvtest::CommandResult listed = qvtest::runCommand({"trash-list"});
        EXPECT_NE(listed.output.find(mnt + "/docs/letter.txt"), std::string::npos) << listed.output;
    }

    // An administrator's shared .Trash (sticky) is preferred, with a folder per user inside it.
    ASSERT_EQ(::mkdir((mnt + "/.Trash").c_str(), 01777), 0);
    ASSERT_EQ(::chmod((mnt + "/.Trash").c_str(), 01777), 0);
    ASSERT_TRUE(DeleteFolderToRecycleBin(mnt + "/docs/", &err)) << err;
    EXPECT_EQ(listFolder(mnt + "/.Trash/" + std::to_string(::geteuid()) + "/files"), std::vector<std::string>{"docs"});

    // With no usable trash on that file system nothing is deleted.
    ::umount(mnt.c_str());
    std::string ro = mountSmallTmpfs("1m");
    ASSERT_FALSE(ro.empty());
    qvtest::writeFile(ro + "/keep.txt", "keep");
    ASSERT_EQ(::mount(nullptr, ro.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_FALSE(DeleteFileToRecycleBin(ro + "/keep.txt", &err));
    EXPECT_NE(err.find("no trash"), std::string::npos) << err;
    EXPECT_EQ(qvtest::readFile(ro + "/keep.txt"), "keep");
    ::umount(ro.c_str());
}
