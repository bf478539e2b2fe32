// TFoldersMonitor: the filter of the ticked kinds, rebuilding the watches, failures that never stop
// a task from loading, the wait, and no call after the watches are gone.
#include "core/monitor/FoldersMonitor.h"

#include "platform/WatchTestSupport.h"
#include "platform/fake/FolderWatcherFake.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cerrno>
#include <climits>
#include <filesystem>

namespace fs = std::filesystem;
using namespace watchtest;
using qv::TFoldersMonitor;

namespace {

class TaskFolderWatches : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qv::setFolderWatcher(&fake);
        base = qvtest::makeTempDir("task");
        fs::create_directories(base + "/src1");
        fs::create_directories(base + "/src2");
        monitor.OnFolderChanged = [this] { ++started; };
        monitor.OnWarning = [this](const std::string &t) { warnings.push_back(t); };
    }
    void TearDown() override
    {
        monitor.Clear();
        qv::setFolderWatcher(nullptr);
    }

    qv::FolderWatcherFake fake;
    TFoldersMonitor monitor;
    std::string base;
    int started = 0;
    std::vector<std::string> warnings;
};

TEST_F(TaskFolderWatches, FilterOfTheTickedKinds)
{
    const struct
    {
        bool TFoldersMonitor::*flag;
        int value;
    } cases[] = {
        {&TFoldersMonitor::MonitorFileName, 1},   {&TFoldersMonitor::MonitorFolderName, 2},
        {&TFoldersMonitor::MonitorAttributes, 4}, {&TFoldersMonitor::MonitorSize, 8},
        {&TFoldersMonitor::MonitorLastWrite, 16}, {&TFoldersMonitor::MonitorSecurity, 128},
    };
    int all = 0;
    for (const auto &c : cases) {
        TFoldersMonitor m;
        m.*c.flag = true;
        EXPECT_EQ(m.GetFilter(), c.value);
        monitor.*c.flag = true;
        all |= c.value;
    }
    EXPECT_EQ(monitor.GetFilter(), all);
    EXPECT_EQ(TFoldersMonitor().GetFilter(), 0);
}

TEST_F(TaskFolderWatches, NoKindTickedMeansNoWatches)
{
    EXPECT_TRUE(monitor.Rebuild({{base + "/src1", true}, {base + "/src2", false}}).empty());
    EXPECT_TRUE(monitor.Monitors.empty());
    EXPECT_EQ(fake.addCalls(), 0);
}

TEST_F(TaskFolderWatches, RebuildWatchesExistingFoldersOnceEach)
{
    monitor.MonitorFileName = true;
    monitor.MonitorLastWrite = true;
    monitor.WaitSeconds = 7;
    const std::vector<qv::WatchedFolder> folders = {
        {base + "/src1/", true}, {base + "/missing", true}, {base + "/src2", false}};
    qv::TFolderChangeMonitor::SetFolderReturnInterval(50);
    EXPECT_TRUE(monitor.Rebuild(folders).empty());
    ASSERT_EQ(monitor.Monitors.size(), 3u);
    EXPECT_TRUE(monitor.Monitors[1]->AwaitingFolder()) << "the missing folder is waited for";
    auto watches = fake.watches();
    ASSERT_EQ(watches.size(), 2u);
    EXPECT_EQ(watches[0].folder, base + "/src1");
    EXPECT_TRUE(watches[0].subtree);
    EXPECT_EQ(watches[1].folder, base + "/src2");
    EXPECT_FALSE(watches[1].subtree);
    EXPECT_EQ(watches[0].kinds, 1 | 16);
    EXPECT_EQ(monitor.Monitors[0]->DelayTime(), 7000);
    EXPECT_EQ(monitor.Monitors[0]->FolderName(), base + "/src1");

    // A folder made after the rebuild is watched once it is there, without another rebuild.
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(base + "/missing"), std::string::npos) << warnings[0];
    fs::create_directory(base + "/missing");
    EXPECT_TRUE(waitUntil([&] { return fake.watches().size() == 3u; }));
    EXPECT_EQ(fake.watches()[2].folder, base + "/missing");
    monitor.Rebuild(folders);
    EXPECT_EQ(fake.watches().size(), 3u) << "the old watches were all let go";
    qv::TFolderChangeMonitor::SetFolderReturnInterval(2000);
}

