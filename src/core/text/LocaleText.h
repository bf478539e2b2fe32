// Dates and times as text in the user's locale: the short date and the long time (with seconds).
//
// Log lines, the activity log and the task list show a moment the way the user's locale writes
// it. Qt's long time format carries the time zone name; the program's texts never did, so it is
// left out here and the "long time" is the locale's time with seconds.
#pragma once

#include "core/settings/DateTime.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <string>

namespace qv {

// The locale's short date, e.g. "12/5/26" (en_US) or "05.12.26" (de_DE).
std::string shortDateText(const QDate &date, const QLocale &locale = QLocale());

// The locale's time with seconds and without a zone, e.g. "7:30:05 PM" or "19:30:05".
std::string longTimeText(const QTime &time, const QLocale &locale = QLocale());

// Short date, a blank and the long time; the time is left out when it is exactly midnight.
std::string DateTimeToStr(const QDateTime &dt, const QLocale &locale = QLocale());
std::string DateTimeToStr(TDateTime value, const QLocale &locale = QLocale());

} // namespace qv
