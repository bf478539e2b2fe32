// New schedule entries.
#include "core/task/TaskScheduleItem.h"

namespace qv {

TTaskScheduleItem::TTaskScheduleItem()
{
    OnceRunDate = toDayCount(nowDateTime().addMonths(1));
}

bool &TTaskScheduleItem::weekday(int day)
{
    bool *days[] = {&WeeklyMondays, &WeeklyTuesdays,  &WeeklyWednesdays, &WeeklyThursdays,
                    &WeeklyFridays, &WeeklySaturdays, &WeeklySundays};
    return *days[day];
}

bool TTaskScheduleItem::weekday(int day) const
{
    return const_cast<TTaskScheduleItem *>(this)->weekday(day);
}

bool &TTaskScheduleItem::month(int month)
{
    bool *months[] = {&MonthlyJanuary,   &MonthlyFebruary, &MonthlyMarch,    &MonthlyApril,
                      &MonthlyMay,       &MonthlyJune,     &MonthlyJuly,     &MonthlyAugust,
                      &MonthlySeptember, &MonthlyOctober,  &MonthlyNovember, &MonthlyDecember};
    return *months[month];
}

bool TTaskScheduleItem::month(int month) const
{
    return const_cast<TTaskScheduleItem *>(this)->month(month);
}

} // namespace qv
