// The task's settings draft: copy out, assign back, and what stays with the task.
#include "core/runs/Task.h"
#include "core/task/TaskSettings.h"
#include "core/task/TaskStorage.h"

#include "TaskStoreFixture.h"
#include "core/TaskFillSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using namespace qv;

class TaskSettingsDraft : public TaskStore
{
protected:
    // Every stored value of the task, without those that are not settings.
    static std::map<std::string, RegValue> storedSettings(const TTask &task)
    {
        const std::string key = taskKeyPath(task.ID);
        task.SaveToRegistry(key);
        std::map<std::string, RegValue> values = dump(key);
        for (const char *identity : {"|ID", "\\ExtendedData|Created", "\\ExtendedData|LastRun"}) {
            EXPECT_EQ(values.erase(identity), 1u) << identity;
        }
        return values;
    }
};

TEST_F(TaskSettingsDraft, AssignedDraftStoresEveryValueOfTheSource)
{
    TTask source;
    qvtest::fillNonDefault(source);
    TTask target;
    const std::string targetId = target.ID;
    const TDateTime created = target.Created;
    const TDateTime lastRun = target.LastRun;

    target.assignSettings(source.settings());

    EXPECT_EQ(storedSettings(target), storedSettings(source));
    EXPECT_EQ(target.ID, targetId);
    EXPECT_EQ(target.Created, created);
    EXPECT_EQ(target.LastRun, lastRun);
    EXPECT_NE(storedSettings(target), storedSettings(TTask())) << "the filled task must differ from a new one";
}

TEST_F(TaskSettingsDraft, DraftIsIndependentOfTheTask)
{
    TTask task;
    qvtest::fillNonDefault(task);
    const auto before = storedSettings(task);

    TaskSettings draft = task.settings();
    draft.Filters.Clear();
    draft.Schedules.Clear();
    draft.EventAlerts.ManualErrorEmail = "changed@example.org";
    draft.DestLocal = "/elsewhere";
    draft.FolderMonitor.WaitSeconds = 1;
    draft.Name = "changed";

    EXPECT_EQ(storedSettings(task), before);
    EXPECT_FALSE(draft == task.settings());
}

TEST_F(TaskSettingsDraft, AssignKeepsRunStateAndTheMonitorObject)
{
    TTask task;
    task.Editing = true;
    task.ValidationFailed = true;
    task.StartMode = kStartByHand;
    TFoldersMonitor *monitor = task.FoldersMonitor.get();
    TTask other;
    qvtest::fillNonDefault(other);

    task.assignSettings(other.settings());

    EXPECT_TRUE(task.Editing);
    EXPECT_TRUE(task.ValidationFailed);
    EXPECT_EQ(task.StartMode, kStartByHand);
    ASSERT_EQ(task.FoldersMonitor.get(), monitor);
    EXPECT_EQ(monitor->Task, &task);
    EXPECT_TRUE(static_cast<bool>(monitor->OnFolderChanged));
    EXPECT_EQ(monitor->WaitSeconds, other.FoldersMonitor->WaitSeconds);
    EXPECT_TRUE(task.settings() == other.settings());
}

} // namespace
