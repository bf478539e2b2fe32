// The scheduler's rules: next runs of every kind, the due test, captions and next-run texts, the
// disabled scheduler and the start-up and shutdown starts.
#include "RunsTestSupport.h"

#include "core/runs/BackupData.h"
#include "core/text/LocaleText.h"
#include "core/schedule/ScheduleNextRun.h"

#include <QLocale>
#include <QTimer>

namespace {

using namespace runstest;
using qv::TDateTime;
using qv::TTaskScheduleItem;

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return qv::encodeDayCount(QDate(y, mo, d), QTime(h, mi, s));
}

std::string text(TDateTime v)
{
    return qv::fromDayCount(v).toString("yyyy-MM-dd HH:mm:ss").toStdString();
}

TDateTime timeOnly(int h, int mi)
{
    return qv::encodeDayCount(QDate(1899, 12, 30), QTime(h, mi));
}

TTaskScheduleItem entry(qv::TScheduleKind kind)
{
    TTaskScheduleItem item;
    item.Kind = kind;
    return item;
}

void chooseWeekdays(TTaskScheduleItem &item, std::initializer_list<int> days)
{
    for (int d = 0; d < 7; ++d) {
        item.weekday(d) = false;
    }
    for (int d : days) {
        item.weekday(d) = true;
    }
}

void chooseMonths(TTaskScheduleItem &item, std::initializer_list<int> months)
{
    for (int m = 0; m < 12; ++m) {
        item.month(m) = false;
    }
    for (int m : months) {
        item.month(m - 1) = true;
    }
}

