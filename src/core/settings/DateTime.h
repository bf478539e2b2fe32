// Day counts (the stored date-time form) and the program's injectable clock.
//
// Dates are kept as the design's day counts: a double whose integer part counts days from
// 1899-12-30 and whose fraction is the time of day, in local wall time. The store keeps them as
// 8-byte values, so this form is what goes in and out of it. Everything that asks for "now" goes
// through qv::clock(), which tests replace with a fixed or stepping clock.
#pragma once

#include <QDateTime>

#include <cstdint>
#include <ctime>

namespace qv {

using TDateTime = double;

// 0 = 1899-12-30 00:00:00 local. Negative values follow the same rule as positive ones: the integer
// part is the day, the absolute fraction is the time of day (-1.25 = 1899-12-29 06:00).
TDateTime toDayCount(const QDateTime &dt);
QDateTime fromDayCount(TDateTime value);

// Whole days and the time of day, as the stored form splits them.
TDateTime dayCountOfDate(const QDate &date);
QDate dateOfDayCount(TDateTime value);
QTime timeOfDayCount(TDateTime value);
TDateTime encodeDayCount(const QDate &date, const QTime &time);

// Local wall time of a POSIX time (seconds and nanoseconds).
TDateTime dayCountFromUnix(std::int64_t seconds, long nanoseconds = 0);
std::int64_t unixFromDayCount(TDateTime value);

// The clock everything asks for "now".
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Now as milliseconds since 1970 UTC, without the local time zone work of now().
    virtual qint64 msecsSinceEpoch() const { return now().toMSecsSinceEpoch(); }
};

// The real clock unless a test installed another one.
const Clock &clock();
// Installs `c` (not owned) as the program's clock; nullptr restores the real one.
void setClock(const Clock *c);

// Now as a day count, and as a local QDateTime.
TDateTime Now();
QDateTime nowDateTime();

// A clock for tests: returns the time it was set to, optionally stepped by hand.
class FixedClock : public Clock
{
public:
    explicit FixedClock(QDateTime t) : m_now(std::move(t)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &t) { m_now = t; }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};

} // namespace qv
