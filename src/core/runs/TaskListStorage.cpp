// The groups and the task list in the settings store: load and save as a whole.
#include "core/runs/TaskListStorage.h"

#include "core/settings/SafeRegistry.h"
#include "core/text/Language.h"
#include "core/text/TextFormat.h"

#include <algorithm>

namespace qv {

TaskStoreState loadGroupsAndTasks(std::vector<std::string> &groups, TTasksList &tasks)
{
    TaskStoreState state;
    TSafeRegistry reg;
    groups.clear();
    if (reg.OpenKeyReadOnly(groupsKeyPath())) {
        groups = reg.GetValueNames();
    }
    tasks.Clear();
    std::vector<std::string> keys;
    if (reg.OpenKeyReadOnly(tasksKeyPath())) {
        keys = reg.GetKeyNames();
    }
    for (const std::string &keyName : keys) {
        auto task = std::make_unique<TTask>();
        if (!task->LoadFromRegistry(taskKeyPath(keyName))) {
            state.skippedKeys.push_back(keyName);
            state.messages.push_back(formatLangString("The task stored under \"%s\" (\"%s\") has an unknown "
                                                      "type and was not loaded; it is kept as stored.",
                                                      "strTaskLoadUnknownType", {keyName, task->Name}));
            continue;
        }
        // The stored ID names the task unless it is empty, holds a "\", is taken by a task loaded
        // before, or names another stored key (whose contents a save would then overwrite).
        auto taken = [&](const std::string &id) {
            if (tasks.TaskIDInUse(id)) {
                return true;
            }
            return std::any_of(keys.begin(), keys.end(), [&](const std::string &k) {
                return !equalKeyNames(k, keyName) && equalKeyNames(k, id);
            });
        };
        if (task->ID.empty() || task->ID.find('\\') != std::string::npos || taken(task->ID)) {
            if (!taken(keyName)) {
                task->ID = keyName;
            } else {
                task->GenerateID(&tasks);
            }
        }
        tasks.Add(std::move(task));
    }
    return state;
}

void saveGroupsAndTasks(const std::vector<std::string> &groups, const TTasksList &tasks,
                        const TaskStoreState &state)
{
    RegistryTransaction tx;
    TSafeRegistry reg;
    if (reg.OpenKey(groupsKeyPath(), true)) {
        for (const std::string &name : reg.GetValueNames()) {
            reg.DeleteValue(name);
        }
        for (const std::string &name : groups) {
            reg.WriteString(name, std::string());
        }
    }
    if (reg.OpenKey(tasksKeyPath(), true)) {
        for (const std::string &name : reg.GetKeyNames()) {
            const bool kept = std::any_of(state.skippedKeys.begin(), state.skippedKeys.end(),
                                          [&](const std::string &k) { return equalKeyNames(k, name); });
            if (!kept && !tasks.TaskIDInUse(name)) {
                reg.DeleteKey(name);
            }
        }
    }
    for (const auto &task : tasks) {
        task->SaveToRegistry(taskKeyPath(task->ID));
    }
    tx.commit();
}

} // namespace qv
