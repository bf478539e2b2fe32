// The copy runs end to end in the calling thread: what lands at the destination, what is logged.
#include "EngineTestSupport.h"

#include "core/engine/BackupMessages.h"
#include "core/engine/LocalBackup.h"
#include "core/engine/TestBackup.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/fake/FakeDialer.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>

namespace {

using namespace enginetest;
using qv::BackupTaskType;

std::vector<std::string> listDir(const std::string &folder)
{
    std::vector<std::string> out;
    if (DIR *d = ::opendir(folder.c_str())) {
        while (auto *e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") {
                out.push_back(n);
            }
        }
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct Run {
    RecordingHost host;
    std::unique_ptr<qv::TLocalBackup> backup;
};

std::unique_ptr<Run> runBackup(std::shared_ptr<qv::RunSnapshot> snapshot, qv::BackupServices services = {},
                               std::function<int(int, const std::string &, const std::string &)> answer = {})
{
    auto r = std::make_unique<Run>();
    r->host.answer = std::move(answer);
    r->backup = std::make_unique<qv::TLocalBackup>(snapshot, &r->host, services);
    r->backup->runInPlace();
    return r;
}

class EngineLocalBackup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = qvtest::makeTempDir("engine");
        src = base + "/src/";
        dst = base + "/dst/";
    }
    std::string base, src, dst;
};

TEST_F(EngineLocalBackup, SimpleCopyThenUnchangedThenOneTouched)
{
    put(src + "a.txt", "alpha", 1700000000);
    put(src + "sub/b.txt", "beta", 1700000000);
    auto first = runBackup(makeSnapshot({src}, dst));
    EXPECT_FALSE(first->host.aborted) << first->host.dump();
    EXPECT_EQ(qvtest::readFile(dst + "a.txt"), "alpha");
    EXPECT_EQ(qvtest::readFile(dst + "sub/b.txt"), "beta");
    EXPECT_TRUE(first->host.logged(qv::kLogFile, "Copying \"" + src + "a.txt\" to \"" + dst + "a.txt\"."));
    EXPECT_TRUE(first->host.logged(qv::kLogInformation,
                                   "Total summary: 1 folders; 2 files, 9 bytes, 0 errors, 0 warnings."));
    EXPECT_TRUE(first->host.logged(qv::kLogFinished, "Backup finished."));
    ASSERT_FALSE(first->host.alerts.empty());
    EXPECT_EQ(first->host.alerts.back().kind, qv::akFinish);

    auto second = runBackup(makeSnapshot({src}, dst));
    EXPECT_EQ(second->host.count(qv::kLogFile), 0) << second->host.dump();
    EXPECT_EQ(second->host.count(qv::kLogSkipped), 2);

    put(src + "sub/b.txt", "beta, edited", 1700000100);
    auto third = runBackup(makeSnapshot({src}, dst));
    EXPECT_EQ(third->host.count(qv::kLogFile), 1) << third->host.dump();
    EXPECT_EQ(qvtest::readFile(dst + "sub/b.txt"), "beta, edited");
    EXPECT_EQ(listDir(dst + "sub"), (std::vector<std::string>{"b.txt"})); // no temporary file left
}

TEST_F(EngineLocalBackup, StopAnswerEndsTheRunAsAborted)
{
    put(src + "a", "1");
    put(src + "b", "2");
    auto r = runBackup(makeSnapshot({src}, dst), {}, [](int kind, const std::string &, const std::string &) {
        return kind == qv::akFile ? qv::aaStop : qv::aaNone;
    });
    EXPECT_TRUE(r->host.aborted);
    EXPECT_TRUE(r->host.logged(qv::kLogAborted, "Backup ABORTED!"));
    EXPECT_FALSE(r->host.logged(qv::kLogFinished, "Backup finished."));
    EXPECT_FALSE(exists(dst + "b"));
}

TEST_F(EngineLocalBackup, EmptySourceListIsAnError)
{
    qvtest::runShell("mkdir -p '" + src + "'");
    auto r = runBackup(makeSnapshot({src}, dst));
    EXPECT_TRUE(r->host.aborted);
    EXPECT_TRUE(r->host.logged(qv::kLogError, qv::formatMessage(qv::msg::SourceNoFiles)));
    ASSERT_GE(r->host.alerts.size(), 1u);
    EXPECT_EQ(r->host.alerts[0].buttons, "S");
}

TEST_F(EngineLocalBackup, TwoSourcesOntoOneFileStopBeforeAnyCopy)
{
    put(base + "/s1/same.txt", "one");
    put(base + "/s2/same.txt", "two");
    put(base + "/s1/a", "a");
    auto r = runBackup(makeSnapshot({base + "/s1", base + "/s2"}, dst));
    EXPECT_TRUE(r->host.aborted);
    EXPECT_TRUE(r->host.loggedContaining(
        qv::kLogError, "Detected two or more Source files (one is: " + base +
                           "/s2/same.txt) with the same Destination locations (" + dst + "same.txt)"));
    EXPECT_FALSE(exists(dst + "a"));
}

