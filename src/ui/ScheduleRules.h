// The enabling rule of the schedule dialog, as a pure function the dialog applies and tests read.
#pragma once

#include <array>

namespace qv {

struct ScheduleEnablingInput
{
    int kind = 0;            // index of the kind selector (Within Minutes .. Once)
    bool dailyUseStartTime = false;
    bool weeklyUseStartTime = false;
    bool monthlyUseStartTime = false;
    int monthlyRadio = 0;    // 0 the day number, 1 the which-day radio button, -1 none checked
    bool onceUseTime = false;
    bool systemStartupWait = false;
    bool programStartupWait = false;
    bool shutdownAllowMax = false;
};

struct ScheduleEnabling
{
    std::array<bool, 9> groups{}; // visible, in the order of the kind selector
    bool dailyTime = false;
    bool weeklyTime = false;
    bool monthlyTime = false;
    bool monthlyDay = false;      // the day selector and "day of the month(s)"
    bool monthlyWhichDay = false; // the two which-day selectors and "of the month(s)"
    bool onceTime = false;
    bool systemStartupSeconds = false; // field, up-down and "seconds before Run"
    bool programStartupSeconds = false;
    bool shutdownSeconds = false;
    bool operator==(const ScheduleEnabling &) const = default;
};

ScheduleEnabling scheduleEnabling(const ScheduleEnablingInput &in);

} // namespace qv
