// A task's folder watches: which folders a task watches, failures that leave every task working,
// deletion, and a burst of copies into a real source giving one start after the wait.
#include "core/runs/Task.h"
#include "core/runs/TaskListStorage.h"
#include "platform/RegistryStore.h"

#include "platform/WatchTestSupport.h"
#include "platform/fake/FolderWatcherFake.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cerrno>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using namespace watchtest;
using qv::TTask;

namespace {

struct FolderSet
{
    std::string base;
    std::string src1;
    std::string src2;
    std::string dest;
    FolderSet()
        : base(qvtest::makeTempDir("taskwatch")), src1(base + "/src1"), src2(base + "/src2"),
          dest(base + "/dest")
    {
        fs::create_directories(src1);
        fs::create_directories(src2);
        fs::create_directories(dest);
    }
};

std::unique_ptr<TTask> makeTask(const std::string &source, const std::string &dest, qv::TTaskType type)
{
    auto task = std::make_unique<TTask>();
    task->Source = source;
    task->DestLocal = dest;
    task->TaskType = type;
    task->FoldersMonitor->MonitorFileName = true;
    task->FoldersMonitor->WaitSeconds = 0;
    return task;
}

std::vector<std::string> warningsOf(const TTask &task)
{
    std::vector<std::string> out;
    for (const auto &e : task.Logger->Events()) {
        if (e.Kind == qv::kLogWarning) {
            out.push_back(e.Text);
        }
    }
    return out;
}

class TaskFolderWatchBuild : public ::testing::Test
{
protected:
    void SetUp() override { qv::setFolderWatcher(&fake); }
    void TearDown() override { qv::setFolderWatcher(nullptr); }

    struct Seen
    {
        std::string folder;
        bool subtree;
    };
    std::vector<Seen> watched() const
    {
        std::vector<Seen> out;
        for (const auto &w : fake.watches()) {
            out.push_back({w.folder, w.subtree});
        }
        return out;
    }

