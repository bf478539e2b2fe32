// The groups and the task list in the settings store.
//
// A stored task whose type is missing or unknown is not loaded: it is reported, and its key is kept
// by later saves (TaskStoreState::skippedKeys), so nothing the user stored is lost.
#pragma once

#include "core/runs/Task.h"
#include "core/task/TaskStorage.h"

#include <string>
#include <vector>

namespace qv {

// What a load found beside the tasks it loaded.
struct TaskStoreState
{
    // Keys below "\Tasks" that hold a task that could not be loaded; saves keep them.
    std::vector<std::string> skippedKeys;
    // One line per problem, for the user (already in the interface language).
    std::vector<std::string> messages;
};

// Replaces `groups` and `tasks` by what is stored. Never throws for a bad stored value.
TaskStoreState loadGroupsAndTasks(std::vector<std::string> &groups, TTasksList &tasks);

// Writes the groups (in order) and every task, removes the keys of tasks no longer in the list
// (except `state.skippedKeys`) and the groups no longer named, as one transaction: raises
// RegistryError when the save could not be made durable, and the store then keeps its old state.
void saveGroupsAndTasks(const std::vector<std::string> &groups, const TTasksList &tasks,
                        const TaskStoreState &state);

} // namespace qv
