// The program-wide defaults of the ten task settings groups ("\Tasks Defaults") as group values.
//
// The options dialog edits the defaults with the same group pages as the task dialog; these two
// functions move the values between the settings globals and a TaskSettingsFields. The stored names
// do not change: BandwidthMeasure stays the text "KBits"/"MBits", EmailTo, CpuPerformance and the
// Power... values keep their own names.
#pragma once

#include "core/task/TaskSettings.h"

namespace qv {

// Each group's values from the program-wide settings; the UseDefault flags and everything outside
// the groups stay as they are.
void readTaskDefaults(TaskSettingsFields &s);
// The groups' values into the program-wide settings (not saved here).
void writeTaskDefaults(const TaskSettingsFields &s);

} // namespace qv
