// The one file copy in its two steps: late close and rename failures, the live-file lock, modes.
#include "platform/FileCopy.h"
#include "platform/FileIo.h"

#include "platform/FileAttributes.h"
#include "platform/fake/FakeFileIo.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace qv;

namespace {

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

ino_t inodeOf(const std::string &path)
{
    struct stat st = {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

} // namespace

// A file system that reports a write it could not flush at close, or refuses the rename: the copy
// fails with that error, the old destination is the same file with the same bytes, and no
// temporary file is left. The data size crosses the in-kernel threshold, so both data paths run.
TEST(StagedCopyFaults, LateFailuresKeepTheOldDestination)
{
    struct Case
    {
        const char *name;
        int error;
        bool atClose;
        std::size_t size;
    };
    const Case cases[] = {
        {"close EIO, small", EIO, true, 100},          {"close EDQUOT, large", EDQUOT, true, 300000},
        {"close ENOSPC, empty", ENOSPC, true, 0},      {"rename EIO, small", EIO, false, 100},
        {"rename EXDEV, large", EXDEV, false, 300000},
    };
    const std::string dir = qvtest::makeTempDir("late");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = dir + "/src";
        const std::string dst = dir + "/dst";
        qvtest::writeFile(src, std::string(c.size, 'n'));
        qvtest::writeFile(dst, "old content");
        const ino_t before = inodeOf(dst);
        FakeFileIo io;
        if (c.atClose) {
            io.failClose(".qvtmp-", c.error);
        } else {
            io.failRename(".qvtmp-", c.error);
        }
        StagedCopy copy;
        int error = 0;
        const bool ok = copy.write(src, dst, CopyOptions{}, error) && copy.commit(error);
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, c.error) << copyErrorText(error);
        EXPECT_EQ(io.injected(), 1);
        EXPECT_EQ(qvtest::readFile(dst), "old content");
        EXPECT_EQ(inodeOf(dst), before);
        EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"dst", "src"}));
    }
}

// The close is checked before the rename: a close failure is seen by write(), while the
// destination is still untouched, and commit() is then refused.
TEST(StagedCopyFaults, CloseIsCheckedBeforeCommit)
{
    const std::string dir = qvtest::makeTempDir("order");
    qvtest::writeFile(dir + "/src", "new");
    qvtest::writeFile(dir + "/dst", "old");
    FakeFileIo io;
    io.failClose(".qvtmp-", EIO);
    StagedCopy copy;
    int error = 0;
    EXPECT_FALSE(copy.write(dir + "/src", dir + "/dst", CopyOptions{}, error));
    EXPECT_EQ(error, EIO);
    EXPECT_TRUE(copy.tempPath().empty());
    EXPECT_FALSE(copy.commit(error));
    EXPECT_EQ(qvtest::readFile(dir + "/dst"), "old");
    // Without a fault the same copy goes through.
    ASSERT_TRUE(copy.write(dir + "/src", dir + "/dst", CopyOptions{}, error)) << copyErrorText(error);
    ASSERT_TRUE(copy.commit(error)) << copyErrorText(error);
    EXPECT_EQ(qvtest::readFile(dir + "/dst"), "new");
}

// Between write() and commit() the named temporary file is closed, yet another run's clean-up of
// stale temporary files leaves it alone; after a discard or commit nothing of it is left.
TEST(StagedCopyLiveMark, CleanUpSparesAWrittenCopyUntilItEnds)
{
    const std::string dir = qvtest::makeTempDir("live");
    qvtest::writeFile(dir + "/src", std::string(200000, 's'));
    qvtest::writeFile(dir + "/" + tempNameBeside("gone"), "left by a killed run");
    qvtest::writeFile(dir + "/dst", "old"); // replaced: through a named temporary file
    StagedCopy copy;
    int error = 0;
    ASSERT_TRUE(copy.write(dir + "/src", dir + "/dst", CopyOptions{}, error)) << copyErrorText(error);
    const std::string temp = copy.tempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(isCopyTempName(temp.substr(temp.rfind('/') + 1)));
    EXPECT_EQ(removeStaleCopyTemps(dir), 1); // only the killed run's file
    EXPECT_EQ(qvtest::readFile(temp).size(), 200000u);
    ASSERT_TRUE(copy.commit(error)) << copyErrorText(error);
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"dst", "src"}));
    EXPECT_EQ(qvtest::readFile(dir + "/dst").size(), 200000u);

    ASSERT_TRUE(copy.write(dir + "/src", dir + "/dst2", CopyOptions{}, error));
    copy.discard();
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"dst", "src"}));
    EXPECT_EQ(removeStaleCopyTemps(dir), 0);
}