TEST_F(EngineLocalBackup, TwoSourcesSharingAFolderWarnOnceAndStopEnds)
{
    put(base + "/s1/docs/a", "a");
    put(base + "/s2/docs/b", "b");
    auto go = runBackup(makeSnapshot({base + "/s1", base + "/s2"}, dst));
    EXPECT_FALSE(go->host.aborted) << go->host.dump();
    EXPECT_EQ(go->host.count(qv::kLogWarning), 1);
    EXPECT_EQ(qvtest::readFile(dst + "docs/a"), "a");
    EXPECT_EQ(qvtest::readFile(dst + "docs/b"), "b");

    auto stop = runBackup(makeSnapshot({base + "/s1", base + "/s2"}, base + "/dst2"), {},
                          [](int kind, const std::string &, const std::string &) {
                              return kind == qv::akWarning ? qv::aaStop : qv::aaNone;
                          });
    EXPECT_TRUE(stop->host.aborted);
    EXPECT_FALSE(exists(base + "/dst2/docs/a"));
}

TEST_F(EngineLocalBackup, SourcesAAndXAMapByWholeComponents)
{
    put(base + "/a/f1", "1");
    put(base + "/x/a/f2", "2");
    auto s = makeSnapshot({base + "/a", base + "/x/a"}, dst);
    s->keepStructureFromRoot = true;
    s->sources[0].destination = dst + (base + "/a/").substr(1);
    s->sources[1].destination = dst + (base + "/x/a/").substr(1);
    auto r = runBackup(s);
    EXPECT_FALSE(r->host.aborted) << r->host.dump();
    EXPECT_EQ(qvtest::readFile(dst + base.substr(1) + "/a/f1"), "1");
    EXPECT_EQ(qvtest::readFile(dst + base.substr(1) + "/x/a/f2"), "2");
    EXPECT_EQ(r->backup->SourceToDestination(base + "/x/a/f2"), dst + base.substr(1) + "/x/a/f2");
}

TEST_F(EngineLocalBackup, VersionsKeepTheLimitAndLeaveOtherNamesAlone)
{
    const std::string versions = base + "/versions/";
    put(versions + "report.pdf", "not a version of report");
    put(versions + "report.2020010112000000", "16 digits: not ours");
    for (int i = 0; i < 5; ++i) {
        put(src + "report", "content " + std::to_string(i), 1700000000 + i * 10);
        auto s = makeSnapshot({src}, dst);
        s->versionsKeep = true;
        s->versionsFolder = versions;
        s->versionsFilesNum = 3;
        auto r = runBackup(s);
        ASSERT_FALSE(r->host.aborted) << r->host.dump();
        if (i > 0) {
            EXPECT_TRUE(r->host.loggedContaining(qv::kLogFile, "to Versions Archive Folder"));
        }
    }
    std::vector<std::string> stamped;
    for (const std::string &n : listDir(versions)) {
        if (n.size() == 6 + 19 && n.compare(0, 7, "report.") == 0 && n.back() == 'Z') { // stamped in UTC
            stamped.push_back(n);
        }
    }
    ASSERT_EQ(stamped.size(), 3u);
    // Four overwrites made four versions; the oldest went: "content 1".."content 3" remain.
    EXPECT_EQ(qvtest::readFile(versions + stamped[0]), "content 1");
    EXPECT_EQ(qvtest::readFile(versions + stamped[2]), "content 3");
    EXPECT_EQ(qvtest::readFile(dst + "report"), "content 4");
    EXPECT_TRUE(exists(versions + "report.pdf"));
    EXPECT_TRUE(exists(versions + "report.2020010112000000"));
}

TEST_F(EngineLocalBackup, StopAtTheVersionAlertLeavesDestinationAndArchiveUnchanged)
{
    const std::string versions = base + "/versions/";
    put(dst + "f", "old", 1600000000);
    put(src + "f", "new", 1700000000);
    auto s = makeSnapshot({src}, dst);
    s->versionsKeep = true;
    s->versionsFolder = versions;
    auto r = runBackup(s, {}, [](int kind, const std::string &, const std::string &text) {
        return kind == qv::akFile && text.find("Versions Archive") != std::string::npos ? qv::aaStop : qv::aaNone;
    });
    EXPECT_TRUE(r->host.aborted);
    EXPECT_EQ(qvtest::readFile(dst + "f"), "old");
    EXPECT_EQ(listDir(dst), (std::vector<std::string>{"f"}));
    EXPECT_TRUE(listDir(versions).empty());
}

