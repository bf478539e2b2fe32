// TFolderChangeMonitor: bursts and delays, property rules, restarts and their roll-back, loading,
// and destruction while changes are in flight; on real folders and through the fake watcher.
// qv-test-run: serial
#include "core/monitor/FolderChangeMonitor.h"
#include "platform/LastOSError.h"

#include "platform/WatchTestSupport.h"
#include "platform/fake/FolderWatcherFake.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cerrno>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace watchtest;
using qv::TFolderChangeMonitor;

namespace {

struct Changes
{
    int count = 0;
    std::vector<qint64> at; // ms since `clock` started
    QElapsedTimer clock;
    Changes() { clock.start(); }
    void bind(TFolderChangeMonitor &m)
    {
        m.OnChange = [this](TFolderChangeMonitor *) {
            ++count;
            at.push_back(clock.elapsed());
        };
    }
};

TEST(FolderMonitorFilters, SetsAndNotifyFlags)
{
    EXPECT_EQ(qv::kDefaultFileChangeFilters,
              qv::fileChangeFilters({qv::fnFileName, qv::fnDirName, qv::fnSize, qv::fnLastWrite}));
    const struct
    {
        qv::TFileChangeFilters set;
        std::uint32_t flags;
    } cases[] = {
        {qv::fileChangeFilters({qv::fnFileName}), 0x1},
        {qv::fileChangeFilters({qv::fnDirName}), 0x2},
        {qv::fileChangeFilters({qv::fnAttributes}), 0x4},
        {qv::fileChangeFilters({qv::fnSize}), 0x8},
        {qv::fileChangeFilters({qv::fnLastWrite}), 0x10},
        {qv::fileChangeFilters({qv::fnLastAccess}), 0x20},
        {qv::fileChangeFilters({qv::fnCreation}), 0x40},
        {qv::fileChangeFilters({qv::fnSecurity}), 0x100},
        {qv::kDefaultFileChangeFilters, 0x1b},
        {0xFF, 0x17f},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::notifyFlagsOf(c.set), c.flags) << int(c.set);
    }
}

// --- on real folders, through the program's watcher --------------------------------------------

TEST(FolderMonitorBursts, TenWritesInASecondGiveOneChangeTwoSecondsAfterTheFirst)
{
    const std::string dir = qvtest::makeTempDir("burst");
    Changes changes;
    TFolderChangeMonitor monitor;
    monitor.SetFolderName(dir);
    monitor.SetDelayTime(2000);
    changes.bind(monitor);
    monitor.SetActive(true);
    ASSERT_TRUE(monitor.Active());

    qint64 lastWrite = 0;
    for (int i = 0; i < 10; ++i) {
        if (i == 0) {
            changes.clock.restart();
        }
        lastWrite = changes.clock.elapsed();
        writeBytes(dir + "/f" + std::to_string(i) + ".txt", "data");
        settle(95);
    }
    if (lastWrite > 1500) {
        GTEST_SKIP() << "the machine took " << lastWrite << " ms for ten writes meant to take one second";
    }
    ASSERT_TRUE(waitUntil([&] { return changes.count > 0; }, 8000));
    // Counted from the first write (about 2 s), not from the last (2 s after the last write, which
    // came about 0.9 s after the first).
    EXPECT_GE(changes.at[0], 1900);
    EXPECT_LT(changes.at[0], lastWrite + 1900);
    settle(1500);
    EXPECT_EQ(changes.count, 1);

    // A change after the burst starts a new delay.
    writeBytes(dir + "/later.txt", "x");
    EXPECT_TRUE(waitUntil([&] { return changes.count == 2; }, 6000));
}

TEST(FolderMonitorBursts, DelayZeroWhilePendingDropsTheChange)
{
    const std::string dir = qvtest::makeTempDir("drop");
    Changes changes;
    TFolderChangeMonitor monitor;
    // File names only: creating the file is one event, so no later batch of the same write can
    // arrive after the delay was set to 0.
    monitor.SetFilter(qv::fileChangeFilters({qv::fnFileName}));
    monitor.SetFolderName(dir);
    monitor.SetDelayTime(800);
    changes.bind(monitor);
    monitor.SetActive(true);
    writeBytes(dir + "/a.txt", "x");
    ASSERT_TRUE(waitUntil([&] { return monitor.DelayPending(); }));
    monitor.SetDelayTime(0);
    EXPECT_FALSE(monitor.DelayPending());
    settle(1500);
    EXPECT_EQ(changes.count, 0);
    // Without a delay every change is raised at once.
    writeBytes(dir + "/b.txt", "x");
    EXPECT_TRUE(waitUntil([&] { return changes.count > 0; }));
}

