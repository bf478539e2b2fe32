// Groups and the task list in the store: order, removal, bad tasks, IDs.
#include "core/runs/TaskListStorage.h"

#include "TaskStoreFixture.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using namespace qv;

class TaskStoreList : public TaskStore
{
};

TEST_F(TaskStoreList, GroupsAndTasksSaveAsAWhole)
{
    std::vector<std::string> groups = {"Work", "Photos", "Archive"};
    TTasksList tasks;
    for (const char *name : {"one", "two", "three"}) {
        auto t = std::make_unique<TTask>();
        t->Name = name;
        tasks.Add(std::move(t));
    }
    const std::string goneId = tasks[1]->ID;
    saveGroupsAndTasks(groups, tasks, {});

    std::vector<std::string> loadedGroups;
    TTasksList loaded;
    TaskStoreState state = loadGroupsAndTasks(loadedGroups, loaded);
    EXPECT_TRUE(state.messages.empty());
    EXPECT_EQ(loadedGroups, groups);
    EXPECT_EQ(loaded.Count(), 3);

    // Reordered groups keep their order; a removed task and group are gone from the store.
    groups = {"Archive", "Work"};
    tasks.Delete(1);
    saveGroupsAndTasks(groups, tasks, state);
    loadGroupsAndTasks(loadedGroups, loaded);
    EXPECT_EQ(loadedGroups, groups);
    EXPECT_EQ(loaded.Count(), 2);
    EXPECT_FALSE(loaded.TaskIDExists(goneId));
    EXPECT_EQ(subKeys(tasksKeyPath()).size(), 2u);
}

TEST_F(TaskStoreList, ABadTaskAmongGoodOnesIsReportedAndKept)
{
    TTasksList tasks;
    for (const char *name : {"good one", "good two"}) {
        auto t = std::make_unique<TTask>();
        t->Name = name;
        tasks.Add(std::move(t));
    }
    saveGroupsAndTasks({}, tasks, {});
    writeString(taskKeyPath("BROKEN"), "Name", "from a newer version");
    writeString(taskKeyPath("BROKEN"), "TaskType", "ttCloudSync");
    writeString(taskKeyPath("BROKEN") + "\\Source", "Source", "/precious");

    std::vector<std::string> groups;
    TTasksList loaded;
    TaskStoreState state = loadGroupsAndTasks(groups, loaded);
    EXPECT_EQ(loaded.Count(), 2);
    ASSERT_EQ(state.skippedKeys, std::vector<std::string>{"BROKEN"});
    ASSERT_EQ(state.messages.size(), 1u);
    EXPECT_NE(state.messages[0].find("BROKEN"), std::string::npos);

    saveGroupsAndTasks(groups, loaded, state);
    const auto kept = dump(taskKeyPath("BROKEN"));
    EXPECT_EQ(kept.at("|TaskType").data, "ttCloudSync");
    EXPECT_EQ(kept.at("\\Source|Source").data, "/precious");
}

TEST_F(TaskStoreList, EmptyAndDuplicateIdsGetKeyNamesOrNewIds)
{
    TTask a;
    a.Name = "a";
    a.ID = "AAAA";
    a.SaveToRegistry(taskKeyPath("AAAA"));
    TTask copy; // a copy of a under another key, still holding a's ID
    copy.Name = "copy";
    copy.ID = "AAAA";
    copy.SaveToRegistry(taskKeyPath("COPYKEY"));
    TTask empty;
    empty.Name = "empty";
    empty.ID = "";
    empty.SaveToRegistry(taskKeyPath("EMPTYKEY"));
    TTask slash;
    slash.Name = "slash";
    slash.ID = "a\\b";
    slash.SaveToRegistry(taskKeyPath("SLASHKEY"));
    TTask pointsAtOther; // its ID names another stored key: using it would overwrite that key
    pointsAtOther.Name = "points";
    pointsAtOther.ID = "emptykey";
    pointsAtOther.SaveToRegistry(taskKeyPath("POINTS"));

    std::vector<std::string> groups;
    TTasksList loaded;
    const TaskStoreState state = loadGroupsAndTasks(groups, loaded);
    ASSERT_EQ(loaded.Count(), 5);
    std::map<std::string, std::string> idOf;
    std::set<std::string> folded;
    for (const auto &t : loaded) {
        idOf[t->Name] = t->ID;
        folded.insert(regFoldName(t->ID));
    }
    EXPECT_EQ(folded.size(), 5u);
    EXPECT_EQ(idOf["a"], "AAAA");
    EXPECT_EQ(idOf["copy"], "COPYKEY");
    EXPECT_EQ(idOf["empty"], "EMPTYKEY");
    EXPECT_EQ(idOf["slash"], "SLASHKEY");
    EXPECT_EQ(idOf["points"], "POINTS");

    saveGroupsAndTasks(groups, loaded, state);
    TTasksList again;
    loadGroupsAndTasks(groups, again);
    ASSERT_EQ(again.Count(), 5);
    for (const auto &t : again) {
        EXPECT_EQ(idOf[t->Name], t->ID);
    }

    // A generated ID never collides with a task in the list.
    TTask fresh;
    fresh.ID = "AAAA";
    fresh.GenerateID(&again);
    EXPECT_FALSE(again.TaskIDInUse(fresh.ID));
}

} // namespace
