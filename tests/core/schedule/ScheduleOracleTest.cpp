// The scheduler against systemd's calendar (systemd-analyze calendar, which needs no running
// systemd), a property test over random entries, and daylight-saving changes. These run in a child
// process with TZ=Europe/Berlin, so that local time has both changes and matches the oracle's.
// qv-test-labels: interop
#include "RunsTestSupport.h"

#include "core/schedule/ScheduleNextRun.h"

#include <QRegularExpression>

#include <cstdlib>
#include <random>

namespace {

using qv::TDateTime;
using qv::TTaskScheduleItem;

const char *const kChildMarker = "QV_SCHEDULE_TZ_CHILD";

// In the parent: runs this test again in a child with TZ=Europe/Berlin and passes on its verdict.
// Returns true in the child, where the test body runs.
bool inBerlinChild()
{
    if (std::getenv(kChildMarker) != nullptr) {
        return true;
    }
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(info->test_suite_name()) + "." + info->name();
    std::string command = "TZ=Europe/Berlin ";
    command += kChildMarker;
    command += "=1 '";
    command += qvtest::binPath("test_core");
    command += "' --gtest_filter=";
    command += filter;
    const auto r = qvtest::runShell(command, 300);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("[  PASSED  ] 1 test"), std::string::npos) << r.output;
    return false;
}

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return qv::encodeDayCount(QDate(y, mo, d), QTime(h, mi, s));
}

std::string text(TDateTime v)
{
    const QDate date = qv::dateOfDayCount(v);
    const QTime time = qv::timeOfDayCount(v);
    return (date.toString("yyyy-MM-dd") + " " + time.toString("HH:mm:ss")).toStdString();
}

TDateTime timeOnly(int h, int mi)
{
    return qv::encodeDayCount(QDate(1899, 12, 30), QTime(h, mi));
}

// systemd's next `count` elapses of `calendar` after `base` (local wall times as text).
std::vector<std::string> systemdElapses(const std::string &calendar, TDateTime base, int count)
{
    const std::int64_t epoch = qv::unixFromDayCount(base);
    const auto r = qvtest::runCommand({"systemd-analyze", "calendar", "--base-time=@" + std::to_string(epoch),
                                       "--iterations=" + std::to_string(count), calendar});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> times;
    const QRegularExpression line("(?:Next elapse|Iter\\. #\\d+): \\w+ (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)");
    auto it = line.globalMatch(QString::fromStdString(r.output));
    while (it.hasNext()) {
        times.push_back(it.next().captured(1).toStdString());
    }
    return times;
}

// Our next `count` runs, each fed back as the last run.
std::vector<std::string> ourRuns(const TTaskScheduleItem &item, TDateTime lastRun, int count)
{
    std::vector<std::string> runs;
    for (int i = 0; i < count; ++i) {
        lastRun = qv::nextRunAfter(item, lastRun);
        runs.push_back(text(lastRun));
    }
    return runs;
}

