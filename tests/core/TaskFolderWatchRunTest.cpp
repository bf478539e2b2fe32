// Folder changes that run a task, end to end on real folders: the task's watches, its wait, a real
// backup run of the task's snapshot, and the task's log. The start itself is done by a small host
// that does what an automatic start does with a running task: it refuses a second start.
#include "core/BackupHost.h"
#include "core/LocalBackup.h"
#include "core/RunQueue.h"
#include "core/RunSnapshotOfTask.h"
#include "core/Task.h"

#include "platform/WatchTestSupport.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <filesystem>

namespace fs = std::filesystem;
using namespace watchtest;

namespace {

// Starts the task on every folder change unless it runs; logs to the task's logger.
class ChangeStartedRuns : public qv::BackupHost
{
public:
    explicit ChangeStartedRuns(qv::TTask &task) : m_task(task)
    {
        m_task.FoldersMonitor->OnFolderChanged = [this] { start(); };
        m_clock.start();
    }
    ~ChangeStartedRuns() override
    {
        m_task.FoldersMonitor->OnFolderChanged = nullptr;
        // A run reports to this host until it ends.
        waitUntil([this] { return !m_task.Running; }, 30000);
    }

    void log(int kind, const std::string &text) override { m_task.Logger->Add(kind, text); }
    int alert(int, const std::string &, const std::string &) override { return 0; }
    void finished(bool aborted) override
    {
        m_task.Running = false;
        ++ended;
        lastAborted = aborted;
    }

    void start()
    {
        if (m_task.Running) {
            ++refused;
            return;
        }
        m_task.Running = true;
        startedAt.push_back(m_clock.elapsed());
        m_task.Logger->Add(qv::kLogStarted, "Backup started.");
        qv::RunQueue::instance().submit(new qv::TLocalBackup(qv::makeRunSnapshot(m_task), this), false, true);
    }

    void restartClock() { m_clock.restart(); }
    int startedLines() const
    {
        int n = 0;
        for (const auto &e : m_task.Logger->Events()) {
            n += e.Kind == qv::kLogStarted && e.Text == "Backup started." ? 1 : 0;
        }
        return n;
    }

    std::vector<qint64> startedAt;
    int ended = 0;
    int refused = 0;
    bool lastAborted = false;

private:
    qv::TTask &m_task;
    QElapsedTimer m_clock;
};

std::unique_ptr<qv::TTask> watchingTask(const std::string &src, const std::string &dest, qv::TTaskType type,
                                        int waitSeconds)
{
    auto task = std::make_unique<qv::TTask>();
    task->Name = "watched";
    task->Source = src;
    task->DestLocal = dest;
    task->TaskType = type;
    task->FoldersMonitor->MonitorFileName = true;
    task->FoldersMonitor->MonitorLastWrite = true;
    task->FoldersMonitor->WaitSeconds = waitSeconds;
    qv::TTaskFilterItem all;
    all.FilterType = qv::fitInclude;
    all.fnWildcard = "*.*";
    task->Filters.Add(all);
    return task;
}

TEST(TaskFolderWatchRun, TwentyFilesCopiedInGiveOneRunTwoSecondsLater)
{
    const std::string base = qvtest::makeTempDir("e2e");
    const std::string src = base + "/src";
    const std::string dest = base + "/dest";
    const std::string staging = base + "/staging";
    fs::create_directories(src);
    fs::create_directories(dest);
    fs::create_directories(staging);
    for (int i = 0; i < 20; ++i) {
        writeBytes(staging + "/f" + std::to_string(i) + ".dat", std::string(1000 + i, char('A' + i)));
    }
    auto task = watchingTask(src, dest, qv::ttSimpleCopy, 2);
    ChangeStartedRuns runs(*task);
    ASSERT_TRUE(task->UpdateFoldersMonitor().empty());

    runs.restartClock();
    for (int i = 0; i < 20; ++i) {
        const std::string name = "/f" + std::to_string(i) + ".dat";
        fs::copy_file(staging + name, src + name);
    }
    ASSERT_TRUE(waitUntil([&] { return runs.ended == 1; }, 15000));
    settle(2500); // no second run follows
    EXPECT_EQ(runs.startedLines(), 1);
    ASSERT_EQ(runs.startedAt.size(), 1u);
    EXPECT_GE(runs.startedAt[0], 1900);
    EXPECT_LE(runs.startedAt[0], 3500);
    EXPECT_FALSE(runs.lastAborted);
    for (int i = 0; i < 20; ++i) {
        const std::string name = "/f" + std::to_string(i) + ".dat";
        EXPECT_EQ(qvtest::readFile(dest + name), qvtest::readFile(staging + name)) << name;
    }
}

TEST(TaskFolderWatchRun, ASynchroniseTaskCarriesADestinationFileIntoTheSource)
{
    const std::string base = qvtest::makeTempDir("e2e-sync");
    const std::string src = base + "/src";
    const std::string dest = base + "/dest";
    fs::create_directories(src);
    fs::create_directories(dest);
    writeBytes(src + "/already.txt", "a run with nothing in the source ends at once");
    auto task = watchingTask(src, dest, qv::ttSynchronize, 1);
    ChangeStartedRuns runs(*task);
    ASSERT_TRUE(task->UpdateFoldersMonitor().empty());
    ASSERT_EQ(task->FoldersMonitor->Monitors.size(), 2u);

    writeBytes(dest + "/made-at-destination.txt", "written on the other side");
    ASSERT_TRUE(waitUntil([&] { return runs.ended >= 1; }, 15000));
    std::string log;
    for (const auto &e : task->Logger->Events()) {
        log += std::to_string(e.Kind) + " " + e.Text + "\n";
    }
    EXPECT_EQ(qvtest::readFile(src + "/made-at-destination.txt"), "written on the other side") << log;
}

TEST(TaskFolderWatchRun, AChangeDuringARunStartsNothingAndTheNextOneDoes)
{
    const std::string base = qvtest::makeTempDir("e2e-busy");
    const std::string src = base + "/src";
    const std::string dest = base + "/dest";
    fs::create_directories(src);
    fs::create_directories(dest);
    auto task = watchingTask(src, dest, qv::ttSimpleCopy, 1);
    // 24 KBit/s: the 9 KB file takes about three seconds to copy.
    task->Bandwidth.UseDefault = false;
    task->Bandwidth.Use = true;
    task->Bandwidth.Value = 24;
    task->Bandwidth.MeasureKind = qv::bmkKBits;
    ChangeStartedRuns runs(*task);
    ASSERT_TRUE(task->UpdateFoldersMonitor().empty());

    writeBytes(src + "/slow.bin", std::string(9000, 's'));
    ASSERT_TRUE(waitUntil([&] { return task->Running; }, 5000));
    writeBytes(src + "/during.txt", "while the run copies");
    ASSERT_TRUE(waitUntil([&] { return runs.ended == 1; }, 20000));
    EXPECT_GE(runs.refused, 1) << "the change during the run was refused";
    EXPECT_EQ(runs.startedLines(), 1);

    writeBytes(src + "/after.txt", "after the run");
    ASSERT_TRUE(waitUntil([&] { return runs.ended == 2; }, 20000));
    EXPECT_EQ(runs.startedLines(), 2);
    EXPECT_EQ(qvtest::readFile(dest + "/after.txt"), "after the run");
}

} // namespace
