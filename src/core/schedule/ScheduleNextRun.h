// When a schedule entry runs next, and whether it is due: pure functions of the entry, the task's
// last run and the clock's "now", all in local wall time as day counts.
//
// The rules, for an entry whose start time T is its own time of day when its use-start-time flag
// is set, else midnight:
//   - every N minutes or hours: the last run plus the interval (an interval below 1 counts as 1);
//   - daily: the last run's date plus (value + 1) days, at T;
//   - weekly: the first chosen weekday, at T, later than the last run within the last run's
//     Monday-to-Sunday week; failing that, the first chosen weekday of the week that lies
//     (value + 1) weeks after it;
//   - monthly on day D: the first date at T later than the last run whose day number is D, in a
//     chosen month; months without a day D are skipped;
//   - monthly on the Nth weekday: the Nth occurrence of that weekday in the month (days
//     7(N-1)+1 to 7N), or its last occurrence, at T, later than the last run, in a chosen month;
//   - once: the entry's date at T.
// Comparisons are made in whole milliseconds, so day counts that differ by rounding alone are
// equal.
#pragma once

#include "core/settings/DateTime.h"

#include <cstdint>

namespace qv {

class TTaskScheduleItem;

// "Never": 1 January 9999 00:00.
extern const TDateTime kNeverRun;

// A day count in whole milliseconds since 1899-12-30 00:00, and back.
std::int64_t dayCountToMs(TDateTime value);
TDateTime msToDayCount(std::int64_t ms);

TDateTime nextRunAfter(const TTaskScheduleItem &item, TDateTime lastRun);
bool isDueAt(const TTaskScheduleItem &item, TDateTime lastRun, TDateTime now);
// Whether the entry counts for the task list's next-run column: enabled, of a timed kind, able to
// run, and (for a once-entry) neither past its day nor already run.
bool countsForNextRun(const TTaskScheduleItem &item, TDateTime lastRun, TDateTime now);

} // namespace qv
