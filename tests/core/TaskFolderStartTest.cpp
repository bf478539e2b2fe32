// A task started by changes in its folders: one run per burst after the wait, the synchronising
// task's destination watched too, and the disabled scheduler's skip.
// qv-test-labels: slow
// qv-test-run: serial
// qv-test-timeout: 120
#include "core/BackupData.h"
#include "core/FoldersMonitor.h"
#include "core/Settings.h"
#include "core/Task.h"

#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename F> bool waitUntil(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        pump(20);
    }
    return done();
}

int count(const qv::TTask &task, const std::string &text)
{
    int n = 0;
    for (const auto &e : task.Logger->Events()) {
        n += e.Text.find(text) != std::string::npos ? 1 : 0;
    }
    return n;
}

struct FolderStartFixture : ::testing::Test {
    void SetUp() override
    {
        qv::ResetSettingsToDefaults();
        src = qvtest::makeTempDir("watched-src");
        dst = qvtest::makeTempDir("watched-dst");
        qv::BackupData = &data;
        task = data.Tasks.Add(std::make_unique<qv::TTask>());
        task->Name = "Watched";
        task->Source = src;
        task->DestLocal = dst;
        qv::TTaskFilterItem all;
        all.FilterType = qv::fitInclude;
        all.fnWildcard = "*.*";
        task->Filters.Add(all);
        task->FoldersMonitor->MonitorFileName = true;
        task->FoldersMonitor->MonitorLastWrite = true;
        task->FoldersMonitor->WaitSeconds = 2;
    }
    void TearDown() override
    {
        waitUntil([&] { return !task->Running; }, 20000);
        qv::BackupData = nullptr;
    }
    qv::TBackupData data;
    qv::TTask *task = nullptr;
    std::string src, dst;
};

TEST_F(FolderStartFixture, TwentyFilesGiveOneRunAfterTheWait)
{
    ASSERT_TRUE(task->UpdateFoldersMonitor().empty());
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 20; ++i) {
        qvtest::writeFile(src + "/f" + std::to_string(i) + ".txt", "data " + std::to_string(i));
    }
    ASSERT_TRUE(waitUntil([&] { return count(*task, "Backup started.") >= 1; }, 15000));
    EXPECT_GE(t.elapsed(), 1900);
    ASSERT_TRUE(waitUntil([&] { return !task->Running && count(*task, "Backup finished.") == 1; }, 20000));
    pump(2500); // the run's own writes are in the destination, which is not watched
    EXPECT_EQ(count(*task, "Backup started."), 1);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(qvtest::readFile(dst + "/f" + std::to_string(i) + ".txt"), "data " + std::to_string(i));
    }
}

TEST_F(FolderStartFixture, SynchronisingTaskCopiesAFileMadeInItsDestination)
{
    task->TaskType = qv::ttSynchronize;
    qvtest::writeFile(src + "/keep.txt", "keep"); // a source with nothing in it aborts the run
    ASSERT_TRUE(task->UpdateFoldersMonitor().empty());
    qvtest::writeFile(dst + "/from-destination.txt", "back");
    ASSERT_TRUE(waitUntil([&] { return count(*task, "Backup finished.") >= 1; }, 20000)) << [&] {
        std::string all;
        for (const auto &e : task->Logger->Events()) {
            all += e.Text + "\n";
        }
        return all + "watched: " + std::to_string(task->FoldersMonitor->Monitors.size());
    }();
    EXPECT_EQ(qvtest::readFile(src + "/from-destination.txt"), "back");
    EXPECT_EQ(qvtest::readFile(dst + "/keep.txt"), "keep");
}

TEST_F(FolderStartFixture, DisabledSchedulerSkipsAndCopiesNothing)
{
    qv::DisableScheduler = true;
    ASSERT_TRUE(task->UpdateFoldersMonitor().empty());
    qvtest::writeFile(src + "/a.txt", "a");
    ASSERT_TRUE(waitUntil([&] { return count(*task, "disabled scheduler") >= 1; }, 15000));
    EXPECT_EQ(count(*task, "Backup started."), 0);
    EXPECT_FALSE(fs::exists(dst + "/a.txt"));
    qv::DisableScheduler = false;
}

} // namespace