TEST_F(EngineLocalBackup, ExactCopyDeleteKinds)
{
    struct Case {
        qv::BackupDeleteKind kind;
        const char *name;
    };
    for (Case c : {Case{qv::BackupDeleteKind::Normal, "normal"}, Case{qv::BackupDeleteKind::Recycle, "recycle"},
                   Case{qv::BackupDeleteKind::Archive, "archive"}}) {
        SCOPED_TRACE(c.name);
        const std::string d = base + "/dst-" + c.name + "/";
        put(src + "keep", "k");
        put(d + "keep", "k");
        put(d + "old.txt", "obsolete " + std::string(c.name));
        put(d + "oldtree/inner/x", "x");
        auto s = makeSnapshot({src}, d, BackupTaskType::ExactCopy);
        s->deleteKind = c.kind;
        s->archiveFolder = d + "Deleted/";
        auto r = runBackup(s);
        ASSERT_FALSE(r->host.aborted) << r->host.dump();
        EXPECT_FALSE(exists(d + "old.txt"));
        EXPECT_FALSE(exists(d + "oldtree"));
        EXPECT_TRUE(r->host.logged(qv::kLogWarning, "Deleting obsolete file: \"" + d + "old.txt\"."));
        if (c.kind == qv::BackupDeleteKind::Archive) {
            auto archived = listDir(d + "Deleted");
            ASSERT_EQ(archived.size(), 2u) << r->host.dump();
            EXPECT_EQ(archived[0].substr(0, 8), "old.txt.");
            EXPECT_EQ(archived[0].size(), 8u + 17u + 1u); // the moment in UTC, ending in "Z"
            EXPECT_EQ(archived[0].back(), 'Z');
            EXPECT_TRUE(exists(d + "Deleted/oldtree/inner"));
            EXPECT_EQ(listDir(d), (std::vector<std::string>{"Deleted", "keep"}));
        }
        if (c.kind == qv::BackupDeleteKind::Recycle) {
            const std::string trash = qvtest::testHome() + "/.local/share/Trash/files/";
            const char *xdg = std::getenv("XDG_DATA_HOME");
            const std::string t = xdg != nullptr ? std::string(xdg) + "/Trash/files/" : trash;
            EXPECT_EQ(qvtest::readFile(t + "old.txt"), "obsolete recycle");
            EXPECT_TRUE(exists(t + "oldtree/inner/x")); // the whole tree in one step
            EXPECT_TRUE(r->host.logged(qv::kLogWarning, "Deleting obsolete folder: \"" + d + "oldtree\"."));
            EXPECT_FALSE(r->host.loggedContaining(qv::kLogWarning, "inner"));
        }
    }
}

// The copy pass passes over folders whose names match the source's without listing them again; an
// obsolete entry below such folders is still found, and an entry that changed between the decision
// and its deletion is left alone without a line.
TEST_F(EngineLocalBackup, ExactCopyFindsObsoleteEntriesBelowMatchingFolders)
{
    for (const char *p : {"keep", "a/x", "a/b/y", "a/b/c/z", "e/f"}) {
        put(src + p, "same");
        put(dst + p, "same");
    }
    for (const char *p : {"a/b/c/old", "a/b/gone/inner", "gone1", "gone2"}) {
        put(dst + p, "obsolete");
    }
    auto r = runBackup(makeSnapshot({src}, dst, BackupTaskType::ExactCopy), {},
                       [this](int, const std::string &, const std::string &text) {
                           if (text.find("a/b/c/old") != std::string::npos && exists(dst + "gone2")) {
                               ::unlink((dst + "gone2").c_str()); // now a folder: not what was decided on
                               ::mkdir((dst + "gone2").c_str(), 0755);
                           }
                           return 0;
                       });
    ASSERT_FALSE(r->host.aborted) << r->host.dump();
    EXPECT_FALSE(exists(dst + "a/b/c/old"));
    EXPECT_FALSE(exists(dst + "a/b/gone"));
    EXPECT_FALSE(exists(dst + "gone1"));
    EXPECT_TRUE(exists(dst + "gone2/"));
    EXPECT_FALSE(r->host.loggedContaining(qv::kLogWarning, "gone2"));
    EXPECT_TRUE(r->host.logged(qv::kLogWarning, "Deleting obsolete file: \"" + dst + "a/b/c/old\"."));
    EXPECT_EQ(listDir(dst), (std::vector<std::string>{"a", "e", "gone2", "keep"}));
    EXPECT_EQ(listDir(dst + "a/b"), (std::vector<std::string>{"c", "y"}));
}

// A folder whose files the first look found as they are at the source is taken as listed; one
// file of another size, time or mode sends the whole folder to the stats, which decide as ever.
TEST_F(EngineLocalBackup, ExactCopyTakesMatchingFoldersAsListed)
{
    const long t = 1700000000;
    for (const char *budget : {"", "1"}) { // the source list kept, or streamed (a list of at most 1 byte)
        SCOPED_TRACE(*budget == 0 ? "list kept" : "streamed");
        const std::string from = base + "/src" + budget + "/", to = base + "/dst" + budget + "/";
        for (const char *p : {"same/a", "same/b", "newer/a", "newer/b", "older/a", "older/b", "mode/a", "mode/b"}) {
            put(from + p, "data", t);
            put(to + p, "data", t);
        }
        put(from + "newer/b", "new!", t + 100); // the destination is older: copied
        put(to + "older/b", "old!", t + 100);   // the destination is newer: left, with a warning
        ::chmod((to + "mode/b").c_str(), 0600);
        ::setenv("QV_SOURCE_LIST_BYTES", budget, 1);
        auto r = runBackup(makeSnapshot({from}, to, BackupTaskType::ExactCopy));
        ::unsetenv("QV_SOURCE_LIST_BYTES");
        ASSERT_FALSE(r->host.aborted) << r->host.dump();
        EXPECT_EQ(qvtest::readFile(to + "newer/b"), "new!");
        EXPECT_EQ(qvtest::readFile(to + "older/b"), "old!");
        EXPECT_EQ(r->host.count(qv::kLogFile), 1) << r->host.dump();
        EXPECT_TRUE(r->host.logged(qv::kLogFile, "Copying \"" + from + "newer/b\" to \"" + to + "newer/b\"."));
        EXPECT_TRUE(r->host.loggedContaining(qv::kLogWarning, from + "older/b"));
        EXPECT_EQ(r->host.count(qv::kLogSkipped), 6);
        EXPECT_TRUE(r->host.logged(qv::kLogSkipped, "Skipping unchanged \"" + from + "same/a\"."));
        EXPECT_TRUE(r->host.logged(qv::kLogSkipped, "Skipping unchanged \"" + from + "mode/b\"."));
    }
}

