// The enabling rule of the schedule dialog.
#include "ui/ScheduleRules.h"

namespace qv {

ScheduleEnabling scheduleEnabling(const ScheduleEnablingInput &in)
{
    ScheduleEnabling e;
    if (in.kind >= 0 && in.kind < 9) {
        e.groups[static_cast<std::size_t>(in.kind)] = true;
    }
    e.dailyTime = in.dailyUseStartTime;
    e.weeklyTime = in.weeklyUseStartTime;
    e.monthlyTime = in.monthlyUseStartTime;
    e.monthlyDay = in.monthlyRadio == 0;
    e.monthlyWhichDay = in.monthlyRadio == 1;
    e.onceTime = in.onceUseTime;
    e.systemStartupSeconds = in.systemStartupWait;
    e.programStartupSeconds = in.programStartupWait;
    e.shutdownSeconds = in.shutdownAllowMax;
    return e;
}

} // namespace qv