// Permission bits come over. The copy belongs to whoever runs the backup: set-user-ID and
// set-group-ID stay only where the copy has the source's owner and group, as it has for one's
// own files. The sticky bit and read-only modes are kept.
TEST(StagedCopyModes, PermissionBitsAndOwnSetId)
{
    const std::string dir = qvtest::makeTempDir("modes");
    struct Case {
        mode_t given;
        bool otherOwner; // the source belongs to nobody (65534): root only
        mode_t expected;
    };
    const Case cases[] = {
        {0644, false, 0644},   {0400, false, 0400},   {0755, false, 0755},  {04755, false, 04755},
        {02750, false, 02750}, {06711, false, 06711}, {01777, false, 01777}, {06711, true, 0711},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.given) + (c.otherOwner ? " of another user" : ""));
        if (c.otherOwner && ::geteuid() != 0) {
            continue; // only root gives a file away
        }
        const std::string src = dir + "/src";
        ::unlink(src.c_str());
        qvtest::writeFile(src, "x");
        if (c.otherOwner) {
            ASSERT_EQ(::chown(src.c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(::chmod(src.c_str(), c.given), 0);
        StagedCopy copy;
        int error = 0;
        ASSERT_TRUE(copy.write(src, dir + "/dst", CopyOptions{}, error) && copy.commit(error))
            << copyErrorText(error);
        struct stat st = {};
        ASSERT_EQ(::stat((dir + "/dst").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.expected);
    }
}

// The same file through a descriptor the caller opened, and a destination as the caller saw it.
TEST(StagedCopySameFile, DescriptorAndKnownDestination)
{
    const std::string dir = qvtest::makeTempDir("samefd");
    qvtest::writeFile(dir + "/f", "data");
    ASSERT_EQ(::link((dir + "/f").c_str(), (dir + "/g").c_str()), 0);
    int fd = ::open((dir + "/f").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    StagedCopy copy;
    int error = 0;
    EXPECT_FALSE(copy.write(fd, dir + "/f", dir + "/g", nullptr, CopyOptions{}, error));
    EXPECT_EQ(error, kCopySameFile);
    const PathStat seen = statPath(dir + "/g");
    EXPECT_FALSE(copy.write(fd, dir + "/f", dir + "/g", &seen, CopyOptions{}, error));
    EXPECT_EQ(error, kCopySameFile);
    ::close(fd);
    EXPECT_EQ(qvtest::readFile(dir + "/g"), "data");
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"f", "g"}));
}

// The source is marked as archived as it was when the copy began: a source changed during the copy
// still reads as to be archived.
TEST(StagedCopyArchive, SourceMarkedAsOfTheCopysStart)
{
    const std::string dir = qvtest::makeTempDir("asof");
    const std::string probe = dir + "/probe";
    qvtest::writeFile(probe, "x");
    if (::setxattr(probe.c_str(), "user.qvprobe", "1", 1, 0) != 0) {
        GTEST_SKIP() << "the test folder's file system keeps no user extended attributes";
    }
    for (bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "changed during the copy" : "unchanged");
        const std::string src = dir + (changed ? "/changed" : "/same");
        qvtest::writeFile(src, "first");
        StagedCopy copy;
        int error = 0;
        ASSERT_TRUE(copy.write(src, src + ".copy", CopyOptions{}, error) && copy.commit(error));
        if (changed) {
            qvtest::writeFile(src, "second, longer");
        }
        ASSERT_TRUE(copy.markSourceArchived(error)) << copyErrorText(error);
        std::uint32_t attributes = 0;
        ASSERT_TRUE(FileAttributes::read(src, attributes));
        EXPECT_EQ((attributes & faArchive) != 0, changed);
    }
}