TEST(FolderMonitorBursts, ANewDelayRestartsThePendingCount)
{
    const std::string dir = qvtest::makeTempDir("restart");
    Changes changes;
    TFolderChangeMonitor monitor;
    monitor.SetFolderName(dir);
    monitor.SetDelayTime(5000);
    changes.bind(monitor);
    monitor.SetActive(true);
    writeBytes(dir + "/a.txt", "x");
    ASSERT_TRUE(waitUntil([&] { return monitor.DelayPending(); }));
    changes.clock.restart();
    monitor.SetDelayTime(300);
    EXPECT_EQ(monitor.DelayTime(), 300);
    ASSERT_TRUE(waitUntil([&] { return changes.count > 0; }, 3000));
    EXPECT_GE(changes.at[0], 250);
}

TEST(FolderMonitorKinds, SubfoldersAndFolderNamesOnly)
{
    for (bool subtree : {true, false}) {
        SCOPED_TRACE(subtree ? "subtree" : "folder only");
        const std::string dir = qvtest::makeTempDir("kinds");
        Changes names;
        Changes writes;
        TFolderChangeMonitor folderNames;
        folderNames.SetFilter(qv::fileChangeFilters({qv::fnDirName}));
        folderNames.SetFolderName(dir);
        folderNames.SetMonitorSubtree(subtree);
        names.bind(folderNames);
        folderNames.SetActive(true);
        TFolderChangeMonitor lastWrite;
        lastWrite.SetFilter(qv::fileChangeFilters({qv::fnLastWrite}));
        lastWrite.SetFolderName(dir);
        lastWrite.SetMonitorSubtree(subtree);
        writes.bind(lastWrite);
        lastWrite.SetActive(true);

        // "Folder names only" hears of a new folder, not of a file write.
        fs::create_directory(dir + "/made-later");
        ASSERT_TRUE(waitUntil([&] { return names.count > 0; }));
        settle(300); // the new folder's watch is added on the watcher thread
        names.count = 0;
        writeBytes(dir + "/made-later/file.txt", "x");
        writeBytes(dir + "/top.txt", "x");
        ASSERT_TRUE(waitUntil([&] { return writes.count > 0; }));
        settle(300);
        EXPECT_EQ(names.count, 0);
        // Only a watched subtree sees the write inside the folder made after activation.
        writes.count = 0;
        writeBytes(dir + "/made-later/file.txt", "again");
        if (subtree) {
            EXPECT_TRUE(waitUntil([&] { return writes.count > 0; }));
        } else {
            settle(400);
            EXPECT_EQ(writes.count, 0);
        }
    }
}

TEST(FolderMonitorLifecycle, DestroyingAnActiveMonitorStopsEveryCall)
{
    const std::string dir = qvtest::makeTempDir("destroy");
    auto calls = std::make_shared<int>(0);
    // A monitor of the same folder that lives on: each change did happen and was delivered.
    auto controlCalls = std::make_shared<int>(0);
    TFolderChangeMonitor control;
    control.SetFolderName(dir);
    control.SetDelayTime(0);
    control.OnChange = [controlCalls](TFolderChangeMonitor *) { ++*controlCalls; };
    control.SetActive(true);
    for (int delay : {0, 300}) {
        const int controlBefore = *controlCalls;
        auto monitor = std::make_unique<TFolderChangeMonitor>();
        monitor->SetFolderName(dir);
        monitor->SetDelayTime(delay);
        monitor->OnChange = [calls](TFolderChangeMonitor *) { ++*calls; };
        monitor->SetActive(true);
        writeBytes(dir + "/x" + std::to_string(delay), "x");
        if (delay > 0) {
            ASSERT_TRUE(waitUntil([&] { return monitor->DelayPending(); }));
        } else {
            QThread::msleep(150); // the change is read and queued, not yet delivered
        }
        monitor.reset();
        ASSERT_TRUE(waitUntil([&] { return *controlCalls > controlBefore; }));
        settle(600);
    }
    EXPECT_EQ(*calls, 0);
}

// Every monitor goes through the one program-wide watcher (its many-watch limits are the
// platform watcher's own tests).
TEST(FolderMonitorLifecycle, MonitorsShareTheProgramsWatcher)
{
    auto countInotify = [] {
        int n = 0;
        for (const auto &e : fs::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            if (fs::read_symlink(e.path(), ec).string() == "anon_inode:inotify") {
                ++n;
            }
        }
        return n;
    };
    const std::string dir = qvtest::makeTempDir("shared");
    std::vector<std::unique_ptr<TFolderChangeMonitor>> monitors;
    int changed = 0;
    for (int i = 0; i < 3; ++i) {
        const std::string folder = dir + "/" + std::to_string(i);
        fs::create_directory(folder);
        auto m = std::make_unique<TFolderChangeMonitor>();
        m->SetFolderName(folder);
        m->OnChange = [&changed](TFolderChangeMonitor *) { ++changed; };
        m->SetActive(true);
        ASSERT_TRUE(m->Active());
        monitors.push_back(std::move(m));
    }
    // The program's watcher may have been made by an earlier test; either way there is one.
    EXPECT_EQ(countInotify(), 1);
    for (int i = 0; i < 3; ++i) {
        writeBytes(dir + "/" + std::to_string(i) + "/f", "x");
    }
    EXPECT_TRUE(waitUntil([&] { return changed >= 3; }));
}