TEST_F(EngineLocalBackup, ExactCopyKeepsSourceInsideDestinationAndArchives)
{
    put(dst + "inside-src/data", "source data");
    put(dst + "Versions/f.20200101120000000", "an old version");
    put(dst + "stale", "stale");
    put(dst + "inside-src/" + qv::tempNameBeside("x"), "temporary");
    auto s = makeSnapshot({dst + "inside-src"}, dst, BackupTaskType::ExactCopy);
    s->sources[0].destination = dst;
    s->versionsKeep = true;
    s->versionsFolder = dst + "Versions/";
    auto r = runBackup(s);
    ASSERT_FALSE(r->host.aborted) << r->host.dump();
    EXPECT_EQ(qvtest::readFile(dst + "inside-src/data"), "source data");
    EXPECT_EQ(qvtest::readFile(dst + "data"), "source data");
    EXPECT_TRUE(exists(dst + "Versions/f.20200101120000000"));
    EXPECT_FALSE(exists(dst + "stale"));
}

TEST_F(EngineLocalBackup, UnreadableSourceFolderProtectsItsDestination)
{
    put(src + "ok/a", "a");
    put(src + "locked/b", "b");
    put(dst + "locked/b", "backup of b");
    put(dst + "locked/only-in-backup", "still wanted");
    put(dst + "ok/stale", "stale");
    qv::BackupServices services;
    services.directoryReader = std::make_shared<FailingReader>(std::set<std::string>{src + "locked/"});
    auto r = runBackup(makeSnapshot({src}, dst, BackupTaskType::ExactCopy), services);
    ASSERT_FALSE(r->host.aborted) << r->host.dump();
    EXPECT_TRUE(r->host.loggedContaining(qv::kLogWarning, "Unable to read folder \"" + src + "locked/\""));
    EXPECT_EQ(qvtest::readFile(dst + "locked/only-in-backup"), "still wanted");
    EXPECT_EQ(qvtest::readFile(dst + "locked/b"), "backup of b");
    EXPECT_FALSE(exists(dst + "ok/stale"));
}

TEST_F(EngineLocalBackup, SourceOnAMissingMountDeletesNothing)
{
    put(src + "a", "a");
    put(dst + "precious", "backup only");
    qv::BackupServices services;
    const std::string point = src.substr(0, src.size() - 1);
    services.mounts = [point] {
        return qv::MountTable::fromText("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n",
                                        "/dev/sdb1 " + point + " ext4 defaults 0 2\n");
    };
    auto r = runBackup(makeSnapshot({src}, dst, BackupTaskType::ExactCopy), services);
    EXPECT_TRUE(r->host.aborted);
    EXPECT_TRUE(
        r->host.loggedContaining(qv::kLogError, "One of the source folders is invalid (" + src + ")"));
    EXPECT_EQ(qvtest::readFile(dst + "precious"), "backup only");
}

TEST_F(EngineLocalBackup, DiskSpannedRunDeletesNothing)
{
    put(src + "big", std::string(1000, 'x'));
    put(dst + "obsolete", "o");
    qv::BackupServices services;
    int calls = 0;
    services.freeBytes = [&calls](const std::string &) -> std::int64_t { return calls++ == 0 ? 10 : INT64_MAX; };
    const std::string point = dst.substr(0, dst.size() - 1);
    services.mounts = [point] {
        return qv::MountTable::fromText("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:17 / " + point +
                                            " rw - vfat /dev/sdb1 rw\n",
                                        "", {point});
    };
    auto s = makeSnapshot({src}, dst, BackupTaskType::ExactCopy);
    s->diskSpanDialog = true;
    auto r = runBackup(s, services, [](int kind, const std::string &, const std::string &) {
        return kind == qv::akDiskSpan ? qv::aaRetry : qv::aaNone;
    });
    ASSERT_FALSE(r->host.aborted) << r->host.dump();
    EXPECT_TRUE(r->host.loggedContaining(qv::kLogWarning,
                                         "Destination removable disk \"" + point + "\" out of free space"));
    EXPECT_TRUE(r->host.logged(qv::kLogWarning, "Obsolete files deletion is skipped due to Disk Spanning!"));
    EXPECT_TRUE(exists(dst + "obsolete"));
    EXPECT_EQ(qvtest::readFile(dst + "big").size(), 1000u);
}

// After the user put in another disk, what was seen of the old one no longer counts: a file the old
// disk held unchanged is copied to the new one.
TEST_F(EngineLocalBackup, AnotherDiskIsLookedAtAfresh)
{
    put(src + "big", std::string(1000, 'x'), 1700000000);
    put(src + "same", "unchanged", 1700000000);
    put(dst + "same", "unchanged", 1700000000);
    qv::BackupServices services;
    int calls = 0;
    services.freeBytes = [&calls](const std::string &) -> std::int64_t { return calls++ == 0 ? 10 : INT64_MAX; };
    const std::string point = dst.substr(0, dst.size() - 1);
    services.mounts = [point] {
        return qv::MountTable::fromText("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:17 / " + point +
                                            " rw - vfat /dev/sdb1 rw\n",
                                        "", {point});
    };
    auto s = makeSnapshot({src}, dst, BackupTaskType::ExactCopy);
    s->diskSpanDialog = true;
    const std::string old = dst + "same";
    auto r = runBackup(s, services, [&old](int kind, const std::string &, const std::string &) {
        if (kind != qv::akDiskSpan) {
            return qv::aaNone;
        }
        ::unlink(old.c_str()); // the new disk does not hold it
        return qv::aaRetry;
    });
    ASSERT_FALSE(r->host.aborted) << r->host.dump();
    EXPECT_EQ(qvtest::readFile(dst + "same"), "unchanged");
    EXPECT_EQ(qvtest::readFile(dst + "big").size(), 1000u);
}