TEST(ScheduleNextRun, EveryKindFromATable)
{
    struct Case {
        const char *what;
        std::function<void(TTaskScheduleItem &)> set;
        TDateTime lastRun;
        std::string expected; // "never" for kNeverRun
    };
    const std::vector<Case> cases = {
        {"every 2 hours", [](auto &i) { i = entry(qv::skHourly); }, at(2026, 3, 10, 10, 15, 30), "2026-03-10 12:15:30"},
        {"every 30 minutes", [](auto &i) { i = entry(qv::skMinutelly); }, at(2026, 3, 10, 23, 45), "2026-03-11 00:15:00"},
        {"minutes below 1 count as 1",
         [](auto &i) {
             i = entry(qv::skMinutelly);
             i.MinutellyValue = 0;
         },
         at(2026, 3, 10, 10, 0), "2026-03-10 10:01:00"},
        {"hours below 1 count as 1",
         [](auto &i) {
             i = entry(qv::skHourly);
             i.HourlyValue = -5;
         },
         at(2026, 3, 10, 10, 0), "2026-03-10 11:00:00"},
        {"daily at 09:00",
         [](auto &i) {
             i = entry(qv::skDaily);
             i.DailyUseStartTime = true;
             i.DailyStartTime = timeOnly(9, 0);
         },
         at(2026, 3, 5, 14, 0), "2026-03-06 09:00:00"},
        {"daily at midnight", [](auto &i) { i = entry(qv::skDaily); }, at(2026, 3, 5, 14, 0), "2026-03-06 00:00:00"},
        {"every 3rd day",
         [](auto &i) {
             i = entry(qv::skDaily);
             i.DailyEveryNumDays = 2;
         },
         at(2026, 2, 27, 1, 0), "2026-03-02 00:00:00"},
        {"weekly, no weekday",
         [](auto &i) {
             i = entry(qv::skWeekly);
             chooseWeekdays(i, {});
         },
         at(2026, 3, 9), "never"},
        // Mon, Wed, Fri at 09:00: from a Monday run, Wednesday of the same week.
        {"weekly Mon Wed Fri after Monday",
         [](auto &i) {
             i = entry(qv::skWeekly);
             chooseWeekdays(i, {0, 2, 4});
             i.WeeklyUseStartTime = true;
             i.WeeklyStartTime = timeOnly(9, 0);
         },
         at(2026, 3, 9, 9, 0, 1), "2026-03-11 09:00:00"},
        {"weekly Mon Wed Fri after Friday",
         [](auto &i) {
             i = entry(qv::skWeekly);
             chooseWeekdays(i, {0, 2, 4});
             i.WeeklyUseStartTime = true;
             i.WeeklyStartTime = timeOnly(9, 0);
         },
         at(2026, 3, 13, 9, 30), "2026-03-16 09:00:00"},
        {"weekly on Monday before its time",
         [](auto &i) {
             i = entry(qv::skWeekly);
             chooseWeekdays(i, {0});
             i.WeeklyUseStartTime = true;
             i.WeeklyStartTime = timeOnly(9, 0);
         },
         at(2026, 3, 9, 8, 0), "2026-03-09 09:00:00"},
        {"every 2nd week, Sunday run",
         [](auto &i) {
             i = entry(qv::skWeekly);
             chooseWeekdays(i, {1, 6});
             i.WeeklyEveryNumWeek = 1;
         },
         at(2026, 3, 15, 12, 0), "2026-03-24 00:00:00"},
        {"monthly, no month",
         [](auto &i) {
             i = entry(qv::skMonthly);
             chooseMonths(i, {});
         },
         at(2026, 1, 15), "never"},
        {"day 31 after 15 January",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyEveryNumDay = 30;
         },
         at(2026, 1, 15, 10, 0), "2026-01-31 00:00:00"},
        {"day 31 after 31 January skips February",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyEveryNumDay = 30;
         },
         at(2026, 1, 31, 10, 0), "2026-03-31 00:00:00"},
        {"day 31 of May only",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyEveryNumDay = 30;
             chooseMonths(i, {5});
         },
         at(2026, 6, 1), "2027-05-31 00:00:00"},
        {"day 29 of February only",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyEveryNumDay = 28;
             chooseMonths(i, {2});
         },
         at(2024, 3, 1), "2028-02-29 00:00:00"},
        {"day 31 of February only: never",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyEveryNumDay = 30;
             chooseMonths(i, {2});
         },
         at(2026, 1, 1), "never"},
        {"last Friday at 09:00 after 1 March",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyKind = qv::mkWhichDay;
             i.MonthlyWhichDayType = qv::wwLast;
             i.MonthlyWhichDayWeek = qv::wdFriday;
             i.MonthlyUseStartTime = true;
             i.MonthlyStartTime = timeOnly(9, 0);
         },
         at(2026, 3, 1, 10, 0), "2026-03-27 09:00:00"},
        // The first Monday of June 2026 is the 1st (an ISO week of May would say the 8th).
        {"first Monday, month starting on Monday",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyKind = qv::mkWhichDay;
         },
         at(2026, 5, 20), "2026-06-01 00:00:00"},
        // 1 January 2027 is a Friday: its first Friday is the 1st, not in the last week of 2026.
        {"first Friday of a month starting on Friday",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyKind = qv::mkWhichDay;
             i.MonthlyWhichDayWeek = qv::wdFriday;
         },
         at(2026, 12, 20), "2027-01-01 00:00:00"},
        {"fourth Sunday in a chosen month",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyKind = qv::mkWhichDay;
             i.MonthlyWhichDayType = qv::wwFourth;
             i.MonthlyWhichDayWeek = qv::wdSunday;
             chooseMonths(i, {8});
         },
         at(2026, 3, 1), "2026-08-23 00:00:00"},
        {"second Tuesday after this month's",
         [](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyKind = qv::mkWhichDay;
             i.MonthlyWhichDayType = qv::wwSecond;
             i.MonthlyWhichDayWeek = qv::wdTuesday;
         },
         at(2026, 3, 10, 0, 0, 1), "2026-04-14 00:00:00"},
        {"once at 09:00",
         [](auto &i) {
             i = entry(qv::skOnce);
             i.OnceRunDate = at(2026, 7, 4, 17, 30);
             i.OnceUseStartTime = true;
             i.OnceStartTime = timeOnly(9, 0);
         },
         at(2026, 1, 1), "2026-07-04 09:00:00"},
        {"disabled", [](auto &i) { i = entry(qv::skHourly), i.Enabled = false; }, at(2026, 1, 1), "never"},
        {"system startup", [](auto &i) { i = entry(qv::skAtSystemStartup); }, at(2026, 1, 1), "never"},
        {"program startup", [](auto &i) { i = entry(qv::skAtProgramStartup); }, at(2026, 1, 1), "never"},
        {"system shutdown", [](auto &i) { i = entry(qv::skAtSystemShutdown); }, at(2026, 1, 1), "never"},
    };
    for (const Case &c : cases) {
        TTaskScheduleItem item;
        c.set(item);
        const TDateTime next = qv::nextRunAfter(item, c.lastRun);
        EXPECT_EQ(next >= qv::kNeverRun ? std::string("never") : text(next), c.expected) << c.what;
    }
}

