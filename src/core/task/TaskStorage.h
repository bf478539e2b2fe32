// Tasks in the settings store: the key paths and one task's values.
//
// Layout below the program key: "\Groups" holds one empty string value per group, in the user's
// order; "\Tasks\<ID>" holds one task with its subkeys ("\Compress", "\Filters\1", ...). Every value
// has a rule for when it is missing, which a load applies value by value, so a damaged or partial
// key never stops a load. Lists of items are numbered subkeys "1", "2", ... rewritten whole on every
// save and read back in numeric order. The groups and the whole task list: core/runs/TaskListStorage.h.
#pragma once

#include "core/task/FolderMonitorSettings.h"
#include "core/task/TaskDefinition.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Full key paths (below HKEY_CURRENT_USER).
std::string groupsKeyPath();
std::string tasksKeyPath();
std::string taskKeyPath(const std::string &id);
// The scratch keys of the dialogs' undo copies: "EditTask", "EditFilter", "EditSchedule".
std::string tempKeyPath(const std::string &name);
// Keeps a dialog's undo copy under the scratch key `name`, written by `save` to the key path it is
// given. A store that cannot take it (damaged, full) never keeps the dialog from opening, and a
// damaged store is not written to: false, with the reason in the program's log, when the copy was
// not kept.
bool saveEditCopy(const std::string &name, const std::function<void(const std::string &key)> &save);

// Writes a task under `key` (a full key path below HKEY_CURRENT_USER): its definition and the
// settings of its folder monitor, as one transaction.
void saveTaskDefinition(const TaskDefinition &task, const TFolderMonitorSettings &monitor, const std::string &key);
// Reads them back; false (TaskType left as it was) when the stored type is missing or unknown.
bool loadTaskDefinition(TaskDefinition &task, TFolderMonitorSettings &monitor, const std::string &key);

// Whether two key names name the same key (the store compares them ignoring ASCII case).
bool equalKeyNames(std::string_view a, std::string_view b);

// Numbered item subkeys in numeric order ("1", "2", ..., "10"); names that are not numbers follow
// in the order given.
std::vector<std::string> numericKeyOrder(std::vector<std::string> names);

} // namespace qv
