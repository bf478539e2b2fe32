// Groups and tasks in the settings store.
//
// Layout below the program key: "\Groups" holds one empty string value per group, in the user's
// order; "\Tasks\<ID>" holds one task with its subkeys ("\Compress", "\Filters\1", ...). Every value
// has a rule for when it is missing, which a load applies value by value, so a damaged or partial
// key never stops a load. Lists of items are numbered subkeys "1", "2", ... rewritten whole on every
// save and read back in numeric order.
//
// A stored task whose type is missing or unknown is not loaded: it is reported, and its key is kept
// by later saves (TaskStoreState::skippedKeys), so nothing the user stored is lost.
#pragma once

#include "core/task/Task.h"

#include <string>
#include <vector>

namespace qv {

// Full key paths (below HKEY_CURRENT_USER).
std::string groupsKeyPath();
std::string tasksKeyPath();
std::string taskKeyPath(const std::string &id);
// The scratch keys of the dialogs' undo copies: "EditTask", "EditFilter", "EditSchedule".
std::string tempKeyPath(const std::string &name);

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

// Numbered item subkeys in numeric order ("1", "2", ..., "10"); names that are not numbers follow
// in the order given.
std::vector<std::string> numericKeyOrder(std::vector<std::string> names);

} // namespace qv