TEST(ScheduleNextRun, DueTestOfTimedKindsAndOnce)
{
    TTaskScheduleItem hourly = entry(qv::skHourly);
    const TDateTime last = at(2026, 3, 10, 10, 15, 30);
    EXPECT_FALSE(qv::isDueAt(hourly, last, at(2026, 3, 10, 12, 15, 29)));
    EXPECT_TRUE(qv::isDueAt(hourly, last, at(2026, 3, 10, 12, 15, 30)));
    // Equal within rounding counts as equal.
    EXPECT_TRUE(qv::isDueAt(hourly, last, at(2026, 3, 10, 12, 15, 30) - 1e-10));
    hourly.Enabled = false;
    EXPECT_FALSE(qv::isDueAt(hourly, last, at(2026, 3, 11)));
    for (auto kind : {qv::skAtSystemStartup, qv::skAtProgramStartup, qv::skAtSystemShutdown}) {
        EXPECT_FALSE(qv::isDueAt(entry(kind), last, at(2030, 1, 1)));
    }

    TTaskScheduleItem once = entry(qv::skOnce);
    once.OnceRunDate = at(2026, 7, 4);
    once.OnceUseStartTime = true;
    once.OnceStartTime = timeOnly(9, 0);
    const struct {
        TDateTime lastRun, now;
        bool due;
    } cases[] = {
        {at(2026, 7, 1), at(2026, 7, 4, 8, 59, 59), false},
        {at(2026, 7, 1), at(2026, 7, 4, 9, 0), true},
        {at(2026, 7, 1), at(2026, 7, 4, 23, 0), true},
        {at(2026, 7, 4, 9, 0, 1), at(2026, 7, 4, 9, 30), false}, // ran: not again today
        {at(2026, 7, 4, 8, 0), at(2026, 7, 4, 9, 0), true},     // a run by hand before its time
        {at(2026, 7, 1), at(2026, 7, 5, 0, 0, 1), false},       // its day passed: never
        {at(2026, 7, 9), at(2026, 7, 4, 9, 30), false},         // last run in the future
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::isDueAt(once, c.lastRun, c.now), c.due) << text(c.lastRun) << " / " << text(c.now);
    }
}

// The locale's short date (the texts put it before the time).
std::string day(int y, int m, int d)
{
    return qv::shortDateText(QDate(y, m, d), QLocale());
}

class ScheduleTexts : public RunsFixture
{
protected:
    void SetUp() override
    {
        RunsFixture::SetUp();
        QLocale::setDefault(QLocale::c());
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::system());
        RunsFixture::TearDown();
    }
};

TEST_F(ScheduleTexts, CaptionsOfEveryKind)
{
    struct Case {
        std::function<void(TTaskScheduleItem &)> set;
        std::string caption;
    };
    // "fouth" below is the program's own text, misspelt on purpose: do not correct it.
    const std::vector<Case> cases = {
        {[](auto &i) { i = entry(qv::skMinutelly); }, "Run every 30 minute(s)."},
        {[](auto &i) { i = entry(qv::skHourly); }, "Run every 2 hour(s)."},
        {[](auto &i) { i = entry(qv::skDaily); }, "Run everyday."},
        {[](auto &i) {
             i = entry(qv::skDaily);
             i.DailyEveryNumDays = 2;
             i.DailyUseStartTime = true;
             i.DailyStartTime = timeOnly(9, 0);
         },
         "Run every 3-rd day; starting at 09:00:00."},
        {[](auto &i) {
             i = entry(qv::skWeekly);
             chooseWeekdays(i, {0, 2, 4});
         },
         "Run every week on Mon, Wed, Fri."},
        {[](auto &i) {
             i = entry(qv::skWeekly);
             chooseWeekdays(i, {});
             i.WeeklyEveryNumWeek = 1;
         },
         "Run every 2-nd week on [no items]."},
        {[](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyEveryNumDay = 20;
             chooseMonths(i, {1, 12});
         },
         "Run every 21-th day of month(s): Jan, Dec."},
        {[](auto &i) {
             i = entry(qv::skMonthly);
             i.MonthlyKind = qv::mkWhichDay;
             i.MonthlyWhichDayType = qv::wwFourth;
             i.MonthlyWhichDayWeek = qv::wdSunday;
             chooseMonths(i, {3});
             i.MonthlyUseStartTime = true;
             i.MonthlyStartTime = timeOnly(18, 5);
         },
         "Run every fouth Sunday of month(s): Mar; starting at 18:05:00."},
        {[](auto &i) { i = entry(qv::skAtSystemStartup); }, "Run at system startup (wait 90 seconds)."},
        {[](auto &i) {
             i = entry(qv::skAtProgramStartup);
             i.AtProgramStartupWait = false;
         },
         "Run at program startup."},
        {[](auto &i) { i = entry(qv::skAtSystemShutdown); }, "Run at system shutdown."},
        {[](auto &i) {
             i = entry(qv::skAtSystemShutdown);
             i.SystemShutdownLimitExecTime = true;
         },
         "Run at system shutdown (limit Task work time to 180 seconds)."},
        {[](auto &i) {
             i = entry(qv::skOnce);
             i.OnceRunDate = at(2026, 7, 4);
             i.OnceUseStartTime = true;
             i.OnceStartTime = timeOnly(9, 0);
         },
         "Run once at: " + day(2026, 7, 4) + " 09:00:00."},
        {[](auto &i) {
             i = entry(qv::skOnce);
             i.OnceRunDate = at(2026, 7, 4);
         },
         "Run once at: " + day(2026, 7, 4) + "."},
    };
    for (const Case &c : cases) {
        TTaskScheduleItem item;
        c.set(item);
        EXPECT_EQ(item.GetStrCaption(), c.caption);
    }
}