TEST_F(EngineLocalBackup, OutOfSpaceOnAFixedDiskEndsTheRunAndKeepsTheOldFile)
{
    put(dst + "f", "old content", 1600000000);
    put(src + "f", "new content that does not fit", 1700000000);
    qv::BackupServices services;
    services.freeBytes = [](const std::string &) -> std::int64_t { return 5; };
    auto r = runBackup(makeSnapshot({src}, dst), services);
    EXPECT_TRUE(r->host.aborted);
    EXPECT_TRUE(
        r->host.loggedContaining(qv::kLogError, "out of free space (free 5 bytes, but needed 29 bytes)!"));
    EXPECT_EQ(qvtest::readFile(dst + "f"), "old content");
    EXPECT_EQ(listDir(dst), (std::vector<std::string>{"f"}));
}

TEST_F(EngineLocalBackup, FailedCopyLeavesNoTemporaryFile)
{
    put(src + "x", "file over a folder", 1700000000);
    put(dst + "x/inside", "a folder stands where the file should go");
    auto r = runBackup(makeSnapshot({src}, dst));
    EXPECT_TRUE(r->host.loggedContaining(qv::kLogError, "Can't copy file \"" + src + "x\""));
    EXPECT_FALSE(r->host.aborted); // no dialog: the run goes on
    EXPECT_EQ(listDir(dst), (std::vector<std::string>{"x"}));
    EXPECT_EQ(qvtest::readFile(dst + "x/inside"), "a folder stands where the file should go");
}

TEST_F(EngineLocalBackup, MoveDeletesSourcesAndEmptiedFolders)
{
    put(src + "a", "a", 1700000000);
    put(src + "sub/b", "b", 1700000000);
    put(src + "same", "identical", 1700000000);
    put(dst + "same", "identical", 1700000000);
    put(src + "differs", "source version", 1700000000);
    put(dst + "differs", "other", 1700000000);
    auto r = runBackup(makeSnapshot({src}, dst, BackupTaskType::Move));
    ASSERT_FALSE(r->host.aborted) << r->host.dump();
    EXPECT_EQ(qvtest::readFile(dst + "a"), "a");
    EXPECT_EQ(qvtest::readFile(dst + "sub/b"), "b");
    EXPECT_FALSE(exists(src + "a"));
    EXPECT_FALSE(exists(src + "sub"));
    EXPECT_FALSE(exists(src + "same"));
    // Equal dates but different sizes: the destination is not the same file, the source stays.
    EXPECT_EQ(qvtest::readFile(src + "differs"), "source version");
    EXPECT_TRUE(r->host.loggedContaining(qv::kLogWarning, "the source file \"" + src + "differs\" is kept"));
}

TEST_F(EngineLocalBackup, SynchronizeNewerWinsBothWays)
{
    put(src + "both", "old on source", 1600000000);
    put(dst + "both", "new on destination", 1700000000);
    put(src + "s-only", "s", 1700000000);
    put(dst + "d-only/deep", "d", 1700000000);
    put(src + "edited", "newer on source", 1700000000);
    put(dst + "edited", "older", 1600000000);
    auto r = runBackup(makeSnapshot({src}, dst, BackupTaskType::Synchronize));
    ASSERT_FALSE(r->host.aborted) << r->host.dump();
    for (const char *f : {"both", "s-only", "d-only/deep", "edited"}) {
        EXPECT_EQ(qvtest::readFile(src + f), qvtest::readFile(dst + f)) << f;
    }
    EXPECT_EQ(qvtest::readFile(src + "both"), "new on destination");
    EXPECT_EQ(qvtest::readFile(dst + "edited"), "newer on source");
    EXPECT_EQ(r->host.count(qv::kLogSkipped), 0);
    EXPECT_EQ(r->host.count(qv::kLogWarning), 0) << r->host.dump();
}

