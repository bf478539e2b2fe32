// Folder changes that start a task, end to end on real folders: the task's watches and wait, its
// automatic start (refused while it runs, a warning while the scheduler is disabled), a real backup
// run and the task's log. What a deleted task hears is tested once, with a queued change, in
// TaskFolderWatchTest.
// qv-test-run: serial
#include "RunsTestSupport.h"

#include "platform/WatchTestSupport.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using namespace runstest;

class TaskFolderWatchRun : public RunsFixture
{
protected:
    void SetUp() override
    {
        RunsFixture::SetUp();
        base = qvtest::makeTempDir("watchrun");
        src = base + "/src";
        dest = base + "/dest";
        fs::create_directories(src);
        fs::create_directories(dest);
    }

    std::unique_ptr<qv::TTask> watchingTask(qv::TTaskType type, int waitSeconds)
    {
        auto task = makeTask("watched", src, dest);
        task->TaskType = type;
        task->FoldersMonitor->MonitorFileName = true;
        task->FoldersMonitor->MonitorLastWrite = true;
        task->FoldersMonitor->WaitSeconds = waitSeconds;
        EXPECT_TRUE(task->UpdateFoldersMonitor().empty());
        return task;
    }

    std::string base;
    std::string src;
    std::string dest;
};

TEST_F(TaskFolderWatchRun, TwentyFilesCopiedInGiveOneRunAfterTheWait)
{
    const std::string staging = qvtest::makeTempDir("staging");
    for (int i = 0; i < 20; ++i) {
        qvtest::writeFile(staging + "/f" + std::to_string(i) + ".dat", std::string(1000 + i, char('A' + i)));
    }
    auto task = watchingTask(qv::ttSimpleCopy, 2);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 20; ++i) {
        const std::string name = "/f" + std::to_string(i) + ".dat";
        fs::copy_file(staging + name, src + name);
    }
    ASSERT_TRUE(waitFor([&] { return countKind(*task, qv::kLogStarted) > 0; }, 30000));
    const qint64 started = clock.elapsed();
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
    watchtest::settle(2500); // no second run follows
    EXPECT_EQ(countKind(*task, qv::kLogStarted), 1) << joined(events(*task));
    EXPECT_EQ(countKind(*task, qv::kLogFinished), 1) << joined(events(*task));
    EXPECT_GE(started, 1900); // not before the wait (a machine under load only makes it later)
    EXPECT_EQ(task->StartMode, qv::kStartAutomatic);
    EXPECT_EQ(alerter.count(qv::akStart), 1);
    for (int i = 0; i < 20; ++i) {
        const std::string name = "/f" + std::to_string(i) + ".dat";
        EXPECT_EQ(qvtest::readFile(dest + name), qvtest::readFile(staging + name)) << name;
    }
}

TEST_F(TaskFolderWatchRun, ASynchroniseTaskCarriesADestinationFileIntoTheSource)
{
    qvtest::writeFile(src + "/already.txt", "in the source before");
    auto task = watchingTask(qv::ttSynchronize, 1);
    ASSERT_EQ(task->FoldersMonitor->Monitors.size(), 2u);
    qvtest::writeFile(dest + "/made-at-destination.txt", "written on the other side");
    ASSERT_TRUE(waitFor([&] { return countKind(*task, qv::kLogFinished) > 0 && !task->Running; }, 15000))
        << joined(events(*task));
    EXPECT_EQ(qvtest::readFile(src + "/made-at-destination.txt"), "written on the other side");
}

TEST_F(TaskFolderWatchRun, WithTheSchedulerDisabledAChangeIsLoggedAndSkipped)
{
    qv::DisableScheduler = true;
    auto task = watchingTask(qv::ttSimpleCopy, 0);
    task->LastRun = 0;
    qvtest::writeFile(src + "/new.txt", "x");
    ASSERT_TRUE(waitFor([&] { return countKind(*task, qv::kLogWarning) > 0; }, 10000));
    watchtest::settle(300);
    const auto lines = events(*task);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("Task start time skipped because of disabled scheduler!"), std::string::npos)
        << joined(lines);
    EXPECT_EQ(countKind(*task, qv::kLogStarted), 0);
    EXPECT_GT(task->LastRun, 0);
    EXPECT_FALSE(fs::exists(dest + "/new.txt"));
}