TEST_F(ScheduleTexts, NextRunColumn)
{
    qv::FixedClock fixed(QDateTime(QDate(2026, 3, 10), QTime(10, 0)));
    qv::setClock(&fixed);
    qv::TTask task;
    task.LastRun = at(2026, 3, 10, 9, 0);
    EXPECT_EQ(task.GetStrNextRun(), "Manually");

    task.Schedules.Add(entry(qv::skAtProgramStartup));
    EXPECT_EQ(task.GetStrNextRun(), "At program startup");
    task.Schedules.Add(entry(qv::skAtSystemShutdown));
    EXPECT_EQ(task.GetStrNextRun(), "At program startup, at system shutdown");
    task.Schedules.Add(entry(qv::skHourly));
    EXPECT_EQ(task.GetStrNextRun(), day(2026, 3, 10) + " 11:00:00, at program startup, at system shutdown");
    TTaskScheduleItem minutely = entry(qv::skMinutelly);
    task.Schedules.Add(minutely);
    EXPECT_EQ(task.GetStrNextRun(), day(2026, 3, 10) + " 09:30:00, at program startup, at system shutdown");

    // Entries that can never run, and disabled ones, are left out.
    task.Schedules.Clear();
    TTaskScheduleItem weekly = entry(qv::skWeekly);
    chooseWeekdays(weekly, {});
    task.Schedules.Add(weekly);
    TTaskScheduleItem monthly = entry(qv::skMonthly);
    chooseMonths(monthly, {});
    task.Schedules.Add(monthly);
    TTaskScheduleItem disabled = entry(qv::skHourly);
    disabled.Enabled = false;
    task.Schedules.Add(disabled);
    EXPECT_EQ(task.GetStrNextRun(), "undefined");

    // A once-entry shows until it has run or its day is over.
    task.Schedules.Clear();
    TTaskScheduleItem once = entry(qv::skOnce);
    once.OnceRunDate = at(2026, 3, 10);
    once.OnceUseStartTime = true;
    once.OnceStartTime = timeOnly(12, 0);
    task.Schedules.Add(once);
    EXPECT_EQ(task.GetStrNextRun(), day(2026, 3, 10) + " 12:00:00");
    task.LastRun = at(2026, 3, 10, 12, 0, 2);
    EXPECT_EQ(task.GetStrNextRun(), "undefined");
    task.LastRun = at(2026, 3, 9);
    fixed.set(QDateTime(QDate(2026, 3, 11), QTime(0, 0, 1)));
    EXPECT_EQ(task.GetStrNextRun(), "undefined");
}

class ScheduledStarts : public RunsFixture
{
};

TEST_F(ScheduledStarts, DisabledSchedulerWarnsOncePerInterval)
{
    qv::DisableScheduler = true;
    qv::FixedClock fixed(QDateTime(QDate(2026, 3, 10), QTime(10, 0)));
    qv::setClock(&fixed);
    auto task = makeTask("skipped", qvtest::makeTempDir("src"), qvtest::makeTempDir("dst"));
    task->LastRun = at(2026, 3, 10, 9, 0);
    TTaskScheduleItem minutely = entry(qv::skMinutelly);
    minutely.MinutellyValue = 5;
    task->Schedules.Add(minutely);
    // Ten minutes of once-a-second checks.
    for (int s = 0; s < 600; ++s) {
        task->CheckSchedules();
        fixed.advanceMs(1000);
    }
    EXPECT_EQ(countKind(*task, qv::kLogWarning), 2) << joined(events(*task)); // at 10:00 and 10:05
    EXPECT_EQ(events(*task).front(), "6 WARNING: Task start time skipped because of disabled scheduler! Click "
                                     "\"Disable Scheduler\" on the toolbar to resume scheduling in future.");
    EXPECT_FALSE(task->Running);
    EXPECT_TRUE(alerter.alerts.empty());
}

