// A destination folder swapped for a link to another folder after the run checked it: the run's
// copies still go into the folder it checked, its deletes go through no link, and nothing outside
// the destination is written or removed.
// qv-test-timeout: 120
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"
#include "platform/fake/FakeFileIo.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using namespace enginetest;

// A BackupServices whose in-use test, asked just before a file's data goes into the folder
// `dst`/a, swaps that folder for a link to `outside` once, keeping it as `base`/moved.
qv::BackupServices swappingServices(const std::string &base, const std::string &dst,
                                    const std::string &outside)
{
    qv::BackupServices services;
    services.isInUse = [dst, outside, base](const std::string &, int) {
        const std::string folder = dst + "/a";
        struct stat st;
        if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            ::rename(folder.c_str(), (base + "/moved").c_str());
            ::symlink(outside.c_str(), folder.c_str());
        }
        return false;
    };
    return services;
}

// A host that, told of a line of `kind` naming `trigger`, swaps `folder` for a link to `outside`
// (keeping it as `folder`.moved).
class SwapOnLogHost : public RecordingHost
{
public:
    SwapOnLogHost(int kind, std::string trigger, std::string folder, std::string outside)
        : m_kind(kind), m_trigger(std::move(trigger)), m_folder(std::move(folder)), m_outside(std::move(outside))
    {
    }
    void log(int kind, const std::string &text) override
    {
        RecordingHost::log(kind, text);
        if (kind == m_kind && text.find(m_trigger) != std::string::npos) {
            ::rename(m_folder.c_str(), (m_folder + ".moved").c_str());
            ::symlink(m_outside.c_str(), m_folder.c_str());
        }
    }

private:
    int m_kind;
    std::string m_trigger, m_folder, m_outside;
};

TEST(DestinationSwap, CopiesStayInTheCheckedFolder)
{
    const std::string base = qvtest::makeTempDir("swap");
    for (const char *workers : {"1", "4"}) {
        SCOPED_TRACE(std::string(workers) + " workers");
        const std::string src = base + "/src", dst = base + "/dst", outside = base + "/outside";
        qvtest::runShell("rm -rf '" + src + "' '" + dst + "' '" + outside + "' '" + base + "/moved'");
        put(src + "/a/new", "new data", 1700000000);
        put(src + "/a/old", "newer data", 1700000000);
        put(dst + "/a/old", "older", 1600000000);
        put(outside + "/old", "outside", 1600000000);
        ::setenv("QV_COPY_WORKERS", workers, 1);
        RecordingHost host;
        qv::TLocalBackup backup(makeSnapshot({src}, dst), &host, swappingServices(base, dst, outside));
        backup.runInPlace();
        ::unsetenv("QV_COPY_WORKERS");
        struct stat st;
        ASSERT_EQ(::lstat((dst + "/a").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)); // the swap happened
        EXPECT_EQ(qvtest::readFile(base + "/moved/new"), "new data") << host.dump();
        EXPECT_EQ(qvtest::readFile(base + "/moved/old"), "newer data") << host.dump();
        EXPECT_FALSE(exists(outside + "/new")) << host.dump();
        EXPECT_EQ(qvtest::readFile(outside + "/old"), "outside") << host.dump();
    }
    qvtest::runShell("rm -rf '" + base + "'");
}

