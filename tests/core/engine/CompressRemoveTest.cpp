// The removal of archive entries whose sources are gone, by delete kind; the per-archive lock.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "CompressTestSupport.h"

#include "core/engine/ArchiveLock.h"
#include "core/engine/BackupThreadFactory.h"
#include "core/engine/RunSnapshotOfTask.h"
#include "core/runs/Task.h"
#include "core/engine/RunControl.h"

#include <algorithm>
#include <atomic>
#include <dirent.h>
#include <thread>

namespace {

using namespace compresstest;

std::vector<std::string> filesBelow(const std::string &folder)
{
    auto r = qvtest::runShell("cd '" + folder + "' && find . -type f | sort");
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < r.output.size()) {
        std::size_t end = r.output.find('\n', start);
        if (end == std::string::npos) {
            end = r.output.size();
        }
        if (end > start + 2) {
            out.push_back(r.output.substr(start + 2, end - start - 2));
        }
        start = end + 1;
    }
    return out;
}

class CompressRemoveEntries : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = qvtest::makeTempDir("compress-remove");
        src = base + "/src/";
        archive = base + "/out/backup.zip";
        put(src + "keep.txt", "keep", 1600000000);
        put(src + "gone.txt", "gone content", 1600000000);
        put(src + "sub/gone2.txt", "gone two", 1600000000);
        auto first = runCompress(compressSnapshot({src}, archive));
        ASSERT_FALSE(first->host.aborted) << first->host.dump();
        ::unlink((src + "gone.txt").c_str());
        ::unlink((src + "sub/gone2.txt").c_str());
    }

    std::shared_ptr<qv::RunSnapshot> snapshot(qv::BackupDeleteKind kind)
    {
        auto s = compressSnapshot({src}, archive);
        s->deleteKind = kind;
        s->archiveFolder = base + "/deleted/";
        return s;
    }

    std::string base, src, archive;
};

// The program's own runs never remove entries: files that left the source stay in the archive.
TEST_F(CompressRemoveEntries, SwitchedOffKeepsEntriesOfRemovedFiles)
{
    QV_REQUIRE_TOOL("zipinfo");
    auto run = runCompress(snapshot(qv::BackupDeleteKind::Normal), false);
    ASSERT_FALSE(run->host.aborted);
    const auto names = zipNames(archive);
    EXPECT_EQ(std::count(names.begin(), names.end(), "gone.txt"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "sub/gone2.txt"), 1);
}

TEST_F(CompressRemoveEntries, NormalDeletesFromTheArchive)
{
    QV_REQUIRE_TOOL("zipinfo");
    auto run = runCompress(snapshot(qv::BackupDeleteKind::Normal), true);
    ASSERT_FALSE(run->host.aborted) << run->host.dump();
    EXPECT_EQ(zipNames(archive), (std::vector<std::string>{"keep.txt", "sub/"}));
    EXPECT_TRUE(run->host.logged(qv::kLogWarning, "Deleting from ZIP: \"gone.txt\"."));
    EXPECT_TRUE(run->host.logged(qv::kLogWarning, "Deleting from ZIP: \"sub/gone2.txt\"."));
}

TEST_F(CompressRemoveEntries, RecycleMovesExtractedEntriesToTheTrash)
{
    QV_REQUIRE_TOOL("zipinfo");
    const std::string trash = base + "/trash/";
    qvtest::runShell("mkdir -p '" + trash + "'");
    std::vector<std::string> trashed;
    qv::BackupServices services;
    services.moveToTrash = [&](int, const std::string &path, const std::string &, std::string &error) {
        trashed.push_back(path);
        const std::string to = trash + path.substr(path.rfind('/') + 1);
        if (::rename(path.c_str(), to.c_str()) != 0) {
            error = "rename failed";
            return false;
        }
        return true;
    };
    auto run = runCompress(snapshot(qv::BackupDeleteKind::Recycle), true, services);
    ASSERT_FALSE(run->host.aborted) << run->host.dump();
    ASSERT_EQ(trashed.size(), 1u);
    const std::string folder = trash + "backup.zip (removed entries)/";
    EXPECT_EQ(qvtest::readFile(folder + "gone.txt"), "gone content");
    EXPECT_EQ(qvtest::readFile(folder + "sub/gone2.txt"), "gone two");
    EXPECT_EQ(zipNames(archive), (std::vector<std::string>{"keep.txt", "sub/"}));
    EXPECT_TRUE(run->host.logged(qv::kLogWarning, "Deleting file \"backup.zip/gone.txt\" to Trash."));
    // The work folder beside the archive is gone.
    EXPECT_TRUE(qvtest::runShell("ls -A '" + base + "/out'").output == "backup.zip\n");
}