    qv::FolderWatcherFake fake;
    FolderSet f;
};

TEST_F(TaskFolderWatchBuild, SourcesAndTheDestinationOfASynchroniseTask)
{
    const struct
    {
        qv::TTaskType type;
        bool destinationWatched;
    } cases[] = {
        {qv::ttSimpleCopy, false}, {qv::ttExactCopy, false}, {qv::ttMove, false}, {qv::ttSynchronize, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        auto task = makeTask("!>" + f.src1 + ",|" + f.src2, f.dest, c.type);
        task->SourceIncludeSubfolders = false;
        EXPECT_TRUE(task->UpdateFoldersMonitor().empty());
        const auto seen = watched();
        ASSERT_EQ(seen.size(), c.destinationWatched ? 3u : 2u);
        EXPECT_EQ(seen[0].folder, f.src1);
        EXPECT_TRUE(seen[0].subtree);
        EXPECT_EQ(seen[1].folder, f.src2);
        EXPECT_FALSE(seen[1].subtree);
        if (c.destinationWatched) {
            EXPECT_EQ(seen[2].folder, f.dest);
            EXPECT_FALSE(seen[2].subtree) << "the destination follows SourceIncludeSubfolders";
        }
        // Rebuilding replaces the watches; it never adds a second one per folder.
        task->UpdateFoldersMonitor();
        EXPECT_EQ(watched().size(), seen.size());
    }
    EXPECT_TRUE(fake.watches().empty()) << "freed tasks keep no watch";
}

TEST_F(TaskFolderWatchBuild, NoKindTickedOrMissingFolderMeansNoWatch)
{
    auto none = makeTask(f.src1, f.dest, qv::ttSynchronize);
    none->FoldersMonitor->MonitorFileName = false;
    none->UpdateFoldersMonitor();
    EXPECT_TRUE(fake.watches().empty());

    // A missing folder has no watch until it is made; then it is watched without a rebuild.
    qv::TFolderChangeMonitor::SetFolderReturnInterval(50);
    const std::string later = f.base + "/made-later";
    auto task = makeTask(later, f.dest, qv::ttSimpleCopy);
    task->UpdateFoldersMonitor();
    EXPECT_TRUE(fake.watches().empty());
    fs::create_directory(later);
    EXPECT_TRUE(waitUntil([&] { return watched().size() == 1u; }));
    task->UpdateFoldersMonitor();
    ASSERT_EQ(watched().size(), 1u);
    EXPECT_EQ(watched()[0].folder, later);
    qv::TFolderChangeMonitor::SetFolderReturnInterval(2000);
}

TEST_F(TaskFolderWatchBuild, AFailedWatchLeavesEveryTaskWorking)
{
    const struct
    {
        int error;
        const char *text;
    } cases[] = {{EACCES, "Permission denied"}, {ENOSPC, "limit of folder watches"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        fake.failFolder(f.src1, c.error);
        qv::TTasksList tasks;
        tasks.Add(makeTask(f.src1, f.dest, qv::ttSimpleCopy));
        tasks.Add(makeTask("!>" + f.src1 + ",>" + f.src2, f.dest, qv::ttSimpleCopy));
        tasks.Add(makeTask(f.src2, f.dest, qv::ttSynchronize));
        std::vector<std::vector<std::string>> errors;
        for (const auto &task : tasks) {
            ASSERT_NO_THROW(errors.push_back(task->UpdateFoldersMonitor()));
        }
        ASSERT_EQ(tasks.Count(), 3);
        EXPECT_EQ(errors[0].size(), 1u);
        EXPECT_EQ(errors[1].size(), 1u);
        EXPECT_TRUE(errors[2].empty());
        EXPECT_EQ(errors[0][0].rfind("System Error.  Code: " + std::to_string(c.error) + ".\n", 0), 0u);
        EXPECT_EQ(tasks[0]->FoldersMonitor->Monitors.size(), 0u);
        EXPECT_EQ(tasks[1]->FoldersMonitor->Monitors.size(), 1u);
        EXPECT_EQ(tasks[2]->FoldersMonitor->Monitors.size(), 2u);
        for (int i : {0, 1}) {
            const auto w = warningsOf(*tasks[i]);
            ASSERT_EQ(w.size(), 1u);
            EXPECT_NE(w[0].find(f.src1), std::string::npos) << w[0];
            EXPECT_NE(w[0].find(c.text), std::string::npos) << w[0];
        }
        EXPECT_TRUE(warningsOf(*tasks[2]).empty());
        fake.failFolder(f.src1, 0);
    }
}

TEST_F(TaskFolderWatchBuild, AFailedWatchNeverStopsTasksFromLoading)
{
    qv::RegistryStore::setStorePath(qvtest::makeTempDir("store") + "/registry.db");
    {
        qv::TTasksList tasks;
        tasks.Add(makeTask(f.src1, f.dest, qv::ttSimpleCopy))->Name = "one";
        tasks.Add(makeTask("!>" + f.src1 + ",|" + f.src2, f.dest, qv::ttSimpleCopy))->Name = "two";
        auto sync = makeTask(f.src2, f.dest, qv::ttSynchronize);
        sync->FoldersMonitor->WaitSeconds = 12;
        tasks.Add(std::move(sync))->Name = "three";
        qv::saveGroupsAndTasks({}, tasks, {});
    }
    EXPECT_TRUE(fake.watches().empty());
    for (int error : {EACCES, ENOSPC}) {
        SCOPED_TRACE(error);
        fake.failFolder(f.src1, error);
        std::vector<std::string> groups;
        qv::TTasksList loaded;
        qv::TaskStoreState state;
        ASSERT_NO_THROW(state = qv::loadGroupsAndTasks(groups, loaded));
        ASSERT_EQ(loaded.Count(), 3);
        EXPECT_TRUE(state.skippedKeys.empty());
        std::map<std::string, const TTask *> byName;
        for (const auto &t : loaded) {
            byName[t->Name] = t.get();
        }
        EXPECT_EQ(byName.at("one")->FoldersMonitor->Monitors.size(), 0u);
        EXPECT_EQ(byName.at("two")->FoldersMonitor->Monitors.size(), 1u);
        ASSERT_EQ(byName.at("three")->FoldersMonitor->Monitors.size(), 2u);
        EXPECT_EQ(byName.at("three")->FoldersMonitor->Monitors[0]->DelayTime(), 12000);
        EXPECT_EQ(warningsOf(*byName.at("one")).size(), 1u);
        EXPECT_EQ(warningsOf(*byName.at("two")).size(), 1u);
        EXPECT_TRUE(warningsOf(*byName.at("three")).empty());
    }
    qv::RegistryStore::setStorePath({});
}

TEST_F(TaskFolderWatchBuild, LimitsOfAWatchGoToTheTasksLog)
{
    fake.warnFolder(f.src1, "on a network file system");
    auto task = makeTask(f.src1, f.dest, qv::ttSimpleCopy);
    task->UpdateFoldersMonitor();
    fake.problem(f.src1, "some subfolders cannot be read");
    settle(50);
    const auto w = warningsOf(*task);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_NE(w[0].find("on a network file system"), std::string::npos);
    EXPECT_NE(w[1].find("some subfolders cannot be read"), std::string::npos);
}

TEST_F(TaskFolderWatchBuild, ADeletedTaskHearsNothingMore)
{
    int starts = 0;
    qv::TTasksList tasks;
    TTask *task = tasks.Add(makeTask(f.src1, f.dest, qv::ttSimpleCopy));
    task->FoldersMonitor->OnFolderChanged = [&starts] { ++starts; };
    task->UpdateFoldersMonitor();
    fake.change(f.src1);
    settle(50);
    EXPECT_EQ(starts, 1);
    fake.change(f.src1); // queued, then the task goes
    tasks.Delete(0);
    EXPECT_TRUE(fake.watches().empty());
    settle(100);
    EXPECT_EQ(starts, 1);
}

} // namespace
