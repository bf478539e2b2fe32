// Dates and times as locale text: short date, long time without a zone, midnight without a time.
#include "core/text/LocaleText.h"

#include <gtest/gtest.h>

namespace {

TEST(LocaleText, ShortDateAndLongTime)
{
    struct Case {
        QLocale locale;
        QTime time;
        const char *expected;
    };
    const QDate date(2026, 12, 5);
    const Case cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), QTime(19, 30, 5), "12/5/26 7:30:05 PM"},
        {QLocale(QLocale::English, QLocale::UnitedStates), QTime(0, 0, 1), "12/5/26 12:00:01 AM"},
        {QLocale(QLocale::German, QLocale::Germany), QTime(19, 30, 5), "05.12.26 19:30:05"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), QTime(9, 5, 0), "05/12/2026 09:05:00"},
        {QLocale::c(), QTime(19, 30, 5), "5 Dec 2026 19:30:05"},
        {QLocale(QLocale::English, QLocale::UnitedStates), QTime(0, 0), "12/5/26"},
        {QLocale(QLocale::German, QLocale::Germany), QTime(0, 0), "05.12.26"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        EXPECT_EQ(qv::DateTimeToStr(QDateTime(date, c.time), c.locale), c.expected);
    }
}

TEST(LocaleText, NoZoneNameInTheLongTime)
{
    for (auto lang : {QLocale::English, QLocale::German, QLocale::French, QLocale::Japanese, QLocale::Russian}) {
        const QLocale l(lang);
        const std::string t = qv::longTimeText(QTime(19, 30, 5), l);
        SCOPED_TRACE(l.name().toStdString() + ": " + t);
        EXPECT_NE(t.find("30"), std::string::npos);
        EXPECT_NE(t.find("05"), std::string::npos);
        EXPECT_EQ(t.find("UTC"), std::string::npos);
        EXPECT_EQ(t.find("GMT"), std::string::npos);
        EXPECT_NE(t.back(), ' ');
    }
}

TEST(LocaleText, DayCountForm)
{
    const QLocale l(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(qv::DateTimeToStr(qv::encodeDayCount(QDate(2026, 12, 5), QTime(19, 30, 5)), l), "12/5/26 7:30:05 PM");
}

} // namespace
