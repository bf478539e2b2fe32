// The date and time variables: one moment as the texts %Date%, %WeekOfYear%, %HourOfWeek% ... give.
#pragma once

#include <QDateTime>
#include <QLocale>

#include <optional>
#include <string>

namespace qv {

// The week of the month in the ISO sense: weeks start on Monday and belong to the month that holds
// their Thursday, so 1 January 2027 (a Friday) lies in week 5 of December 2026.
int isoWeekOfMonth(const QDate &date);

// The value of date or time variable `id` (VariableId 20..48) at `now`, month and day names from
// `locale`; nothing for an id that is not a date or time variable.
std::optional<std::string> dateVariableValue(int id, const QDateTime &now, const QLocale &locale);

} // namespace qv