namespace {

// A failed sync of a copy that replaces a file, or of a whole file being replaced, leaves the old
// file as it was and no temporary file; a copy that replaces nothing is not synced.
TEST(StagedCopyFaults, AFailedSyncLeavesTheOldFile)
{
    const std::string dir = qvtest::makeTempDir("sync");
    qvtest::writeFile(dir + "/src", std::string(100000, 'n'));
    struct Case {
        const char *name;
        bool wholeFile; // replaceFile instead of a copy
        bool syncData;
        int injected;   // syncs failed on purpose
    };
    const Case cases[] = {{"copy, synced", false, true, 1}, {"copy, not synced", false, false, 0},
                          {"whole file", true, true, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        qvtest::writeFile(dir + "/dst", "old content");
        FakeFileIo io;
        io.failSync(".qvtmp-", EIO);
        int error = 0;
        bool ok = false;
        if (c.wholeFile) {
            ok = replaceFile(dir + "/dst", "new content", 0640, error);
        } else {
            StagedCopy copy;
            CopyOptions options;
            options.syncData = c.syncData;
            ok = copy.write(dir + "/src", dir + "/dst", options, error) && copy.commit(error);
        }
        EXPECT_EQ(io.injected(), c.injected);
        EXPECT_EQ(ok, c.injected == 0);
        EXPECT_EQ(qvtest::readFile(dir + "/dst"), c.injected == 0 ? std::string(100000, 'n') : "old content");
        EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"dst", "src"}));
    }
    // Without a fault: the new content, the mode as given, nothing else left.
    int error = 0;
    ASSERT_TRUE(replaceFile(dir + "/dst", "new content", 0640, error)) << copyErrorText(error);
    EXPECT_EQ(qvtest::readFile(dir + "/dst"), "new content");
    struct stat st;
    ASSERT_EQ(::stat((dir + "/dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"dst", "src"}));
}

// A new file is written without a name and linked in place by commit(): nothing shows in the
// folder before that, and nothing is left after a failure. Where the file system refuses unnamed
// files, a named temporary file takes their place; a destination made by someone else meanwhile
// is replaced, as a rename would. Every way ends with the source's bytes, mode and time.
TEST(StagedCopyUnnamed, NewFilesAppearWholeOrNotAtAll)
{
    enum class Fault { None, Unsupported, OldKernel, Link, Appeared, Discard, ByProc, NoWay };
    struct Case {
        const char *name;
        Fault fault;
        bool done; // the destination holds the copy at the end (the link fault: when made unnamed)
    };
    const Case cases[] = {
        {"unnamed", Fault::None, true},
        {"unnamed files refused (EOPNOTSUPP)", Fault::Unsupported, true},
        {"unnamed files refused (EISDIR)", Fault::OldKernel, true},
        {"link refused (EIO)", Fault::Link, false},
        {"destination appeared meanwhile", Fault::Appeared, true},
        {"discarded", Fault::Discard, false},
        {"linked through /proc (no descriptor links)", Fault::ByProc, true},
        {"no way to link (named temporary file)", Fault::NoWay, true},
    };
    const std::string dir = qvtest::makeTempDir("unnamed");
    const int probe = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    const bool supported = probe >= 0;
    if (probe >= 0) {
        ::close(probe);
    }
    const std::string data(70000, 'u'); // above the in-kernel threshold
    const std::string src = dir + "/src";
    qvtest::writeFile(src, data);
    ASSERT_EQ(::chmod(src.c_str(), 0640), 0);
    const struct timespec times[2] = {{1600000000, 123456789}, {1700000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, src.c_str(), times, 0), 0);
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = dir + "/c" + std::to_string(++n);
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        const std::string dst = folder + "/new";
        FakeFileIo io;
        if (c.fault == Fault::Unsupported || c.fault == Fault::OldKernel) {
            io.failUnnamed(folder, c.fault == Fault::Unsupported ? EOPNOTSUPP : EISDIR, 1000);
        } else if (c.fault == Fault::Link) {
            io.failLink(dst, EIO, 1000);
        } else if (c.fault == Fault::ByProc || c.fault == Fault::NoWay) {
            io.refuseLinkWays(true, c.fault == Fault::NoWay);
            detail::forgetLinkWay();
        }
        StagedCopy copy;
        int error = 0;
        ASSERT_TRUE(copy.write(src, dst, CopyOptions{}, error)) << copyErrorText(error);
        const bool unnamed =
            supported && c.fault != Fault::Unsupported && c.fault != Fault::OldKernel && c.fault != Fault::NoWay;
        EXPECT_EQ(copy.tempPath().empty(), unnamed);
        EXPECT_EQ(listFolder(folder).empty(), unnamed); // nothing to see before commit()
        if (c.fault == Fault::Appeared) {
            qvtest::writeFile(dst, "made by another program");
        }
        if (c.fault == Fault::Discard) {
            copy.discard();
        } else {
            const bool done = copy.commit(error);
            EXPECT_EQ(done, c.done || !unnamed) << copyErrorText(error);
            if (!done) {
                EXPECT_EQ(error, EIO);
            }
        }
        struct stat st = {};
        if (c.fault == Fault::Discard || (c.fault == Fault::Link && unnamed)) {
            EXPECT_TRUE(listFolder(folder).empty());
            continue;
        }
        EXPECT_EQ(listFolder(folder), std::vector<std::string>{"new"});
        ASSERT_EQ(::stat(dst.c_str(), &st), 0);
        EXPECT_EQ(qvtest::readFile(dst), data);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec);
        EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
        EXPECT_EQ(st.st_nlink, 1u);
    }
    detail::forgetLinkWay();
}

} // namespace

