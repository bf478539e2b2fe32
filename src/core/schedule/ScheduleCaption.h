// Folder core/schedule: the program's own scheduler: when schedule entries are due, their next
// runs and captions, and the system timers of tasks. May include core/settings, core/text,
// core/util, core/task and the platform layer; what starts a run lives in core/runs.
//
// The captions of schedule entries, the next-run text of a task, and the ordinal texts the schedule
// captions and the schedule dialog's selectors share.
#pragma once

#include "core/settings/DateTime.h"

#include <string>

namespace qv {

class TQuorvellantScheduleList;

// The task list's next-run column for a task with `schedules` that last ran at `lastRun`:
// "Manually" without entries, else the earliest next run and the start-up and shutdown kinds.
std::string nextRunText(const TQuorvellantScheduleList &schedules, TDateTime lastRun);

// "1-st", "2-nd", "3-rd", then "4-th" .. "31-th", through the language file.
std::string scheduleOrdinal(int n);

} // namespace qv
