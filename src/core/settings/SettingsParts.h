// The parts of the program's settings a backup or restore can choose: settings, tasks, window layout.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace qv {

enum class SettingsPart { None, Settings, Tasks, WindowPosition };

// The "\Main" values that the main window's layout save writes and its load reads.
std::span<const char *const> windowSettingsValueNames();

// The part a stored entry belongs to. `keyPath` is the key's full path from the root
// ("\Software\...\Tasks\{id}"), compared without regard to case; `valueName` is a value of that key,
// or nullopt for the key itself. Keys outside the program's key and the dialogs' scratch key "\Temp"
// belong to no part.
SettingsPart settingsPartOf(std::string_view keyPath, std::optional<std::string_view> valueName);

// True for a single task's key "\Tasks\<id>" (not the tasks key, not a key below a task).
bool isSingleTaskKey(std::string_view keyPath);

} // namespace qv