// A copy given its folder's descriptor writes into that folder even when the folder's path is
// swapped for a link to another folder before the write or between write and commit; a copy by
// path (the control) follows the link.
TEST(StagedCopyFolder, ASwappedFolderRedirectsNothing)
{
    struct Case {
        const char *name;
        bool byDescriptor;
        bool replace;         // a named temporary file and a rename, else a new (unnamed) file
        bool swapAfterWrite;  // else before the write
        bool syncName;
    };
    const Case cases[] = {
        {"new file, swapped before the write", true, false, false, false},
        {"new file, swapped before the commit", true, false, true, false},
        {"replaced file, swapped before the write", true, true, false, false},
        {"replaced file and its name synced, swapped before the commit", true, true, true, true},
        {"control: by path", false, true, false, false},
    };
    const std::string dir = qvtest::makeTempDir("swapped");
    const std::string src = dir + "/src";
    qvtest::writeFile(src, "new data");
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string base = dir + "/c" + std::to_string(++n);
        const std::string folder = base + "/dst", outside = base + "/outside", moved = base + "/moved";
        ASSERT_TRUE(qvtest::runShell("mkdir -p '" + folder + "' '" + outside + "'").exitCode == 0);
        if (c.replace) {
            qvtest::writeFile(folder + "/f", "old");
            qvtest::writeFile(outside + "/f", "outside");
        }
        const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const auto swap = [&] {
            ASSERT_EQ(::rename(folder.c_str(), moved.c_str()), 0);
            ASSERT_EQ(::symlink(outside.c_str(), folder.c_str()), 0);
        };
        CopyOptions options;
        options.folder = c.byDescriptor ? fd : -1;
        options.syncData = c.replace;
        options.syncName = c.syncName;
        StagedCopy copy;
        int error = 0;
        if (!c.swapAfterWrite) {
            swap();
        }
        ASSERT_TRUE(copy.write(src, folder + "/f", options, error)) << copyErrorText(error);
        if (c.swapAfterWrite) {
            swap();
        }
        ASSERT_TRUE(copy.commit(error)) << copyErrorText(error);
        if (c.byDescriptor) {
            EXPECT_EQ(qvtest::readFile(moved + "/f"), "new data");
            EXPECT_EQ(listFolder(moved), std::vector<std::string>{"f"});
            using Names = std::vector<std::string>;
            EXPECT_EQ(listFolder(outside), c.replace ? Names{"f"} : Names{});
            if (c.replace) {
                EXPECT_EQ(qvtest::readFile(outside + "/f"), "outside");
            }
        } else {
            EXPECT_EQ(qvtest::readFile(outside + "/f"), "new data");
        }
        ::close(fd);
    }
    qvtest::runShell("rm -rf '" + dir + "'");
}