// An exact copy's obsolete file, in a folder swapped for a link after the destination was listed:
// the delete refuses the link, and the file it would reach outside stays; the other obsolete file
// (the control) goes.
TEST(DestinationSwap, ObsoleteDeletesGoThroughNoLink)
{
    const std::string base = qvtest::makeTempDir("swapdelete");
    const std::string src = base + "/src", dst = base + "/dst", outside = base + "/outside";
    put(src + "/keep", "keep", 1700000000);
    put(dst + "/a/gone", "obsolete", 1600000000);
    put(dst + "/b/gone", "obsolete", 1600000000);
    put(outside + "/gone", "outside", 1600000000);
    // Told of the delete just before it is done: the folder becomes a link to `outside` there.
    SwapOnLogHost host(qv::kLogWarning, dst + "/a/gone", dst + "/a", outside);
    qv::TLocalBackup backup(makeSnapshot({src}, dst, qv::BackupTaskType::ExactCopy), &host, {});
    backup.runInPlace();
    struct stat st;
    ASSERT_EQ(::lstat((dst + "/a").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << host.dump(); // the swap happened
    EXPECT_EQ(qvtest::readFile(outside + "/gone"), "outside") << host.dump();
    EXPECT_FALSE(exists(dst + "/b/gone")) << host.dump();
    EXPECT_TRUE(host.loggedContaining(qv::kLogError, dst + "/a/gone")) << host.dump();
    qvtest::runShell("rm -rf '" + base + "'");
}

// A move into a folder swapped for a link after its check: the rename, and the copy that stands
// for it across file systems, put the file into the folder as checked.
TEST(DestinationSwap, MovesStayInTheCheckedFolder)
{
    const std::string base = qvtest::makeTempDir("swapmove");
    for (const bool acrossDevices : {false, true}) {
        SCOPED_TRACE(acrossDevices ? "across file systems" : "rename");
        const std::string src = base + "/src", dst = base + "/dst", outside = base + "/outside";
        qvtest::runShell("rm -rf '" + src + "' '" + dst + "' '" + outside + "' '" + base + "/moved'");
        put(src + "/a/new", "new data", 1700000000);
        put(dst + "/a/kept", "kept", 1600000000);
        put(outside + "/other", "outside", 1600000000);
        qv::FakeFileIo io;
        if (acrossDevices) {
            io.failRename(src + "/a/new", EXDEV);
        }
        RecordingHost host;
        qv::TLocalBackup backup(makeSnapshot({src}, dst, qv::BackupTaskType::Move), &host,
                                swappingServices(base, dst, outside));
        backup.runInPlace();
        struct stat st;
        ASSERT_EQ(::lstat((dst + "/a").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)); // the swap happened
        EXPECT_EQ(io.injected(), acrossDevices ? 1 : 0);
        EXPECT_EQ(qvtest::readFile(base + "/moved/new"), "new data") << host.dump();
        EXPECT_FALSE(exists(outside + "/new")) << host.dump();
        EXPECT_FALSE(exists(src + "/a/new")) << host.dump();
    }
    qvtest::runShell("rm -rf '" + base + "'");
}

// A versions folder swapped for a link after its check, just before the old destination goes
// into it: the version goes into the folder as checked, and the pruning of old versions lists and
// removes there; the versions outside stay.
TEST(DestinationSwap, VersionsStayInTheCheckedFolder)
{
    const std::string base = qvtest::makeTempDir("swapversion");
    const std::string src = base + "/src", dst = base + "/dst", versions = base + "/versions";
    const std::string outside = base + "/outside";
    put(src + "/a/doc", "new", 1700000000);
    put(dst + "/a/doc", "old", 1600000000);
    put(versions + "/a/doc.20190101000000000", "oldest version", 1500000000);
    put(outside + "/doc.20200101000000000", "outside", 1500000000);
    // Told the version is about to be kept: the versions folder becomes a link to `outside`.
    SwapOnLogHost host(qv::kLogFile, versions + "/a", versions + "/a", outside);
    auto s = makeSnapshot({src}, dst);
    s->versionsKeep = true;
    s->versionsFolder = versions + "/";
    s->versionsFilesNum = 1;
    qv::TLocalBackup backup(s, &host, {});
    backup.runInPlace();
    struct stat st;
    ASSERT_EQ(::lstat((versions + "/a").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << host.dump(); // the swap happened
    EXPECT_EQ(qvtest::readFile(dst + "/a/doc"), "new") << host.dump();
    EXPECT_EQ(qvtest::runShell("ls '" + outside + "'").output, "doc.20200101000000000\n") << host.dump();
    EXPECT_EQ(qvtest::runShell("cat '" + versions + "/a.moved/'*").output, "old")
        << host.dump(); // pruned to one
}

// An exact copy whose obsolete files go into the deleted-files archive, one of them in a folder
// swapped for a link after the listing: that move refuses the link, and the file it would reach
// outside stays; the other obsolete file (the control) goes into the archive.
TEST(DestinationSwap, ArchiveMovesGoThroughNoLink)
{
    for (const bool acrossDevices : {false, true}) {
        SCOPED_TRACE(acrossDevices ? "across file systems" : "rename");
        const std::string base = qvtest::makeTempDir("swaparchive");
        const std::string src = base + "/src", dst = base + "/dst", outside = base + "/outside";
        put(src + "/keep", "keep", 1700000000);
        put(dst + "/a/gone", "obsolete", 1600000000);
        put(dst + "/b/gone", "obsolete b", 1600000000);
        put(outside + "/gone", "outside", 1600000000);
        SwapOnLogHost host(qv::kLogWarning, dst + "/a/gone", dst + "/a", outside);
        auto s = makeSnapshot({src}, dst, qv::BackupTaskType::ExactCopy);
        s->deleteKind = qv::BackupDeleteKind::Archive;
        s->archiveFolder = base + "/deleted/";
        qv::FakeFileIo io;
        if (acrossDevices) {
            io.failRename("/b/gone", EXDEV);
        }
        qv::TLocalBackup backup(s, &host, {});
        backup.runInPlace();
        EXPECT_EQ(io.injected(), acrossDevices ? 1 : 0);
        struct stat st;
        ASSERT_EQ(::lstat((dst + "/a").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << host.dump(); // the swap happened
        EXPECT_EQ(qvtest::readFile(outside + "/gone"), "outside") << host.dump();
        EXPECT_EQ(qvtest::runShell("cat '" + base + "/deleted/'*/*").output, "obsolete b") << host.dump();
        EXPECT_FALSE(exists(dst + "/b/gone")) << host.dump();
        EXPECT_TRUE(host.loggedContaining(qv::kLogError, dst + "/a/gone")) << host.dump();
        qvtest::runShell("rm -rf '" + base + "'");
    }
}

} // namespace