TEST_F(ScheduledStarts, DueEntryStartsAnAutomaticRunAndStaysDueWhileRefused)
{
    qv::FixedClock fixed(QDateTime(QDate(2026, 3, 10), QTime(10, 0)));
    qv::setClock(&fixed);
    qv::Suspend = true; // the run holds at its gate while the checks go on
    auto task = makeTask("due", qvtest::makeTempDir("src"), qvtest::makeTempDir("dst"));
    task->LastRun = at(2026, 3, 10, 7, 0);
    task->Schedules.Add(entry(qv::skHourly));
    task->CheckSchedules();
    ASSERT_TRUE(task->Running);
    EXPECT_EQ(task->StartMode, qv::kStartAutomatic);
    EXPECT_DOUBLE_EQ(task->LastRun, qv::Now());
    EXPECT_EQ(alerter.count(qv::akStart), 1);
    fixed.advanceMs(3 * 3600 * 1000);
    task->CheckSchedules(); // due again, refused while running
    EXPECT_EQ(alerter.count(qv::akStart), 1);
    task->Stop();
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
}

TEST_F(ScheduledStarts, StartupWaitsOnTheTaskTimerAndShutdownLimitsTheRun)
{
    qv::DisableScheduler = true; // each automatic start shows as one warning
    qv::TBackupData data;
    auto immediate = makeTask("immediate", qvtest::makeTempDir("s1"), qvtest::makeTempDir("d1"));
    TTaskScheduleItem program = entry(qv::skAtProgramStartup);
    program.AtProgramStartupWait = false;
    immediate->Schedules.Add(program);
    auto delayed = makeTask("delayed", qvtest::makeTempDir("s2"), qvtest::makeTempDir("d2"));
    TTaskScheduleItem system = entry(qv::skAtSystemStartup);
    system.AtSystemStartupWaitSecValue = 1;
    delayed->Schedules.Add(entry(qv::skAtSystemStartup)); // an earlier entry: the last one counts
    delayed->Schedules.Add(system);
    auto none = makeTask("none", qvtest::makeTempDir("s3"), qvtest::makeTempDir("d3"));
    TTaskScheduleItem disabled = entry(qv::skAtProgramStartup);
    disabled.Enabled = false;
    none->Schedules.Add(disabled);
    qv::TTask *pImmediate = data.Tasks.Add(std::move(immediate));
    qv::TTask *pDelayed = data.Tasks.Add(std::move(delayed));
    qv::TTask *pNone = data.Tasks.Add(std::move(none));

    bool wait = false;
    int seconds = 0;
    EXPECT_TRUE(pDelayed->GetSystemStartupWait(wait, seconds));
    EXPECT_TRUE(wait);
    EXPECT_EQ(seconds, 1);
    EXPECT_FALSE(pNone->GetProgramStartupWait(wait, seconds));

    data.StartAtProgramStartup();
    data.StartAtSystemStartup();
    EXPECT_EQ(countKind(*pImmediate, qv::kLogWarning), 1);
    EXPECT_EQ(countKind(*pDelayed, qv::kLogWarning), 0);
    EXPECT_TRUE(pDelayed->Timer->isActive());
    EXPECT_EQ(pDelayed->Timer->interval(), 1000);
    ASSERT_TRUE(waitFor([&] { return countKind(*pDelayed, qv::kLogWarning) == 1; }, 10000));
    EXPECT_FALSE(pDelayed->Timer->isActive()) << "the timer fires once";
    waitFor([] { return false; }, 1300);
    EXPECT_EQ(countKind(*pDelayed, qv::kLogWarning), 1);
    EXPECT_EQ(countKind(*pNone, qv::kLogWarning), 0);

    // Shutdown: a limited run is stopped when its time is up.
    qv::DisableScheduler = false;
    qv::Suspend = true; // holds the run until the limit stops it
    TTaskScheduleItem shutdown = entry(qv::skAtSystemShutdown);
    shutdown.SystemShutdownLimitExecTime = true;
    shutdown.SystemShutdownMaxSec = 1;
    pNone->Schedules.Add(shutdown);
    pNone->Filters = pImmediate->Filters;
    data.StartAtSystemShutdown();
    EXPECT_TRUE(pNone->Running);
    EXPECT_FALSE(pImmediate->Running);
    EXPECT_TRUE(pNone->Timer->isActive());
    ASSERT_TRUE(waitFor([&] { return !pNone->Running; }, 10000));
    EXPECT_EQ(events(*pNone).back(), "2 Backup ABORTED!");
}

} // namespace
