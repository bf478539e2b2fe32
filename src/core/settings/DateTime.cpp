// Day counts and the program's clock.
#include "core/settings/DateTime.h"

#include <atomic>
#include <cmath>

namespace qv {
namespace {

constexpr qint64 kMsPerDay = 86400000;

qint64 julianOfEpoch()
{
    static const qint64 jd = QDate(1899, 12, 30).toJulianDay();
    return jd;
}

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 msecsSinceEpoch() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

SystemClock g_systemClock;
std::atomic<const Clock *> g_clock{nullptr};

} // namespace

TDateTime dayCountOfDate(const QDate &date)
{
    return static_cast<double>(date.toJulianDay() - julianOfEpoch());
}

QDate dateOfDayCount(TDateTime value)
{
    return QDate::fromJulianDay(julianOfEpoch() + static_cast<qint64>(std::trunc(value)));
}

QTime timeOfDayCount(TDateTime value)
{
    double frac = std::fabs(value - std::trunc(value));
    auto ms = static_cast<qint64>(std::llround(frac * static_cast<double>(kMsPerDay)));
    if (ms >= kMsPerDay) {
        ms = kMsPerDay - 1;
    }
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

TDateTime encodeDayCount(const QDate &date, const QTime &time)
{
    double days = dayCountOfDate(date);
    double frac = static_cast<double>(time.isValid() ? time.msecsSinceStartOfDay() : 0) / kMsPerDay;
    return days >= 0 ? days + frac : days - frac;
}

TDateTime toDayCount(const QDateTime &dt)
{
    QDateTime local = dt.toLocalTime();
    return encodeDayCount(local.date(), local.time());
}

QDateTime fromDayCount(TDateTime value)
{
    if (!std::isfinite(value)) {
        return {};
    }
    return QDateTime(dateOfDayCount(value), timeOfDayCount(value));
}

TDateTime dayCountFromUnix(std::int64_t seconds, long nanoseconds)
{
    QDateTime dt = QDateTime::fromMSecsSinceEpoch(seconds * 1000 + nanoseconds / 1000000);
    return toDayCount(dt);
}

std::int64_t unixFromDayCount(TDateTime value)
{
    QDateTime dt = fromDayCount(value);
    return dt.isValid() ? dt.toSecsSinceEpoch() : 0;
}

const Clock &clock()
{
    const Clock *c = g_clock.load(std::memory_order_acquire);
    return c ? *c : g_systemClock;
}

void setClock(const Clock *c)
{
    g_clock.store(c, std::memory_order_release);
}

TDateTime Now()
{
    return toDayCount(clock().now());
}

QDateTime nowDateTime()
{
    return clock().now();
}

} // namespace qv