// The destination is listed while the sources are read. Its lines go out once, after the way
// there; when the way there wrote, the way back and the totals see what it wrote.
TEST_F(EngineLocalBackup, SynchronizeReadsTheDestinationBetweenTheTwoWays)
{
    struct Row {
        const char *name;
        bool newerSource; // the way there copies a/f1
        bool newFile;     // the way there makes "new"
        const char *totals;
    };
    // Each file and folder once: the source's, and the folder the way back makes there.
    const Row rows[] = {{"nothing to copy", false, false, "2 folders; 2 files, 8 bytes,"},
                        {"a newer source file", true, false, "2 folders; 2 files, 9 bytes,"},
                        {"a new source file", false, true, "2 folders; 3 files, 9 bytes,"}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string root = qvtest::makeTempDir("sync-once");
        const std::string from = root + "/src/";
        const std::string to = root + "/dst/";
        for (const char *f : {"a/f1", "a/f2"}) {
            put(from + f, "same", 1600000000);
            put(to + f, "same", 1600000000);
        }
        put(to + "locked/x", "unknown", 1600000000);
        ASSERT_EQ(::mkfifo((to + "pipe").c_str(), 0600), 0);
        if (row.newerSource) {
            put(from + "a/f1", "newer", 1700000000);
        }
        if (row.newFile) {
            put(from + "new", "n", 1600000000);
        }
        qv::BackupServices services;
        services.directoryReader = std::make_shared<FailingReader>(std::set<std::string>{to + "locked/"});
        auto r = runBackup(makeSnapshot({from}, to, BackupTaskType::Synchronize), services);
        ASSERT_FALSE(r->host.aborted) << r->host.dump();
        const auto &lines = r->host.lines;
        auto where = [&](const std::string &part) {
            std::ptrdiff_t at = -1;
            int seen = 0;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                if (lines[i].text.find(part) != std::string::npos) {
                    at = seen++ == 0 ? static_cast<std::ptrdiff_t>(i) : at;
                }
            }
            return std::make_pair(at, seen);
        };
        const auto pipe = where(to + "pipe");
        EXPECT_EQ(pipe.second, 1) << r->host.dump();
        EXPECT_EQ(where(to + "locked").second, 1) << r->host.dump();
        EXPECT_LT(pipe.first, where("\"" + from + "locked/\"").first) << r->host.dump(); // before the way back
        if (row.newerSource || row.newFile) {
            EXPECT_GT(pipe.first, where("Copying \"" + from).first) << r->host.dump(); // after the way there
        }
        EXPECT_EQ(where(row.totals).second, 1) << r->host.dump();
    }
}

// The destination's listing, taken while the sources are read, may be older than its files: a
// file changed after it was listed is decided on what it is now. The listing stands in for a stat
// only where the file is up to date; a listing that showed a newer destination file as older must
// not let the way there overwrite it.
class StaleListing : public qv::DirectoryReader
{
public:
    StaleListing(std::string folder, std::string name, std::int64_t mtimeNs)
        : m_folder(std::move(folder)), m_name(std::move(name)), m_mtimeNs(mtimeNs)
    {
    }
    bool list(const std::string &folder, std::vector<qv::DirItem> &items, int &error) override
    {
        if (!qv::DirectoryReader::list(folder, items, error)) {
            return false;
        }
        for (qv::DirItem &item : items) {
            if (folder == m_folder && item.name == m_name) {
                item.mtimeNs = m_mtimeNs;
            }
        }
        return true;
    }

private:
    std::string m_folder, m_name;
    std::int64_t m_mtimeNs;
};

TEST_F(EngineLocalBackup, SynchronizeDecidesOnTheFileNotOnAnOlderListing)
{
    const struct {
        const char *name;
        long listedAt; // the destination file's time in the listing
    } rows[] = {{"listed older, now newer", 1600000000}, {"listed as up to date, now newer", 1650000000}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string root = qvtest::makeTempDir("sync-stale");
        const std::string from = root + "/src/";
        const std::string to = root + "/dst/";
        put(from + "a/doc", "from the source", 1650000000);
        put(to + "a/doc", "edited at the destination", 1700000000);
        put(from + "a/same", "same", 1600000000);
        put(to + "a/same", "same", 1600000000);
        qv::BackupServices services;
        services.directoryReader =
            std::make_shared<StaleListing>(to + "a/", "doc", std::int64_t{row.listedAt} * 1000000000);
        auto r = runBackup(makeSnapshot({from}, to, BackupTaskType::Synchronize), services);
        ASSERT_FALSE(r->host.aborted) << r->host.dump();
        EXPECT_EQ(qvtest::readFile(to + "a/doc"), "edited at the destination") << r->host.dump();
        EXPECT_EQ(qvtest::readFile(to + "a/same"), "same");
    }
}

// What the way there found in agreement spares the way back its stats only while the way back reads
// that same listing: after the way there wrote, every entry of the new listing is decided again
// (a destination-only file beside unchanged ones still goes back to the source).
TEST_F(EngineLocalBackup, SynchronizeWayBackAfterWritingMissesNothing)
{
    const struct {
        const char *name;
        bool newSource; // the way there writes, so the destination is listed again
    } rows[] = {{"the way there wrote", true}, {"the way there wrote nothing", false}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string root = qvtest::makeTempDir("sync-back");
        const std::string from = root + "/src/";
        const std::string to = root + "/dst/";
        if (row.newSource) {
            put(from + "a/0-new", "new", 1600000000);
        }
        for (const char *f : {"a/1", "a/3", "a/5", "a/7"}) {
            put(from + f, f, 1600000000);
            put(to + f, f, 1600000000);
        }
        for (const char *f : {"a/2", "a/4", "a/6", "a/8"}) {
            put(to + f, "only at the destination", 1600000000);
        }
        put(from + "a/9", "old", 1600000000);
        put(to + "a/9", "newer", 1700000000);
        auto r = runBackup(makeSnapshot({from}, to, BackupTaskType::Synchronize));
        ASSERT_FALSE(r->host.aborted) << r->host.dump();
        for (const char *f : {"a/2", "a/4", "a/6", "a/8"}) {
            EXPECT_EQ(qvtest::readFile(from + f), "only at the destination") << f << r->host.dump();
        }
        EXPECT_EQ(qvtest::readFile(from + "a/9"), "newer") << r->host.dump();
        if (row.newSource) {
            EXPECT_EQ(qvtest::readFile(to + "a/0-new"), "new");
        }
    }
}