TEST_F(TaskFolderWatchRun, AChangeDuringARunStartsNothingAndTheNextOneDoes)
{
    auto task = watchingTask(qv::ttSimpleCopy, 1);
    qv::Suspend = true; // the run waits at its gate, so it surely runs while the next change comes
    qvtest::writeFile(src + "/first.txt", "1");
    ASSERT_TRUE(waitFor([&] { return task->Running; }, 10000));
    qvtest::writeFile(src + "/during.txt", "2");
    watchtest::settle(2000); // the wait of the second change passes while the run is held
    EXPECT_EQ(countKind(*task, qv::kLogStarted), 1);
    EXPECT_EQ(alerter.count(qv::akStart), 1);
    qv::Suspend = false;
    task->ApplyGlobalSuspend();
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));

    qvtest::writeFile(src + "/after.txt", "3");
    ASSERT_TRUE(waitFor([&] { return countKind(*task, qv::kLogFinished) == 2 && !task->Running; }, 15000))
        << joined(events(*task));
    EXPECT_EQ(countKind(*task, qv::kLogStarted), 2);
    EXPECT_EQ(qvtest::readFile(dest + "/after.txt"), "3");
}

// The source folder deleted and made again: the task's log says once that it is not watched, and
// changes in it start runs again: a file written into it at once, and one written later.
TEST_F(TaskFolderWatchRun, ASourceFolderMadeAgainStartsTheTaskAgain)
{
    qv::TFolderChangeMonitor::SetFolderReturnInterval(100);
    auto task = watchingTask(qv::ttSimpleCopy, 0);
    qvtest::writeFile(src + "/before.txt", "0");
    ASSERT_TRUE(waitFor([&] { return countKind(*task, qv::kLogFinished) == 1 && !task->Running; }, 15000))
        << joined(events(*task));
    fs::remove_all(src);
    ASSERT_TRUE(waitFor([&] { return countKind(*task, qv::kLogWarning) > 0 && !task->Running; }, 15000))
        << joined(events(*task));
    fs::create_directory(src);
    qvtest::writeFile(src + "/at-once.txt", "1"); // before the folder is watched again
    ASSERT_TRUE(waitFor([&] { return fs::exists(dest + "/at-once.txt") && !task->Running; }, 15000))
        << joined(events(*task));
    qvtest::writeFile(src + "/after.txt", "3");
    EXPECT_TRUE(waitFor([&] { return fs::exists(dest + "/after.txt") && !task->Running; }, 15000))
        << joined(events(*task));
    const std::string log = joined(events(*task));
    EXPECT_EQ(log.find("was deleted or moved away"), log.rfind("was deleted or moved away")) << log;
    EXPECT_NE(log.find("was deleted or moved away"), std::string::npos) << log;
    qv::TFolderChangeMonitor::SetFolderReturnInterval(2000);
}

// A source folder that does not exist when the watches are built (a drive not yet mounted, a
// folder made later): the task's log says once that it is not watched, and once the folder is
// made, changes in it start runs: a file written into it at once, and one written later.
TEST_F(TaskFolderWatchRun, ASourceFolderMissingAtLoadIsWatchedOnceMade)
{
    qv::TFolderChangeMonitor::SetFolderReturnInterval(100);
    fs::remove_all(src);
    auto task = watchingTask(qv::ttSimpleCopy, 0);
    EXPECT_EQ(countKind(*task, qv::kLogWarning), 1) << joined(events(*task));
    EXPECT_NE(joined(events(*task)).find("\"" + src + "\""), std::string::npos) << joined(events(*task));
    watchtest::settle(300);
    fs::create_directory(src);
    qvtest::writeFile(src + "/at-once.txt", "1");
    ASSERT_TRUE(waitFor([&] { return fs::exists(dest + "/at-once.txt") && !task->Running; }, 15000))
        << joined(events(*task));
    qvtest::writeFile(src + "/after.txt", "2");
    EXPECT_TRUE(waitFor([&] { return fs::exists(dest + "/after.txt") && !task->Running; }, 15000))
        << joined(events(*task));
    EXPECT_EQ(countKind(*task, qv::kLogWarning), 1) << joined(events(*task));
    qv::TFolderChangeMonitor::SetFolderReturnInterval(2000);
}

} // namespace