// In the real trash the removed entries are recorded as a folder beside the archive, named after
// it: restoring them puts them there, where the folder of the record exists.
TEST_F(CompressRemoveEntries, TrashedEntriesGoBackBesideTheArchive)
{
    QV_REQUIRE_TOOL("zipinfo");
    auto run = runCompress(snapshot(qv::BackupDeleteKind::Recycle), true);
    ASSERT_FALSE(run->host.aborted) << run->host.dump();
    EXPECT_EQ(zipNames(archive), (std::vector<std::string>{"keep.txt", "sub/"}));
    // Each record of the trash: its original path, and what the trashed item holds.
    const auto records = qvtest::runCommand(
        {"python3", "-c",
         "import glob,os,sys,urllib.parse\n"
         "for info in sorted(glob.glob(os.environ['XDG_DATA_HOME'] + '/Trash/info/*.trashinfo')):\n"
         "    path = [l[5:] for l in open(info).read().splitlines() if l.startswith('Path=')][0]\n"
         "    item = info.replace('/info/', '/files/')[:-len('.trashinfo')]\n"
         "    gone = os.path.join(item, 'gone.txt')\n"
         "    content = open(gone).read() if os.path.exists(gone) else ''\n"
         "    print(urllib.parse.unquote(path) + '|' + content)\n"});
    ASSERT_EQ(records.exitCode, 0) << records.output;
    const std::string expected = base + "/out/backup.zip (removed entries)|gone content\n";
    EXPECT_NE(records.output.find(expected), std::string::npos) << records.output;
    EXPECT_TRUE(qvtest::runShell("ls -A '" + base + "/out'").output == "backup.zip\n");
}

// When the trash refuses, the entries stay in the archive: they exist nowhere else.
TEST_F(CompressRemoveEntries, RecycleFailureKeepsTheEntries)
{
    QV_REQUIRE_TOOL("zipinfo");
    qv::BackupServices services;
    services.moveToTrash = [](int, const std::string &, const std::string &, std::string &error) {
        error = "no trash here";
        return false;
    };
    auto run = runCompress(snapshot(qv::BackupDeleteKind::Recycle), true, services);
    EXPECT_TRUE(run->host.loggedContaining(qv::kLogError, "Can't delete folder to Trash ("))
        << run->host.dump();
    const auto names = zipNames(archive);
    EXPECT_EQ(std::count(names.begin(), names.end(), "gone.txt"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "sub/gone2.txt"), 1);
    EXPECT_TRUE(qvtest::runShell("ls -A '" + base + "/out'").output == "backup.zip\n");
}

TEST_F(CompressRemoveEntries, ArchiveKindMovesEntriesToDeletedFilesFolder)
{
    QV_REQUIRE_TOOL("zipinfo");
    auto run = runCompress(snapshot(qv::BackupDeleteKind::Archive), true);
    ASSERT_FALSE(run->host.aborted) << run->host.dump();
    EXPECT_EQ(zipNames(archive), (std::vector<std::string>{"keep.txt", "sub/"}));
    const auto kept = filesBelow(base + "/deleted");
    ASSERT_EQ(kept.size(), 2u) << qvtest::runShell("find '" + base + "/deleted'").output;
    // Names are the entry's path with a time stamp: gone.txt.yyyyMMddHHmmsszzz.
    EXPECT_EQ(kept[0].rfind("gone.txt.", 0), 0u) << kept[0];
    EXPECT_EQ(kept[1].rfind("sub/gone2.txt.", 0), 0u) << kept[1];
    EXPECT_EQ(qvtest::readFile(base + "/deleted/" + kept[1]), "gone two");
    EXPECT_TRUE(run->host.logged(
        qv::kLogWarning, "Deleting file \"backup.zip/sub/gone2.txt\" to Deleted Files Archive folder."));
}

// Encrypted entries are extracted with the task's password before they leave the archive.
TEST_F(CompressRemoveEntries, EncryptedArchiveRemovalUsesThePassword)
{
    QV_REQUIRE_TOOL("zipinfo");
    const std::string locked = base + "/out/locked.zip";
    put(src + "gone.txt", "secret gone", 1600000000);
    auto s = compressSnapshot({src}, locked);
    s->compressPassword = "pw";
    ASSERT_FALSE(runCompress(s)->host.aborted);
    ::unlink((src + "gone.txt").c_str());
    auto s2 = compressSnapshot({src}, locked);
    s2->compressPassword = "pw";
    s2->deleteKind = qv::BackupDeleteKind::Archive;
    s2->archiveFolder = base + "/deleted-locked/";
    auto run = runCompress(s2, true);
    ASSERT_FALSE(run->host.aborted) << run->host.dump();
    const auto kept = filesBelow(base + "/deleted-locked");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(qvtest::readFile(base + "/deleted-locked/" + kept[0]), "secret gone");
}