TEST_F(TaskFolderWatches, AFailedWatchIsLoggedOnceAndTheOthersWork)
{
    monitor.MonitorFileName = true;
    monitor.WaitSeconds = 0;
    const struct
    {
        int error;
        const char *system;
    } cases[] = {{EACCES, "Permission denied"}, {ENOSPC, "limit of folder watches"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        warnings.clear();
        fake.failFolder(base + "/src1", c.error);
        const std::vector<qv::WatchedFolder> folders = {{base + "/src1", true}, {base + "/src2", true}};
        std::vector<std::string> errors;
        ASSERT_NO_THROW(errors = monitor.Rebuild(folders));
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].rfind("System Error.  Code: " + std::to_string(c.error) + ".\n", 0), 0u);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(base + "/src1"), std::string::npos);
        EXPECT_NE(warnings[0].find(c.system), std::string::npos);
        ASSERT_EQ(monitor.Monitors.size(), 1u);

        // The same failure again is not logged twice.
        monitor.Rebuild(folders);
        EXPECT_EQ(warnings.size(), 1u);

        started = 0;
        fake.change(base + "/src2");
        EXPECT_TRUE(waitUntil([&] { return started == 1; }));
    }
}

TEST_F(TaskFolderWatches, WatchProblemsAreLoggedOnce)
{
    monitor.MonitorSize = true;
    monitor.Rebuild({{base + "/src1", true}});
    fake.problem(base + "/src1", "limit reached");
    fake.problem(base + "/src1", "limit reached");
    settle(50);
    EXPECT_EQ(warnings, std::vector<std::string>{"limit reached"});
}

TEST_F(TaskFolderWatches, AChangeStartsTheTaskAfterTheWait)
{
    monitor.MonitorFileName = true;
    monitor.WaitSeconds = 1;
    monitor.Rebuild({{base + "/src1", true}, {base + "/src2", true}});
    QElapsedTimer t;
    t.start();
    fake.change(base + "/src1");
    fake.change(base + "/src2");
    ASSERT_TRUE(waitUntil([&] { return started > 0; }, 4000));
    EXPECT_GE(t.elapsed(), 950);
    // Each watch has its own wait; two folders changed, so two starts (the run refuses the second).
    EXPECT_TRUE(waitUntil([&] { return started == 2; }, 2000));
    settle(300);
    EXPECT_EQ(started, 2);
}

TEST_F(TaskFolderWatches, NothingArrivesAfterClearOrDestruction)
{
    monitor.MonitorFileName = true;
    monitor.Rebuild({{base + "/src1", true}});
    fake.change(base + "/src1");
    monitor.Clear();
    EXPECT_TRUE(fake.watches().empty());

    int calls = 0;
    {
        TFoldersMonitor doomed;
        doomed.MonitorFileName = true;
        doomed.OnFolderChanged = [&calls] { ++calls; };
        doomed.Rebuild({{base + "/src2", true}});
        fake.change(base + "/src2");
    }
    EXPECT_TRUE(fake.watches().empty());
    settle(100);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(calls, 0);
}

TEST(TaskFolderWatchDelay, StoredWaitIsKeptWithinATimersRange)
{
    const struct
    {
        std::int32_t seconds;
        int ms;
    } cases[] = {{0, 0}, {30, 30000}, {32767, 32767000}, {-5, 0}, {INT_MAX, (INT_MAX / 1000) * 1000}};
    for (const auto &c : cases) {
        TFoldersMonitor m;
        m.WaitSeconds = c.seconds;
        EXPECT_EQ(m.GetDelayMilliseconds(), c.ms) << c.seconds;
    }
}

} // namespace

namespace {

TEST_F(TaskFolderWatches, AFailedStartIsLoggedAndWatchingGoesOn)
{
    monitor.MonitorFileName = true;
    monitor.Rebuild({{base + "/src1", true}});
    monitor.OnFolderChanged = [this] {
        if (++started == 1) {
            throw std::runtime_error("no thread");
        }
    };
    fake.change(base + "/src1");
    ASSERT_TRUE(waitUntil([&] { return started == 1; }));
    settle(20);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("no thread"), std::string::npos);
    fake.change(base + "/src1");
    EXPECT_TRUE(waitUntil([&] { return started == 2; }));
}

TEST_F(TaskFolderWatches, AStartMayRebuildTheWatches)
{
    monitor.MonitorFileName = true;
    const std::vector<qv::WatchedFolder> folders = {{base + "/src1", true}};
    monitor.Rebuild(folders);
    monitor.OnFolderChanged = [&] {
        ++started;
        monitor.Rebuild(folders); // frees the watch whose change is being delivered
    };
    fake.change(base + "/src1");
    ASSERT_TRUE(waitUntil([&] { return started == 1; }));
    EXPECT_EQ(fake.watches().size(), 1u);
    fake.change(base + "/src1");
    EXPECT_TRUE(waitUntil([&] { return started == 2; }));
}

} // namespace
