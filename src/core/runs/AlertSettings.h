// What one alert of a task does: the effective settings for the run's start mode and the event.
//
// The start mode is Silent while "/SILENT=ON" holds, else Manual for a run started by hand, else
// Scheduled. The settings come through the task's getters, so the program-wide defaults apply while
// the task's alert group uses them. File and Folder events share the File settings and never send
// mail; only the Finish event sends the log with its mail.
#pragma once

#include "core/task/TaskAlertTable.h"

#include <string>

namespace qv {

class TTask;

struct AlertSettings {
    bool dialog = false;
    bool balloon = false;
    bool sound = false;
    std::string soundFile;
    bool email = false;
    std::string recipient;
    bool sendLog = false;

    // Whether raising the alert would show, play or send anything at all.
    bool doesAnything() const { return dialog || balloon || (sound && !soundFile.empty()) || email; }
    bool operator==(const AlertSettings &) const = default;
};

// The alert mode of the task's current (or next) run.
AlertMode alertModeOf(const TTask &task);

// `event` is a BackupAlertKind (akStart .. akWarning); other values give settings that do nothing.
AlertSettings GetAlertSettings(const TTask &task, int event);

} // namespace qv
