// Date and time variables: one fixed moment in full, week numbers at year and month ends, the
// locale's names, and python3's calendar as an oracle over many moments.
#include "VarlogTestSupport.h"

#include "core/text/VariablesDate.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace varlogtest;
using qv::ExpandVariables;

namespace {

TEST(DateVariables, EveryValueAtOneMoment)
{
    // Saturday, 5 December 2026, 19:30:05: day 339 of the year, ISO week 49.
    ClockGuard clock(QDateTime(QDate(2026, 12, 5), QTime(19, 30, 5)));
    FakeTask t;
    struct Case {
        const char *name, *expected;
    };
    const Case cases[] = {
        {"DateTime", "20261205193005"}, {"Date", "20261205"},        {"Year", "2026"},
        {"Month", "12"},                {"Day", "05"},              {"Time", "193005"},
        {"Hour", "19"},                 {"Min", "30"},              {"Sec", "05"},
        {"WeekOfYear", "49"},           {"WeekOfMonth", "1"},       {"WeekDayNum", "6"},
        {"DayOfYear", "339"},           {"DayOfWeek", "6"},         {"HourOfYear", "8131"},
        {"HourOfWeek", "139"},          {"HourOfMonth", "115"},     {"MinuteOfYear", "487890"},
        {"MinuteOfMonth", "6930"},      {"MinuteOfWeek", "8370"},   {"MinuteOfDay", "1170"},
        {"SecondOfYear", "29273405"},   {"SecondOfMonth", "415805"}, {"SecondOfWeek", "502205"},
        {"SecondOfDay", "70205"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExpandVariables(t, std::string("%") + c.name + "%"), c.expected);
    }
}

TEST(DateVariables, SmallValuesArePaddedOnlyWhereTheyHaveAWidth)
{
    ClockGuard clock(QDateTime(QDate(987, 1, 2), QTime(3, 4, 5)));
    FakeTask t;
    EXPECT_EQ(ExpandVariables(t, "%DateTime%"), "09870102030405");
    EXPECT_EQ(ExpandVariables(t, "%Year%|%DayOfYear%|%MinuteOfDay%|%SecondOfDay%"), "0987|2|184|11045");
}

TEST(DateVariables, WeeksAtYearAndMonthEnds)
{
    struct Case {
        QDate date;
        int weekOfYear;
        int weekOfMonth;
    };
    const Case cases[] = {
        {QDate(2027, 1, 1), 53, 5}, // a Friday: its week belongs to December 2026
        {QDate(2027, 1, 3), 53, 5}, // the Sunday of that week
        {QDate(2027, 1, 4), 1, 1},  // Monday: the first week of 2027 and of January
        {QDate(2026, 1, 1), 1, 1},  // a Thursday: the week holding it belongs to January
        {QDate(2025, 12, 29), 1, 1}, // Monday of the week of 1 January 2026
        {QDate(2024, 12, 30), 1, 1}, // ISO 2025-W01, week of 2 January 2025
        {QDate(2020, 12, 31), 53, 5},
        {QDate(2026, 12, 31), 53, 5},
        {QDate(2026, 3, 1), 9, 4},  // a Sunday: its week belongs to February
        {QDate(2026, 3, 2), 10, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.date.toString(Qt::ISODate).toStdString());
        ClockGuard clock(QDateTime(c.date, QTime(12, 0)));
        FakeTask t;
        EXPECT_EQ(ExpandVariables(t, "%WeekOfYear%"), std::to_string(c.weekOfYear));
        EXPECT_EQ(ExpandVariables(t, "%WeekOfMonth%"), std::to_string(c.weekOfMonth));
        EXPECT_EQ(qv::isoWeekOfMonth(c.date), c.weekOfMonth);
    }
}

TEST(DateVariables, NamesFromTheLocale)
{
    ClockGuard clock(QDateTime(QDate(2026, 12, 5), QTime(19, 30, 5)));
    FakeTask t;
    {
        LocaleGuard locale(QLocale(QLocale::English, QLocale::UnitedStates));
        EXPECT_EQ(ExpandVariables(t, "%MonthOfYearStr%|%MonthOfYearString%|%WeekDayStr%|%WeekDayString%"),
                  "Dec|December|Sat|Saturday");
    }
    {
        LocaleGuard locale(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(ExpandVariables(t, "%MonthOfYearString%-%WeekDayString%"), "Dezember-Samstag");
    }
    clock.clock().set(QDateTime(QDate(2026, 1, 4), QTime(0, 0))); // a Sunday in January
    LocaleGuard locale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(ExpandVariables(t, "%MonthOfYearString% %WeekDayString% %WeekDayNum%"), "January Sunday 7");
}

TEST(DateVariables, OneExpansionSharesOneMoment)
{
    // The clock steps a second at every read: within one expansion every value still agrees.
    class SteppingClock : public qv::Clock
    {
    public:
        QDateTime now() const override
        {
            m_t = m_t.addSecs(1);
            return m_t;
        }
        mutable QDateTime m_t{QDate(2026, 12, 31), QTime(23, 59, 58)};
    } stepping;
    qv::setClock(&stepping);
    FakeTask t;
    const std::string out = ExpandVariables(t, "%Date% %Time% %Year%");
    qv::setClock(nullptr);
    EXPECT_EQ(out, "20261231 235959 2026");
}

// The calendar values at many moments, checked against python3's datetime.
TEST(DateVariablesInterop, AgreeWithPythonCalendar)
{
    QV_REQUIRE_TOOL("python3");
    std::vector<QDateTime> moments;
    for (int year : {1999, 2000, 2004, 2015, 2020, 2021, 2026, 2027, 2032, 2100}) {
        for (QDate d : {QDate(year, 1, 1), QDate(year, 1, 2), QDate(year, 1, 3), QDate(year, 1, 4),
                        QDate(year, 2, 28), QDate(year, 3, 1), QDate(year, 6, 30), QDate(year, 12, 28),
                        QDate(year, 12, 29), QDate(year, 12, 31)}) {
            moments.emplace_back(d, QTime((year + d.day()) % 24, d.day() % 60, year % 60));
        }
    }
    std::ostringstream script;
    script << "import datetime\n"
              "for s in '''";
    for (const auto &m : moments) {
        script << m.toString("yyyy-MM-dd HH:mm:ss").toStdString() << "\n";
    }
    script << "'''.split('\\n'):\n"
              "  if not s: continue\n"
              "  t = datetime.datetime.strptime(s, '%Y-%m-%d %H:%M:%S')\n"
              "  y, w, wd = t.isocalendar()\n"
              "  th = t.date() + datetime.timedelta(days=4 - wd)\n"
              "  soy = t - datetime.datetime(t.year, 1, 1)\n"
              "  som = t - datetime.datetime(t.year, t.month, 1)\n"
              "  sow = t - datetime.datetime.combine(t.date() - datetime.timedelta(days=wd - 1), "
              "datetime.time())\n"
              "  sec = lambda d: d.days * 86400 + d.seconds\n"
              "  print(w, (th.day - 1) // 7 + 1, wd, t.timetuple().tm_yday, sec(soy) // 3600, "
              "sec(sow) // 60, sec(som), sec(sow))\n";
    const std::string dir = qvtest::makeTempDir("pycal");
    qvtest::writeFile(dir + "/cal.py", script.str());
    const auto result = qvtest::runCommand({"python3", dir + "/cal.py"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::istringstream lines(result.output);
    FakeTask t;
    for (const auto &m : moments) {
        std::string expected;
        ASSERT_TRUE(std::getline(lines, expected));
        ClockGuard clock(m);
        SCOPED_TRACE(m.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(ExpandVariables(t, "%WeekOfYear% %WeekOfMonth% %WeekDayNum% %DayOfYear% %HourOfYear% "
                                     "%MinuteOfWeek% %SecondOfMonth% %SecondOfWeek%"),
                  expected);
    }
}

} // namespace
