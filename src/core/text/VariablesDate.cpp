// The date and time variables.
//
// The counts since the start of the year, month or week are calendar arithmetic on the local wall
// time (a day has 24 hours), so that a name built from them is the same whatever the clock did at
// a change of daylight saving time.
#include "core/text/VariablesDate.h"

#include "core/text/Variables.h"

#include <cstdio>

namespace qv {

namespace {

std::string padded(long long value, int width)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", width, value);
    return buf;
}

std::string plain(long long value)
{
    return std::to_string(value);
}

struct Moment {
    int year, month, day, hour, minute, second;
    int dayOfWeek;  // 1 Monday .. 7 Sunday
    int dayOfYear;  // 1-based
};

Moment momentOf(const QDateTime &now)
{
    const QDate d = now.date();
    const QTime t = now.time();
    return Moment{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), d.dayOfWeek(),
                  d.dayOfYear()};
}

// Whole days before `m` since the start of its year, month and week.
long long daysBefore(const Moment &m, int id)
{
    switch (id) {
    case vidHourOfYear:
    case vidMinuteOfYear:
    case vidSecondOfYear:
        return m.dayOfYear - 1;
    case vidHourOfMonth:
    case vidMinuteOfMonth:
    case vidSecondOfMonth:
        return m.day - 1;
    case vidHourOfWeek:
    case vidMinuteOfWeek:
    case vidSecondOfWeek:
        return m.dayOfWeek - 1;
    default:
        return 0;
    }
}

std::optional<std::string> countValue(const Moment &m, int id)
{
    const long long days = daysBefore(m, id);
    const long long hours = days * 24 + m.hour;
    const long long minutes = hours * 60 + m.minute;
    const long long seconds = minutes * 60 + m.second;
    switch (id) {
    case vidHourOfYear:
    case vidHourOfWeek:
    case vidHourOfMonth:
        return plain(hours);
    case vidMinuteOfYear:
    case vidMinuteOfMonth:
    case vidMinuteOfWeek:
    case vidMinuteOfDay:
        return plain(minutes);
    case vidSecondOfYear:
    case vidSecondOfMonth:
    case vidSecondOfWeek:
    case vidSecondOfDay:
        return plain(seconds);
    default:
        return std::nullopt;
    }
}

std::optional<std::string> nameValue(const QDate &date, int id, const QLocale &locale)
{
    // Stand-alone month names: a folder named after the month takes the nominative form.
    switch (id) {
    case vidMonthOfYearStr:
        return locale.standaloneMonthName(date.month(), QLocale::ShortFormat).toStdString();
    case vidMonthOfYearString:
        return locale.standaloneMonthName(date.month(), QLocale::LongFormat).toStdString();
    case vidWeekDayStr:
        return locale.standaloneDayName(date.dayOfWeek(), QLocale::ShortFormat).toStdString();
    case vidWeekDayString:
        return locale.standaloneDayName(date.dayOfWeek(), QLocale::LongFormat).toStdString();
    default:
        return std::nullopt;
    }
}

} // namespace

int isoWeekOfMonth(const QDate &date)
{
    const QDate thursday = date.addDays(4 - date.dayOfWeek());
    return (thursday.day() - 1) / 7 + 1;
}

std::optional<std::string> dateVariableValue(int id, const QDateTime &now, const QLocale &locale)
{
    const Moment m = momentOf(now);
    const std::string date = padded(m.year, 4) + padded(m.month, 2) + padded(m.day, 2);
    const std::string time = padded(m.hour, 2) + padded(m.minute, 2) + padded(m.second, 2);
    switch (id) {
    case vidDateTime:
        return date + time;
    case vidDate:
        return date;
    case vidYear:
        return padded(m.year, 4);
    case vidMonth:
        return padded(m.month, 2);
    case vidDay:
        return padded(m.day, 2);
    case vidTime:
        return time;
    case vidHour:
        return padded(m.hour, 2);
    case vidMin:
        return padded(m.minute, 2);
    case vidSec:
        return padded(m.second, 2);
    case vidWeekOfYear:
        return plain(now.date().weekNumber());
    case vidWeekOfMonth:
        return plain(isoWeekOfMonth(now.date()));
    case vidWeekDayNum:
    case vidDayOfWeek:
        return plain(m.dayOfWeek);
    case vidDayOfYear:
        return plain(m.dayOfYear);
    default:
        break;
    }
    if (auto v = nameValue(now.date(), id, locale)) {
        return v;
    }
    return countValue(m, id);
}

} // namespace qv