// The watched folder deleted and made again, or moved away and back: changes in it are seen again
// once it is back (its return counts as one change), and its going is said once.
TEST(FolderMonitorLifecycle, AFolderThatComesBackIsWatchedAgain)
{
    TFolderChangeMonitor::SetFolderReturnInterval(100);
    const struct
    {
        const char *what;
        const char *away;
        const char *back;
    } cases[] = {{"deleted and made again", "rm -rf '%1'", "mkdir '%1'"},
                 {"moved away and back", "mv '%1' '%1.away'", "mv '%1.away' '%1'"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = qvtest::makeTempDir("comesback") + "/watched";
        fs::create_directory(dir);
        auto shell = [&dir](std::string command) {
            for (std::size_t at; (at = command.find("%1")) != std::string::npos;) {
                command.replace(at, 2, dir);
            }
            qvtest::runShell(command);
        };
        Changes changes;
        std::vector<std::string> warnings;
        TFolderChangeMonitor monitor;
        monitor.SetFolderName(dir);
        monitor.SetDelayTime(0);
        changes.bind(monitor);
        monitor.OnWarning = [&](TFolderChangeMonitor *, const std::string &text) { warnings.push_back(text); };
        monitor.SetActive(true);
        writeBytes(dir + "/before", "x");
        ASSERT_TRUE(waitUntil([&] { return changes.count >= 1; })) << "a change before it went";
        shell(c.away);
        ASSERT_TRUE(waitUntil([&] { return !warnings.empty(); }, 10000)) << "its going is said";
        EXPECT_NE(warnings[0].find(dir), std::string::npos) << warnings[0];
        EXPECT_TRUE(monitor.Active());
        shell(c.back);
        settle(500);
        const int afterReturn = changes.count;
        writeBytes(dir + "/after", "x");
        EXPECT_TRUE(waitUntil([&] { return changes.count > afterReturn; }, 10000))
            << "a change after it is back";
        EXPECT_EQ(warnings.size(), 1u);
    }
    TFolderChangeMonitor::SetFolderReturnInterval(2000);
}

// --- property rules, through the fake watcher ---------------------------------------------------

class FolderMonitorRules : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qv::setFolderWatcher(&fake);
        dir = qvtest::makeTempDir("rules");
    }
    void TearDown() override { qv::setFolderWatcher(nullptr); }

    qv::FolderWatcherFake fake;
    std::string dir;
};

TEST_F(FolderMonitorRules, MissingFolderStaysInactiveWithoutError)
{
    TFolderChangeMonitor m;
    m.SetFolderName(dir + "/missing");
    EXPECT_NO_THROW(m.SetActive(true));
    EXPECT_FALSE(m.Active());
    EXPECT_EQ(fake.addCalls(), 0);

    m.SetFolderName(dir);
    EXPECT_FALSE(m.Active()) << "an inactive monitor stays inactive";
    m.SetActive(true);
    EXPECT_TRUE(m.Active());
    m.SetFolderName(dir + "/missing");
    EXPECT_FALSE(m.Active());
    EXPECT_TRUE(fake.watches().empty());
    m.SetFolderName(dir);
    EXPECT_FALSE(m.Active());
}

TEST_F(FolderMonitorRules, SettersRestartOnlyOnRealChanges)
{
    TFolderChangeMonitor m;
    m.SetFolderName(dir);
    m.SetActive(true);
    m.SetActive(true);
    EXPECT_EQ(fake.addCalls(), 1);
    m.SetFilter(qv::kDefaultFileChangeFilters);
    m.SetMonitorSubtree(true);
    m.SetFolderName(dir);
    EXPECT_EQ(fake.addCalls(), 1);

    m.SetFilter(qv::fileChangeFilters({qv::fnSecurity}));
    m.SetMonitorSubtree(false);
    EXPECT_EQ(fake.addCalls(), 3);
    ASSERT_EQ(fake.watches().size(), 1u);
    EXPECT_EQ(fake.watches()[0].kinds, qv::fileChangeFilters({qv::fnSecurity}));
    EXPECT_FALSE(fake.watches()[0].subtree);
    EXPECT_EQ(fake.watches()[0].folder, dir);

    m.SetActive(false);
    EXPECT_TRUE(fake.watches().empty());
    m.SetFilter(qv::kDefaultFileChangeFilters);
    EXPECT_FALSE(m.Active());
    EXPECT_EQ(fake.addCalls(), 3);
}

