// The texts of the scheduler: an entry's caption and the task list's next-run column.
#include "core/schedule/ScheduleCaption.h"
#include "core/text/LocaleText.h"
#include "core/text/Language.h"
#include "core/schedule/ScheduleNextRun.h"
#include "core/task/TaskScheduleItem.h"

#include <QLocale>

namespace qv {

std::string scheduleOrdinal(int n)
{
    switch (n) {
    case 1:
        return GetLangString("1-st", "strTaskTypesSchedule1st");
    case 2:
        return GetLangString("2-nd", "strTaskTypesSchedule2nd");
    case 3:
        return GetLangString("3-rd", "strTaskTypesSchedule3rd");
    default:
        return GetLangString(std::to_string(n) + "-th", "strTaskTypesSchedule" + std::to_string(n) + "th");
    }
}

namespace {

std::string timeSuffix(bool use, TDateTime startTime)
{
    if (!use) {
        return ".";
    }
    return "; " + formatLangString("starting at %s.", "strTaskTypesScheduleStartingAt",
                                   {longTimeText(timeOfDayCount(startTime), QLocale())});
}

std::string joinedOrNoItems(const std::vector<std::string> &names)
{
    if (names.empty()) {
        return GetLangString("[no items]", "strTaskTypesScheduleNoItems");
    }
    std::string text;
    for (const std::string &n : names) {
        text += text.empty() ? n : ", " + n;
    }
    return text;
}

std::string weeklyCaption(const TTaskScheduleItem &item)
{
    const QLocale locale;
    std::vector<std::string> days;
    for (int d = 0; d < 7; ++d) {
        if (item.weekday(d)) {
            days.push_back(locale.dayName(d + 1, QLocale::ShortFormat).toStdString());
        }
    }
    const std::string list = joinedOrNoItems(days);
    const std::string s = timeSuffix(item.WeeklyUseStartTime, item.WeeklyStartTime);
    if (item.WeeklyEveryNumWeek == 0) {
        return formatLangString("Run every week on %s%s", "strTaskTypesScheduleWeeklyEveryweek", {list, s});
    }
    return formatLangString("Run every %s week on %s%s", "strTaskTypesScheduleWeeklyX",
                            {scheduleOrdinal(item.WeeklyEveryNumWeek + 1), list, s});
}

std::string whichText(TWhichWeek which)
{
    switch (which) {
    case wwFirst:
        return GetLangString("first", "strTaskTypesScheduleMonthlyFirst");
    case wwSecond:
        return GetLangString("second", "strTaskTypesScheduleMonthlySecond");
    case wwThird:
        return GetLangString("third", "strTaskTypesScheduleMonthlyThird");
    case wwFourth:
        return GetLangString("fouth", "strTaskTypesScheduleMonthlyFourth");
    default:
        return GetLangString("last", "strTaskTypesScheduleMonthlyLast");
    }
}

std::string monthlyCaption(const TTaskScheduleItem &item)
{
    const QLocale locale;
    std::vector<std::string> months;
    for (int m = 0; m < 12; ++m) {
        if (item.month(m)) {
            months.push_back(locale.monthName(m + 1, QLocale::ShortFormat).toStdString());
        }
    }
    const std::string list = joinedOrNoItems(months);
    const std::string s = timeSuffix(item.MonthlyUseStartTime, item.MonthlyStartTime);
    if (item.MonthlyKind == mkEveryDay) {
        return formatLangString("Run every %s day of month(s): %s%s", "strTaskTypesScheduleMonthlyEveryDay",
                                {scheduleOrdinal(item.MonthlyEveryNumDay + 1), list, s});
    }
    const int weekday = std::min<int>(item.MonthlyWhichDayWeek, wdSunday) + 1;
    const std::string which = whichText(item.MonthlyWhichDayType) + " " +
                              locale.dayName(weekday, QLocale::LongFormat).toStdString();
    return formatLangString("Run every %s of month(s): %s%s", "strTaskTypesScheduleMonthlyWhichDay",
                            {which, list, s});
}

std::string startupCaption(const std::string &pattern, const std::string &key, bool wait, int seconds)
{
    const std::string s =
        wait ? " " + formatLangString("(wait %d seconds).", "strTaskTypesScheduleStartupWait", {seconds}) : ".";
    return formatLangString(pattern, key, {s});
}

} // namespace

std::string TTaskScheduleItem::GetStrCaption() const
{
    switch (Kind) {
    case skMinutelly:
        return formatLangString("Run every %d minute(s).", "strTaskTypesScheduleMinutelly", {MinutellyValue});
    case skHourly:
        return formatLangString("Run every %d hour(s).", "strTaskTypesScheduleHourly", {HourlyValue});
    case skDaily: {
        const std::string s = timeSuffix(DailyUseStartTime, DailyStartTime);
        if (DailyEveryNumDays == 0) {
            return formatLangString("Run everyday%s", "strTaskTypesScheduleDailyEveryday", {s});
        }
        return formatLangString("Run every %s day%s", "strTaskTypesScheduleDailyX",
                                {scheduleOrdinal(DailyEveryNumDays + 1), s});
    }
    case skWeekly:
        return weeklyCaption(*this);
    case skMonthly:
        return monthlyCaption(*this);
    case skAtSystemStartup:
        return startupCaption("Run at system startup%s", "strTaskTypesScheduleSystemStartup", AtSystemStartupWait,
                              AtSystemStartupWaitSecValue);
    case skAtProgramStartup:
        return startupCaption("Run at program startup%s", "strTaskTypesScheduleProgramStartup",
                              AtProgramStartupWait, AtProgramStartupWaitSecValue);
    case skAtSystemShutdown: {
        const std::string s =
            SystemShutdownLimitExecTime
                ? " " + formatLangString("(limit Task work time to %d seconds).", "strTaskTypesScheduleShutdownLimit",
                                         {SystemShutdownMaxSec})
                : ".";
        return formatLangString("Run at system shutdown%s", "strTaskTypesScheduleShutdown", {s});
    }
    case skOnce: {
        const std::string s =
            OnceUseStartTime ? " " + longTimeText(timeOfDayCount(OnceStartTime), QLocale()) + "." : ".";
        return formatLangString("Run once at: %s%s", "strTaskTypesScheduleOnce",
                                {shortDateText(dateOfDayCount(OnceRunDate), QLocale()), s});
    }
    }
    return "TTaskScheduleItem.GetStrCaption := ERROR!";
}

std::string nextRunText(const TQuorvellantScheduleList &schedules, TDateTime lastRun)
{
    if (schedules.Count() == 0) {
        return GetLangString("Manually", "strTaskTypesNextRunManually");
    }
    const TDateTime now = Now();
    TDateTime earliest = kNeverRun;
    std::string extra;
    for (const TTaskScheduleItem &item : schedules.Items) {
        if (!item.Enabled) {
            continue;
        }
        switch (item.Kind) {
        case skAtSystemStartup:
            extra += ", " + GetLangString("at system startup", "strTaskTypesNextRunInternalSystemStartup");
            break;
        case skAtProgramStartup:
            extra += ", " + GetLangString("at program startup", "strTaskTypesNextRunInternalProgramStartup");
            break;
        case skAtSystemShutdown:
            extra += ", " + GetLangString("at system shutdown", "strTaskTypesNextRunInternalSystemShutdown");
            break;
        default:
            if (countsForNextRun(item, lastRun, now)) {
                earliest = std::min(earliest, nextRunAfter(item, lastRun));
            }
            break;
        }
    }
    std::string date;
    if (earliest < kNeverRun) {
        // Wall-clock date and time as computed, also in an hour that daylight saving skips.
        date = shortDateText(dateOfDayCount(earliest), QLocale()) + " " +
               longTimeText(timeOfDayCount(earliest), QLocale());
    }
    if (date.empty() && extra.size() >= 3) {
        extra = extra.substr(2);
        const QString upper = QString::fromStdString(extra);
        extra = (upper.left(1).toUpper() + upper.mid(1)).toStdString();
    }
    std::string s = date + extra;
    if (s.empty()) {
        s = GetLangString("undefined", "strTaskTypesNextRunInternalUndefined");
    }
    return s;
}

} // namespace qv