TEST_F(EngineLocalBackup, SynchronizeMapsBackToTheSourceOfOrigin)
{
    put(base + "/s1/one/a", "a", 1700000000);
    put(base + "/s2/two/b", "b", 1700000000);
    auto s = makeSnapshot({base + "/s1", base + "/s2"}, dst, BackupTaskType::Synchronize);
    auto first = runBackup(s);
    ASSERT_FALSE(first->host.aborted) << first->host.dump();
    put(dst + "two/new-at-destination", "n", 1700000100);
    put(dst + "orphan", "o", 1700000100);
    auto second = runBackup(s);
    ASSERT_FALSE(second->host.aborted) << second->host.dump();
    EXPECT_TRUE(exists(base + "/s2/two/new-at-destination"));
    EXPECT_FALSE(exists(base + "/s1/two"));
    EXPECT_TRUE(exists(base + "/s1/orphan"));
}

TEST_F(EngineLocalBackup, CompareAfterCopyAndBandwidthInBytes)
{
    // A copy damaged between the copy and the compare: found only when the task compares.
    const struct {
        bool compare;
        bool damage;
        bool error;
    } table[] = {{true, false, false}, {true, true, true}, {false, true, false}};
    for (const auto &c : table) {
        SCOPED_TRACE(testing::Message() << "compare " << c.compare << ", damage " << c.damage);
        const std::string from = qvtest::makeTempDir("cmp-src") + "/", to = qvtest::makeTempDir("cmp-dst") + "/";
        put(from + "f", std::string(4000, 'q'));
        auto s = makeSnapshot({from}, to);
        s->compareAfterCopy = c.compare;
        int copied = 0;
        qv::BackupServices services;
        services.afterCopy = [&](const std::string &destination) {
            ++copied;
            if (c.damage) {
                qvtest::writeFile(destination, std::string(3999, 'q') + "x");
            }
        };
        auto r = runBackup(s, services);
        EXPECT_EQ(copied, 1);
        EXPECT_EQ(r->host.loggedContaining(qv::kLogError, "File compare of \"" + from + "f\""), c.error)
            << r->host.dump();
    }
    EXPECT_EQ(qv::RunSnapshot::bandwidthLimit(false, 5, 0), -1);
    EXPECT_EQ(qv::RunSnapshot::bandwidthLimit(true, 1, 0), 128);
    EXPECT_EQ(qv::RunSnapshot::bandwidthLimit(true, 0, 0), 128);
    EXPECT_EQ(qv::RunSnapshot::bandwidthLimit(true, -4, 1), 131072);
    EXPECT_EQ(qv::RunSnapshot::bandwidthLimit(true, 32767, 1), 32767LL * 131072);
}

TEST_F(EngineLocalBackup, ClearSourceArchiveBitAfterACopy)
{
    put(src + "a", "a");
    put(src + "b", "b");
    std::uint32_t attributes = 0;
    ASSERT_TRUE(qv::FileAttributes::read(src + "a", attributes));
    ASSERT_NE(attributes & qv::faArchive, 0u);
    int error = 0;
    if (!qv::FileAttributes::write(src + "b", attributes & ~qv::faArchive, &error)) {
        GTEST_SKIP() << "this file system keeps no user extended attributes";
    }
    ASSERT_TRUE(qv::FileAttributes::write(src + "b", attributes, &error));
    auto s = makeSnapshot({src}, dst);
    s->clearSourceArchiveBit = true;
    auto r = runBackup(s);
    ASSERT_FALSE(r->host.aborted) << r->host.dump();
    for (const char *f : {"a", "b"}) {
        ASSERT_TRUE(qv::FileAttributes::read(src + f, attributes));
        EXPECT_EQ(attributes & qv::faArchive, 0u) << f;
        ASSERT_TRUE(qv::FileAttributes::read(dst + f, attributes));
        EXPECT_NE(attributes & qv::faArchive, 0u) << f; // the copy keeps the attribute as the source had it
    }
    // A later change of the source sets it again, and a synchronisation never clears it.
    put(src + "a", "changed", 1900000000);
    ASSERT_TRUE(qv::FileAttributes::read(src + "a", attributes));
    EXPECT_NE(attributes & qv::faArchive, 0u);
    s->taskType = BackupTaskType::Synchronize;
    runBackup(s);
    ASSERT_TRUE(qv::FileAttributes::read(src + "a", attributes));
    EXPECT_NE(attributes & qv::faArchive, 0u);
}