TEST_F(FolderMonitorRules, FailedStartRaisesTheSystemErrorText)
{
    const struct
    {
        int error;
        const char *text;
    } cases[] = {{EACCES, "Permission denied"}, {ENOSPC, "limit of folder watches"}};
    for (const auto &c : cases) {
        TFolderChangeMonitor m;
        m.SetFolderName(dir);
        fake.failNext(1, c.error);
        try {
            m.SetActive(true);
            ADD_FAILURE() << "no error for " << c.error;
        } catch (const qv::ELastOSError &e) {
            EXPECT_EQ(e.ErrorCode(), c.error);
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("System Error.  Code: " + std::to_string(c.error) + ".\n", 0), 0u) << what;
            EXPECT_NE(what.find(c.text), std::string::npos) << what;
        }
        EXPECT_FALSE(m.Active());
    }
}

TEST_F(FolderMonitorRules, FilterRollsBackWhenTheRestartFails)
{
    TFolderChangeMonitor m;
    m.SetFolderName(dir);
    m.SetActive(true);
    const auto newFilter = qv::fileChangeFilters({qv::fnAttributes});

    fake.failNext(1, EACCES); // the new filter fails, the old one starts again
    EXPECT_THROW(m.SetFilter(newFilter), qv::ELastOSError);
    EXPECT_EQ(m.Filter(), qv::kDefaultFileChangeFilters);
    EXPECT_TRUE(m.Active());
    ASSERT_EQ(fake.watches().size(), 1u);
    EXPECT_EQ(fake.watches()[0].kinds, qv::kDefaultFileChangeFilters);

    fake.failNext(2, ENOSPC); // both fail: the first error is the one raised
    try {
        m.SetFilter(newFilter);
        ADD_FAILURE() << "no error";
    } catch (const qv::ELastOSError &e) {
        EXPECT_EQ(e.ErrorCode(), ENOSPC);
    }
    EXPECT_EQ(m.Filter(), qv::kDefaultFileChangeFilters);
    EXPECT_FALSE(m.Active());
}

TEST_F(FolderMonitorRules, LoadingAppliesActiveLast)
{
    TFolderChangeMonitor m;
    m.BeginLoading();
    m.SetActive(true);
    EXPECT_FALSE(m.Active());
    m.SetFolderName(dir);
    m.SetMonitorSubtree(false);
    EXPECT_EQ(fake.addCalls(), 0);
    m.Loaded();
    EXPECT_TRUE(m.Active());
    ASSERT_EQ(fake.watches().size(), 1u);
    EXPECT_FALSE(fake.watches()[0].subtree);
}

TEST_F(FolderMonitorRules, ChangesOfAnEarlierStartNeverArrive)
{
    Changes changes;
    std::vector<std::string> warnings;
    TFolderChangeMonitor m;
    m.SetFolderName(dir);
    changes.bind(m);
    m.OnWarning = [&](TFolderChangeMonitor *, const std::string &t) { warnings.push_back(t); };
    m.SetActive(true);
    fake.change(dir);
    fake.problem(dir, "limit");
    m.SetMonitorSubtree(false); // restarts before the queued calls run
    settle(50);
    EXPECT_EQ(changes.count, 0);
    EXPECT_TRUE(warnings.empty());
    fake.change(dir);
    fake.problem(dir, "limit");
    settle(50);
    EXPECT_EQ(changes.count, 1);
    EXPECT_EQ(warnings, std::vector<std::string>{"limit"});
}

TEST_F(FolderMonitorRules, NetworkWarningReachesOnWarningAtStart)
{
    fake.warnFolder(dir, "remote changes are not seen");
    std::vector<std::string> warnings;
    TFolderChangeMonitor m;
    m.SetFolderName(dir);
    m.OnWarning = [&](TFolderChangeMonitor *, const std::string &t) { warnings.push_back(t); };
    m.SetActive(true);
    EXPECT_EQ(warnings, std::vector<std::string>{"remote changes are not seen"});
}

} // namespace

namespace {

TEST_F(FolderMonitorRules, AHandlerMayFreeItsOwnMonitor)
{
    for (int delay : {0, 30}) {
        SCOPED_TRACE(delay);
        auto monitor = std::make_unique<TFolderChangeMonitor>();
        monitor->SetFolderName(dir);
        monitor->SetDelayTime(delay);
        int calls = 0;
        monitor->OnChange = [&](TFolderChangeMonitor *) {
            ++calls;
            monitor.reset();
        };
        monitor->SetActive(true);
        fake.change(dir);
        fake.change(dir);
        ASSERT_TRUE(waitUntil([&] { return monitor == nullptr; }));
        settle(100);
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(fake.watches().empty());
    }
}

} // namespace