// A run the program starts for a compressing task gets the compress backup with the removal
// switched off: entries of files that left the source stay in the archive.
TEST_F(CompressRemoveEntries, ProgramRunsKeepEntriesOfRemovedFiles)
{
    QV_REQUIRE_TOOL("zipinfo");
    qv::TTask task;
    task.Name = "compress";
    task.Source = src;
    task.DestLocal = base + "/out";
    task.CompressUse = true;
    task.CompressFilename = "backup.zip";
    task.DeleteKind = qv::adkNormal; // deleting outright would show at once
    qv::TTaskFilterItem all;
    all.FilterType = qv::fitInclude;
    all.fnWildcard = "*.*";
    task.Filters.Add(all);
    RecordingHost host;
    std::unique_ptr<qv::TCustomBackup> run(
        qv::createBackupThread(qv::makeRunSnapshot(task, task.GetEventsDiskSpanDialog()), &host));
    ASSERT_NE(dynamic_cast<qv::TCompressBackup *>(run.get()), nullptr);
    run->runInPlace();
    ASSERT_FALSE(host.aborted) << host.dump();
    const auto names = zipNames(archive);
    EXPECT_EQ(std::count(names.begin(), names.end(), "gone.txt"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "keep.txt"), 1);
    EXPECT_FALSE(host.loggedContaining(qv::kLogWarning, "Deleting"));
}

class CompressArchiveLock : public ::testing::Test
{
protected:
    void SetUp() override { base = qvtest::makeTempDir("archive-lock"); }
    std::string base;
};

TEST_F(CompressArchiveLock, NormalisedPathsNameOneArchiveOnce)
{
    qvtest::runShell("mkdir -p '" + base + "/real/sub' && ln -s real '" + base + "/link' && touch '" + base +
                     "/real/a.zip' && ln -s a.zip '" + base + "/real/b.zip'");
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {base + "/real/a.zip", base + "/real/a.zip"},
        {base + "/link/a.zip", base + "/real/a.zip"},
        {base + "/real/sub/../a.zip", base + "/real/a.zip"},
        {base + "/real/b.zip", base + "/real/a.zip"},
        {base + "/link/new.zip", base + "/real/new.zip"},
        {base + "/missing/x.zip", base + "/missing/x.zip"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::ArchiveLock::normalisedPath(c.path), c.expected) << c.path;
    }
    EXPECT_EQ(qv::ArchiveLock::lockFileFor(base + "/link/a.zip"), qv::ArchiveLock::lockFileFor(base + "/real/a.zip"));
    EXPECT_NE(qv::ArchiveLock::lockFileFor(base + "/real/a.zip"), qv::ArchiveLock::lockFileFor(base + "/real/c.zip"));
}

// A second holder waits (told once) until the first lets go; a stop ends the wait.
TEST_F(CompressArchiveLock, SecondHolderWaitsAndStopEndsTheWait)
{
    const std::string archive = base + "/a.zip";
    qv::RunControl c1, c2;
    qv::ArchiveLock first;
    ASSERT_TRUE(first.acquire(archive, c1, {}));
    std::atomic<int> waits{0};
    std::atomic<bool> got{false};
    std::thread second([&] {
        qv::ArchiveLock lock;
        got = lock.acquire(archive, c2, [&] { ++waits; });
    });
    while (waits.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(got.load());
    first.release();
    second.join();
    EXPECT_TRUE(got.load());
    EXPECT_EQ(waits.load(), 1);

    ASSERT_TRUE(first.acquire(archive, c1, {}));
    qv::RunControl stopped;
    std::thread third([&] {
        qv::ArchiveLock lock;
        got = lock.acquire(archive, stopped, {});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stopped.requestStop();
    third.join();
    EXPECT_FALSE(got.load());
    EXPECT_TRUE(first.held());
}

// A run whose archive another run holds logs that it waits, and writes once the other is done.
TEST_F(CompressArchiveLock, RunWaitsForTheOtherWriter)
{
    QV_REQUIRE_TOOL("zipinfo");
    const std::string src = base + "/src/";
    const std::string archive = base + "/out/x.zip";
    put(src + "f.txt", "f", 1600000000);
    std::atomic<bool> release{false};
    std::atomic<bool> held{false};
    std::thread holder([&] {
        qv::RunControl control;
        qv::ArchiveLock lock;
        lock.acquire(archive, control, {});
        held = true;
        while (!release.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    while (!held.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    auto run = runCompress(compressSnapshot({src}, archive), false, {}, [&](CompressRun &r) {
        r.host.onLog = [&](int, const std::string &text) {
            if (text.find("Waiting for another run") != std::string::npos) {
                release = true;
            }
        };
    });
    holder.join();
    ASSERT_FALSE(run->host.aborted) << run->host.dump();
    EXPECT_TRUE(run->host.logged(qv::kLogInformation,
                                 "Waiting for another run that writes the archive \"" + archive + "\"."));
    EXPECT_EQ(zipNames(archive), (std::vector<std::string>{"f.txt"}));
}

} // namespace