TEST(ScheduleOracle, NextRunsMatchSystemdCalendar)
{
    QV_REQUIRE_TOOL("systemd-analyze");
    if (!inBerlinChild()) {
        return;
    }
    TTaskScheduleItem weekly;
    weekly.Kind = qv::skWeekly;
    for (int d = 0; d < 7; ++d) {
        weekly.weekday(d) = d == 0 || d == 2 || d == 4;
    }
    weekly.WeeklyUseStartTime = true;
    weekly.WeeklyStartTime = timeOnly(9, 0);

    TTaskScheduleItem may31;
    may31.Kind = qv::skMonthly;
    may31.MonthlyEveryNumDay = 30;
    for (int m = 0; m < 12; ++m) {
        may31.month(m) = m == 4;
    }

    TTaskScheduleItem firstMonday;
    firstMonday.Kind = qv::skMonthly;
    firstMonday.MonthlyKind = qv::mkWhichDay;
    firstMonday.MonthlyWhichDayType = qv::wwFirst;
    firstMonday.MonthlyWhichDayWeek = qv::wdMonday;
    firstMonday.MonthlyUseStartTime = true;
    firstMonday.MonthlyStartTime = timeOnly(9, 0);

    const struct {
        const TTaskScheduleItem *item;
        const char *calendar;
        TDateTime lastRun;
    } cases[] = {
        // Across the spring change (29 March 2026) and from a run on a chosen day before its time.
        {&weekly, "Mon,Wed,Fri *-*-* 09:00:00", at(2026, 3, 20, 14, 23, 11)},
        {&weekly, "Mon,Wed,Fri *-*-* 09:00:00", at(2026, 10, 19, 8, 59, 59)},
        {&weekly, "Mon,Wed,Fri *-*-* 09:00:00", at(2026, 12, 27, 23, 0)},
        {&may31, "*-05-31 00:00:00", at(2026, 3, 1, 10, 0)},
        {&may31, "*-05-31 00:00:00", at(2026, 5, 31, 0, 0, 1)},
        {&firstMonday, "Mon *-*-01..07 09:00:00", at(2026, 1, 5, 9, 0, 1)},
        {&firstMonday, "Mon *-*-01..07 09:00:00", at(2026, 5, 20)},
    };
    for (const auto &c : cases) {
        const auto expected = systemdElapses(c.calendar, c.lastRun, 12);
        ASSERT_EQ(expected.size(), 12u) << c.calendar;
        EXPECT_EQ(ourRuns(*c.item, c.lastRun, 12), expected) << c.calendar << " after " << text(c.lastRun);
    }
}

// Brute force: the first moment, minute by minute at the entry's time of day, that is later than
// `last` and fits the rule; searched day by day.
TDateTime bruteForce(const TTaskScheduleItem &item, TDateTime last, const std::function<bool(const QDate &)> &fits,
                     TDateTime startTime)
{
    const QTime t = qv::timeOfDayCount(startTime);
    for (QDate d = qv::dateOfDayCount(last); d.year() < 2060; d = d.addDays(1)) {
        const TDateTime candidate = qv::encodeDayCount(d, t);
        if (fits(d) && qv::dayCountToMs(candidate) > qv::dayCountToMs(last)) {
            return candidate;
        }
    }
    (void)item;
    return qv::kNeverRun;
}

TEST(ScheduleProperty, EveryNextRunIsLaterOnAChosenDayAtTheChosenTime)
{
    std::mt19937 gen(20261206);
    auto coin = [&] { return gen() % 2 == 0; };
    int checked = 0;
    for (int round = 0; round < 3000; ++round) {
        TTaskScheduleItem item;
        item.Kind = std::array{qv::skDaily, qv::skWeekly, qv::skMonthly}[gen() % 3];
        const TDateTime start = timeOnly(static_cast<int>(gen() % 24), static_cast<int>(gen() % 60));
        item.DailyUseStartTime = item.WeeklyUseStartTime = item.MonthlyUseStartTime = coin();
        item.DailyStartTime = item.WeeklyStartTime = item.MonthlyStartTime = start;
        item.DailyEveryNumDays = static_cast<std::uint8_t>(gen() % 14);
        for (int d = 0; d < 7; ++d) {
            item.weekday(d) = gen() % 3 == 0;
        }
        for (int m = 0; m < 12; ++m) {
            item.month(m) = gen() % 4 == 0;
        }
        item.MonthlyKind = coin() ? qv::mkEveryDay : qv::mkWhichDay;
        item.MonthlyEveryNumDay = static_cast<std::uint8_t>(gen() % 31);
        item.MonthlyWhichDayType = static_cast<qv::TWhichWeek>(gen() % 5);
        item.MonthlyWhichDayWeek = static_cast<qv::TWeekDay>(gen() % 7);
        const TDateTime last = at(2020, 1, 1) + (gen() % (365 * 12)) + (gen() % 86400000) / 86400000.0;
        const TDateTime next = qv::nextRunAfter(item, last);
        const TDateTime t = item.DailyUseStartTime ? start : 0;
        SCOPED_TRACE(std::to_string(round) + ": kind " + std::to_string(item.Kind) + " after " + text(last));

        std::function<bool(const QDate &)> fits;
        switch (item.Kind) {
        case qv::skDaily:
            fits = [&](const QDate &d) { return d == qv::dateOfDayCount(last).addDays(item.DailyEveryNumDays + 1); };
            break;
        case qv::skWeekly:
            if (item.WeeklyEveryNumWeek != 0) {
                continue;
            }
            fits = [&](const QDate &d) { return item.weekday(d.dayOfWeek() - 1); };
            break;
        default:
            fits = [&](const QDate &d) {
                if (!item.month(d.month() - 1)) {
                    return false;
                }
                if (item.MonthlyKind == qv::mkEveryDay) {
                    return d.day() == item.MonthlyEveryNumDay + 1;
                }
                if (d.dayOfWeek() != item.MonthlyWhichDayWeek + 1) {
                    return false;
                }
                if (item.MonthlyWhichDayType == qv::wwLast) {
                    return d.day() + 7 > d.daysInMonth();
                }
                return (d.day() - 1) / 7 == item.MonthlyWhichDayType;
            };
            break;
        }
        const TDateTime expected = bruteForce(item, last, fits, t);
        if (expected >= qv::kNeverRun) {
            EXPECT_GE(next, qv::kNeverRun);
            continue;
        }
        ASSERT_LT(next, qv::kNeverRun);
        EXPECT_GT(qv::dayCountToMs(next), qv::dayCountToMs(last));
        EXPECT_TRUE(fits(qv::dateOfDayCount(next))) << text(next);
        EXPECT_EQ(qv::timeOfDayCount(next), qv::timeOfDayCount(t)) << text(next);
        EXPECT_EQ(text(next), text(expected));
        ++checked;
    }
    EXPECT_GT(checked, 1500);
}

