// Day-count conversions: the stored form of every date in the settings store.
#include "core/settings/DateTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

struct DayCase {
    QDate date;
    QTime time;
    double value;
};

TEST(DayCount, KnownValues)
{
    const DayCase cases[] = {
        {QDate(1899, 12, 30), QTime(0, 0), 0.0},
        {QDate(1899, 12, 31), QTime(0, 0), 1.0},
        {QDate(1900, 1, 1), QTime(12, 0), 2.5},
        {QDate(1899, 12, 29), QTime(6, 0), -1.25},
        {QDate(2026, 12, 5), QTime(19, 30, 5), 46361.0 + (19 * 3600 + 30 * 60 + 5) / 86400.0},
        {QDate(1980, 1, 1), QTime(0, 0), 29221.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.date.toString(Qt::ISODate).toStdString());
        double v = qv::encodeDayCount(c.date, c.time);
        EXPECT_NEAR(v, c.value, 1e-9);
        EXPECT_EQ(qv::dateOfDayCount(v), c.date);
        EXPECT_EQ(qv::timeOfDayCount(v), c.time);
        EXPECT_EQ(qv::fromDayCount(v), QDateTime(c.date, c.time));
    }
}

TEST(DayCount, UnixRoundTripInLocalTime)
{
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    // 2026-07-01 12:00:00 UTC is 14:00 in Berlin (summer time).
    double v = qv::dayCountFromUnix(1782907200);
    EXPECT_EQ(qv::fromDayCount(v), QDateTime(QDate(2026, 7, 1), QTime(14, 0)));
    EXPECT_EQ(qv::unixFromDayCount(v), 1782907200);
    ::unsetenv("TZ");
    ::tzset();
}

TEST(DayCount, InjectedClock)
{
    // A day long past: the real clock, restored at the end, can never show it.
    qv::FixedClock fixed(QDateTime(QDate(1999, 1, 1), QTime(9, 0)));
    qv::setClock(&fixed);
    EXPECT_EQ(qv::nowDateTime(), QDateTime(QDate(1999, 1, 1), QTime(9, 0)));
    fixed.advanceMs(3600 * 1000);
    EXPECT_EQ(qv::dateOfDayCount(qv::Now()), QDate(1999, 1, 1));
    EXPECT_EQ(qv::timeOfDayCount(qv::Now()), QTime(10, 0));
    qv::setClock(nullptr);
    EXPECT_NE(qv::nowDateTime().date(), QDate(1999, 1, 1));
}

} // namespace