TEST_F(EngineLocalBackup, DialAndProgramsAroundTheRun)
{
    put(src + "a", "a");
    qv::FakeDialer dialer;
    dialer.entries = {"office"};
    qv::setDialer(&dialer);
    std::vector<std::string> programs;
    qv::BackupServices services;
    services.executeProgram = [&](const std::string &cmd, bool wait, const qv::RunControl &) {
        programs.push_back(cmd + (wait ? " (wait)" : ""));
        return true;
    };
    auto s = makeSnapshot({src}, dst);
    s->dialEntry = "office";
    s->runBefore = true;
    s->runBeforeProgram = "before-cmd";
    s->runAfter = true;
    s->runAfterProgram = "after-cmd";
    s->runAfterWait = false;
    auto r = runBackup(s, services);
    EXPECT_EQ(dialer.calls(), (std::vector<std::string>{"dial:office", "hangup:office"}));
    EXPECT_EQ(programs, (std::vector<std::string>{"before-cmd (wait)", "after-cmd"}));
    EXPECT_TRUE(r->host.logged(qv::kLogInformation, "Connection established (office)."));
    EXPECT_TRUE(r->host.logged(qv::kLogWarning, "Disconnecting from office."));

    // Connected by someone else: left alone; "[none]" dials nothing.
    qv::FakeDialer other;
    other.entries = {"office"};
    other.connectByOthers("office");
    qv::setDialer(&other);
    auto r2 = runBackup(s, services);
    EXPECT_EQ(other.calls(), std::vector<std::string>{});
    EXPECT_TRUE(r2->host.logged(qv::kLogWarning, "Already connected to RAS (office). Skipping."));
    EXPECT_TRUE(r2->host.logged(qv::kLogWarning, "Connection established not by Quorvellant application. "
                                                 "Disconnection skipped (office)."));
    s->dialEntry = "[none]";
    auto r3 = runBackup(s, services);
    EXPECT_EQ(other.calls(), std::vector<std::string>{});
    qv::setDialer(nullptr);
    // A failed dial is logged and the run goes on.
    s->dialEntry = "nowhere";
    auto r4 = runBackup(s, services);
    EXPECT_TRUE(r4->host.logged(qv::kLogError, "Can't connect to nowhere."));
    EXPECT_FALSE(r4->host.aborted);
}

TEST_F(EngineLocalBackup, ProgramsThatCannotRunAreLogged)
{
    // The real runner: a line without shell syntax runs directly, another through the shell.
    put(src + "a", "a");
    const std::string marks = qvtest::makeTempDir("marks");
    struct Case {
        std::string program;
        bool wait;
        bool logged;
    };
    const Case cases[] = {
        {"qv-no-such-program --flag", true, true},
        {"qv-no-such-program --flag", false, true},
        {"qv-no-such-program > '" + marks + "/redirected'", true, true}, // the shell's "not found"
        {"echo a > '" + marks + "/x y'", true, false},
        {"touch " + marks + "/plain", true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.program);
        auto s = makeSnapshot({src}, dst);
        s->runBefore = true;
        s->runBeforeProgram = c.program;
        s->runBeforeWait = c.wait;
        auto r = runBackup(s);
        EXPECT_EQ(r->host.logged(qv::kLogWarning, "Unable to execute external program " + c.program + "."),
                  c.logged)
            << r->host.dump();
        EXPECT_FALSE(r->host.aborted);
    }
    EXPECT_EQ(qvtest::readFile(marks + "/x y"), "a\n");
    EXPECT_TRUE(std::filesystem::exists(marks + "/plain"));
}

TEST_F(EngineLocalBackup, FilterTestWritesTheReport)
{
    put(src + "a.txt", "12");
    put(src + "sub/b.tmp", "x");
    put(src + "sub/c.txt", "345");
    auto s = makeSnapshot({src}, dst);
    s->filters = std::make_shared<SuffixFilter>(std::vector<std::string>{".tmp"}, false);
    const std::string report = base + "/report.txt";
    RecordingHost host;
    qv::TTestBackup test(s, &host, report, qv::BackupServices{});
    test.runInPlace();
    EXPECT_EQ(host.reports, std::vector<std::string>{report});
    EXPECT_EQ(qvtest::readFile(report), src + "a.txt - " + dst + "a.txt\n" + src + "sub/ - " + dst + "sub/\n" + src +
                                             "sub/c.txt - " + dst + "sub/c.txt\n" +
                                             "Total summary: 1 folders; 2 files; 5 bytes.\n");
    EXPECT_FALSE(exists(dst));
}

} // namespace

// An alert's mail is sent by the run after the answer; a failed mail is an error of the run,
// which goes on; the end alert's mail goes to the host to be sent later.
TEST_F(EngineLocalBackup, AlertMailsAreSentByTheRunAndAFailureIsOneErrorEach)
{
    put(src + "a", "1");
    put(src + "b", "2");
    auto r = std::make_unique<::Run>();
    int sent = 0;
    r->host.mail = [&sent] {
        ++sent;
        return std::string("Alert email can't be sent (refused).");
    };
    r->backup = std::make_unique<qv::TLocalBackup>(makeSnapshot({src}, dst), &r->host, qv::BackupServices{});
    r->backup->runInPlace();
    EXPECT_FALSE(r->host.aborted) << r->host.dump();
    EXPECT_EQ(qvtest::readFile(dst + "b"), "2");
    ASSERT_EQ(r->host.alerts.size(), 4u) << r->host.dump(); // the folder, two files, the end
    EXPECT_EQ(r->host.alerts.back().kind, qv::akFinish);
    // One send per alert: three during the run, sent by the run after each answer, and the
    // Finish alert's through the host's sendLater (whose default sends at once, logging a failure).
    EXPECT_EQ(sent, 4);
    EXPECT_EQ(r->host.count(qv::kLogError), 4) << r->host.dump();
    EXPECT_TRUE(r->host.logged(qv::kLogError, "Alert email can't be sent (refused)."));
    EXPECT_TRUE(r->host.logged(qv::kLogFinished, "Backup finished."));
}