TEST(ScheduleDaylightSaving, HourlyAndDailyEntriesNeverRunTwice)
{
    if (!inBerlinChild()) {
        return;
    }
    TTaskScheduleItem hourly;
    hourly.Kind = qv::skHourly;
    hourly.HourlyValue = 1;
    TTaskScheduleItem daily;
    daily.Kind = qv::skDaily;
    daily.DailyUseStartTime = true;
    daily.DailyStartTime = timeOnly(2, 30); // missing on the spring day, twice on the autumn day

    // Two days around each change, checked every 30 seconds of real time.
    for (const std::int64_t startUtc : {std::int64_t{1774656000} /* 2026-03-28 00:00 UTC */,
                                        std::int64_t{1792540800} /* 2026-10-24 00:00 UTC */}) {
        TDateTime hourlyLast = qv::dayCountFromUnix(startUtc);
        TDateTime dailyLast = hourlyLast;
        std::vector<std::int64_t> hourlyRuns;
        std::map<QDate, int> dailyRuns;
        for (std::int64_t t = startUtc; t < startUtc + 3 * 86400; t += 30) {
            const TDateTime now = qv::dayCountFromUnix(t);
            if (qv::isDueAt(hourly, hourlyLast, now)) {
                hourlyRuns.push_back(t);
                hourlyLast = now;
            }
            if (qv::isDueAt(daily, dailyLast, now)) {
                ++dailyRuns[qv::dateOfDayCount(now)];
                dailyLast = now;
            }
        }
        ASSERT_GT(hourlyRuns.size(), 60u);
        for (std::size_t i = 1; i < hourlyRuns.size(); ++i) {
            const std::int64_t gap = hourlyRuns[i] - hourlyRuns[i - 1];
            EXPECT_GE(gap, 3600) << "runs at " << hourlyRuns[i - 1] << " and " << hourlyRuns[i];
            EXPECT_LE(gap, 2 * 3600 + 30) << "runs at " << hourlyRuns[i - 1] << " and " << hourlyRuns[i];
        }
        EXPECT_EQ(dailyRuns.size(), 2u);
        for (const auto &[day, count] : dailyRuns) {
            EXPECT_EQ(count, 1) << day.toString().toStdString();
        }
    }
}

} // namespace
