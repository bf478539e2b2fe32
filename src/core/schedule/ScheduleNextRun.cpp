// When a schedule entry runs next, and whether it is due.
#include "core/schedule/ScheduleNextRun.h"

#include "core/task/TaskDefinition.h"
#include "core/task/TaskScheduleItem.h"

#include <QDate>

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// How far a monthly entry looks ahead: enough for day 29 of February alone (8 years apart at
// most, across a century that is not a leap year).
constexpr int kMonthsAhead = 12 * 9;

struct Moment {
    QDate date;
    std::int64_t msOfDay = 0;
};

Moment split(TDateTime value)
{
    const std::int64_t ms = dayCountToMs(value);
    std::int64_t day = ms / kMsPerDay;
    std::int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --day;
    }
    return {QDate(1899, 12, 30).addDays(day), rest};
}

std::int64_t at(const QDate &date, std::int64_t msOfDay)
{
    return QDate(1899, 12, 30).daysTo(date) * kMsPerDay + msOfDay;
}

// The time of day of a start-time value (its date part, if any, is ignored).
std::int64_t timeOfDayMs(bool use, TDateTime startTime)
{
    return use ? split(startTime).msOfDay : 0;
}

std::int64_t nextWeekly(const TTaskScheduleItem &item, std::int64_t last)
{
    const std::int64_t t = timeOfDayMs(item.WeeklyUseStartTime, item.WeeklyStartTime);
    const QDate lastDate = split(msToDayCount(last)).date;
    const QDate monday = lastDate.addDays(1 - lastDate.dayOfWeek());
    for (int d = 0; d < 7; ++d) {
        if (item.weekday(d) && at(monday.addDays(d), t) > last) {
            return at(monday.addDays(d), t);
        }
    }
    const QDate later = monday.addDays(7 * (static_cast<int>(item.WeeklyEveryNumWeek) + 1));
    for (int d = 0; d < 7; ++d) {
        if (item.weekday(d)) {
            return at(later.addDays(d), t);
        }
    }
    return -1;
}

// The day of `weekday` (1 Monday .. 7 Sunday) for the entry's "which" in the month of `first`.
QDate whichDayOfMonth(const QDate &first, int weekday, TWhichWeek which)
{
    if (which == wwLast) {
        const QDate last = first.addDays(first.daysInMonth() - 1);
        return last.addDays(-((last.dayOfWeek() - weekday + 7) % 7));
    }
    const QDate firstOccurrence = first.addDays((weekday - first.dayOfWeek() + 7) % 7);
    return firstOccurrence.addDays(7 * static_cast<int>(which));
}

std::int64_t nextMonthly(const TTaskScheduleItem &item, std::int64_t last)
{
    const std::int64_t t = timeOfDayMs(item.MonthlyUseStartTime, item.MonthlyStartTime);
    const QDate lastDate = split(msToDayCount(last)).date;
    QDate first(lastDate.year(), lastDate.month(), 1);
    const int weekday = std::clamp(static_cast<int>(item.MonthlyWhichDayWeek), 0, 6) + 1;
    const TWhichWeek which = std::min(item.MonthlyWhichDayType, wwLast);
    for (int i = 0; i < kMonthsAhead; ++i, first = first.addMonths(1)) {
        if (!item.month(first.month() - 1)) {
            continue;
        }
        QDate day;
        if (item.MonthlyKind == mkEveryDay) {
            const int number = static_cast<int>(item.MonthlyEveryNumDay) + 1;
            if (number > first.daysInMonth()) {
                continue;
            }
            day = QDate(first.year(), first.month(), number);
        } else {
            day = whichDayOfMonth(first, weekday, which);
        }
        if (at(day, t) > last) {
            return at(day, t);
        }
    }
    return -1;
}

std::int64_t nextRunMs(const TTaskScheduleItem &item, std::int64_t last)
{
    const Moment lastMoment = split(msToDayCount(last));
    switch (item.Kind) {
    case skMinutelly:
        return last + std::max<std::int64_t>(1, item.MinutellyValue) * 60000;
    case skHourly:
        return last + std::max<std::int64_t>(1, item.HourlyValue) * 3600000;
    case skDaily:
        return at(lastMoment.date.addDays(static_cast<int>(item.DailyEveryNumDays) + 1),
                  timeOfDayMs(item.DailyUseStartTime, item.DailyStartTime));
    case skWeekly:
        return nextWeekly(item, last);
    case skMonthly:
        return nextMonthly(item, last);
    case skOnce:
        return at(split(item.OnceRunDate).date, timeOfDayMs(item.OnceUseStartTime, item.OnceStartTime));
    default:
        return -1;
    }
}

} // namespace

const TDateTime kNeverRun = 2958466.0; // 9999-01-01

std::int64_t dayCountToMs(TDateTime value)
{
    return std::llround(value * static_cast<double>(kMsPerDay));
}

TDateTime msToDayCount(std::int64_t ms)
{
    const std::int64_t day = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
    return static_cast<double>(day) + static_cast<double>(ms - day * kMsPerDay) / static_cast<double>(kMsPerDay);
}

TDateTime nextRunAfter(const TTaskScheduleItem &item, TDateTime lastRun)
{
    if (!item.Enabled) {
        return kNeverRun;
    }
    const std::int64_t next = nextRunMs(item, dayCountToMs(lastRun));
    if (next < 0 || next >= dayCountToMs(kNeverRun)) {
        return kNeverRun;
    }
    return msToDayCount(next);
}

bool isDueAt(const TTaskScheduleItem &item, TDateTime lastRun, TDateTime now)
{
    if (!item.Enabled || item.Kind == skAtSystemStartup || item.Kind == skAtProgramStartup ||
        item.Kind == skAtSystemShutdown) {
        return false;
    }
    const TDateTime next = nextRunAfter(item, lastRun);
    if (next >= kNeverRun) {
        return false;
    }
    const std::int64_t n = dayCountToMs(next);
    const std::int64_t t = dayCountToMs(now);
    if (t < n) {
        return false;
    }
    if (item.Kind != skOnce) {
        return true;
    }
    // A once-entry runs on its own day only, and only once: a run since its time ends it, and a day
    // that passed without the program running loses it.
    const std::int64_t l = dayCountToMs(lastRun);
    return split(now).date == split(next).date && l < n && l <= t;
}

bool countsForNextRun(const TTaskScheduleItem &item, TDateTime lastRun, TDateTime now)
{
    if (!item.Enabled || item.Kind == skAtSystemStartup || item.Kind == skAtProgramStartup ||
        item.Kind == skAtSystemShutdown) {
        return false;
    }
    const TDateTime next = nextRunAfter(item, lastRun);
    if (next >= kNeverRun) {
        return false;
    }
    if (item.Kind == skOnce) {
        return split(now).date <= split(next).date && dayCountToMs(lastRun) < dayCountToMs(next);
    }
    return true;
}

TDateTime TTaskScheduleItem::GetNextRun(const TaskDefinition &task) const
{
    return nextRunAfter(*this, task.LastRun);
}

} // namespace qv
