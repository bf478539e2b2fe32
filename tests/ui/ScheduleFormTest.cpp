// The schedule dialog: enabling table, fill and write-back of every field, Cancel, typed values.
#include "ui/ScheduleForm.h"
#include "components/RangedField.h"
#include "core/settings/Settings.h"
#include "core/task/TaskStorage.h"
#include "core/text/Language.h"
#include "ui/DayCountEdit.h"
#include "ui/ScheduleRules.h"

#include "support/DialogTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>


using namespace qv;
using qvtest::NextModal;

namespace {

TTaskScheduleItem sampleEntry()
{
    TTaskScheduleItem s;
    s.Kind = skWeekly;
    s.MinutellyValue = 15;
    s.HourlyValue = 7;
    s.DailyEveryNumDays = 4;
    s.DailyUseStartTime = true;
    s.DailyStartTime = 45000.5;
    s.WeeklyEveryNumWeek = 2;
    s.WeeklyTuesdays = false;
    s.WeeklySundays = false;
    s.WeeklyStartTime = -1.25;
    s.MonthlyKind = mkWhichDay;
    s.MonthlyEveryNumDay = 30;
    s.MonthlyWhichDayType = wwLast;
    s.MonthlyWhichDayWeek = wdFriday;
    s.MonthlyMarch = false;
    s.MonthlyUseStartTime = true;
    s.AtSystemStartupWait = false;
    s.AtSystemStartupWaitSecValue = 45;
    s.AtProgramStartupWaitSecValue = 12;
    s.SystemShutdownLimitExecTime = true;
    s.SystemShutdownMaxSec = 600;
    s.OnceRunDate = 45123.0;
    s.OnceUseStartTime = true;
    s.OnceStartTime = 0.75;
    return s;
}

class ScheduleFormTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetSettingsToDefaults(); }
    void TearDown() override { SetLanguageFile(nullptr); }
};

} // namespace

TEST(ScheduleRules, EnablingTable)
{
    struct Row
    {
        ScheduleEnablingInput in;
        ScheduleEnabling out;
    };
    ScheduleEnabling none;
    auto with = [](ScheduleEnabling e, int group) {
        if (group >= 0) {
            e.groups[static_cast<std::size_t>(group)] = true;
        }
        return e;
    };
    ScheduleEnabling all = none;
    all.dailyTime = all.weeklyTime = all.monthlyTime = all.onceTime = true;
    all.systemStartupSeconds = all.programStartupSeconds = all.shutdownSeconds = true;
    all.monthlyDay = true;
    ScheduleEnabling which = none;
    which.monthlyWhichDay = true;
    const Row rows[] = {
        {{0, false, false, false, -1, false, false, false, false}, with(none, 0)},
        {{4, true, true, true, 0, true, true, true, true}, with(all, 4)},
        {{4, false, false, false, 1, false, false, false, false}, with(which, 4)},
        {{8, false, false, false, 2, false, false, false, false}, with(none, 8)},
        {{9, false, false, false, -1, false, false, false, false}, with(none, -1)},
    };
    for (const Row &r : rows) {
        EXPECT_TRUE(scheduleEnabling(r.in) == r.out) << r.in.kind << " " << r.in.monthlyRadio;
    }
    ScheduleEnablingInput one;
    one.kind = 7;
    one.shutdownAllowMax = true;
    one.monthlyRadio = -1;
    ScheduleEnabling expect = with(none, 7);
    expect.shutdownSeconds = true;
    EXPECT_TRUE(scheduleEnabling(one) == expect);
}

TEST_F(ScheduleFormTest, EveryControlNameResolvesToExactlyOneWidget)
{
    TScheduleForm form;
    QStringList names = {"MainScheduleKindComboBox", "TopEdit", "MinutellyGroupBox", "HourlyGroupBox",
                         "DailyGroupBox", "WeeklyGroupBox", "MonthlyGroupBox", "AtSystemStartupGroupBox",
                         "AtProgramStartupGroupBox", "ShutdownGroupBox", "OnceGroupBox", "MinutellyUpDown",
                         "MinutellyEdit", "HourlyUpDown", "HourlyEdit", "DailyComboBoxEveryNumDays",
                         "DailyCheckBoxUseStartTime", "DailyDateTimePickerStartTime", "WeeklyComboBoxEveryNumWeek",
                         "WeeklyCheckBoxUseStartTime", "WeeklyDateTimePickerStartTime",
                         "MonthlyRadioButtonEveryNumDay", "MonthlyRadioButtonWhichDay", "MonthlyComboBoxEveryNumDay",
                         "MonthlyComboBoxWhichDayType", "MonthlyComboBoxWhichDayWeek", "MonthlyCheckBoxUseStartTime",
                         "MonthlyDateTimePickerStartTime", "AtSystemStartupCheckBoxWait", "AtSystemStartupUpDown",
                         "AtSystemStartupEdit", "AtProgramStartupCheckBoxWait", "AtProgramStartupUpDown",
                         "AtProgramStartupEdit", "ShutdownCheckBoxAllowMax", "ShutdownUpDown", "ShutdownEdit",
                         "OnceDateTimePickerDate", "OnceCheckBoxUseTime", "OnceDateTimePickerTime", "OKButton",
                         "CancelButton", "HelpButton"};
    for (const char *d : {"Mondays", "Tuesdays", "Wednesdays", "Thursdays", "Fridays", "Saturdays", "Sundays"}) {
        names << QStringLiteral("WeeklyCheckBox") + d;
    }
    for (const char *m : {"January", "February", "March", "April", "May", "June", "July", "August", "September",
                          "October", "November", "December"}) {
        names << QStringLiteral("MonthlyCheckBox") + m;
    }
    for (const QString &n : names) {
        EXPECT_EQ(form.findChildren<QWidget *>(n).size(), 1) << n.toStdString();
    }
    EXPECT_EQ(form.windowTitle(), "Schedule Properties");
    EXPECT_EQ(form.DailyComboBoxEveryNumDays->count(), 14);
    EXPECT_EQ(form.DailyComboBoxEveryNumDays->itemText(0), "1-st");
    EXPECT_EQ(form.MonthlyComboBoxEveryNumDay->itemText(30), "31-th");
    EXPECT_EQ(form.WeeklyComboBoxEveryNumWeek->count(), 10);
}

TEST_F(ScheduleFormTest, FillAndOkWriteEveryFieldBackUnchanged)
{
    TTaskScheduleItem entry = sampleEntry();
    entry.MinutellyValue = 0; // shown as 1, kept unless edited
    entry.SystemShutdownMaxSec = 99999;
    const TTaskScheduleItem before = entry;
    NextModal modal([](QDialog *d) { d->findChild<QPushButton *>("OKButton")->click(); });
    EXPECT_TRUE(EditScheduleItem(entry));
    EXPECT_TRUE(modal.ran);
    EXPECT_TRUE(entry == before) << entry.GetStrCaption();
    TScheduleForm form;
    form.load(before);
    EXPECT_EQ(form.MinutellyUpDown->value(), 1);
    EXPECT_EQ(form.ShutdownUpDown->value(), 32767);
    EXPECT_TRUE(form.Groups[3]->isVisibleTo(&form));
    EXPECT_FALSE(form.Groups[0]->isVisibleTo(&form));
}

TEST_F(ScheduleFormTest, NewEntryKeeps180AndCancelAndCloseRestoreEverything)
{
    TTaskScheduleItem fresh;
    ASSERT_EQ(fresh.SystemShutdownMaxSec, 180);
    {
        NextModal modal([](QDialog *d) { d->findChild<QPushButton *>("OKButton")->click(); });
        EXPECT_TRUE(EditScheduleItem(fresh));
        EXPECT_EQ(fresh.SystemShutdownMaxSec, 180);
    }
    for (bool closeWindow : {false, true}) {
        TTaskScheduleItem entry = sampleEntry();
        const TTaskScheduleItem before = entry;
        NextModal modal([closeWindow](QDialog *d) {
            auto *f = static_cast<TScheduleForm *>(d);
            f->MainScheduleKindComboBox->setCurrentIndex(0);
            f->MinutellyUpDown->setValue(99);
            f->MonthlyMonths[0]->setChecked(false);
            f->ShutdownUpDown->setValue(3);
            f->OnceDateTimePickerTime->setTime(QTime(1, 2, 3));
            if (closeWindow) {
                d->close();
            } else {
                d->findChild<QPushButton *>("CancelButton")->click();
            }
        });
        EXPECT_FALSE(EditScheduleItem(entry));
        EXPECT_TRUE(modal.ran);
        EXPECT_TRUE(entry == before);
        TTaskScheduleItem scratch;
        scratch.LoadFromRegistry(tempKeyPath("EditSchedule"));
        EXPECT_TRUE(scratch == before);
    }
}

TEST_F(ScheduleFormTest, KindChangesKeepWeekdaysAndCaptionFollows)
{
    TTaskScheduleItem entry = sampleEntry();
    NextModal modal([](QDialog *d) {
        auto *f = static_cast<TScheduleForm *>(d);
        f->MainScheduleKindComboBox->setCurrentIndex(8);
        f->MainScheduleKindComboBox->setCurrentIndex(3);
        f->MainScheduleKindComboBox->setCurrentIndex(0);
        f->MinutellyUpDown->findChild<QLineEdit *>()->selectAll();
        QTest::keyClicks(f->MinutellyUpDown, "15");
        EXPECT_EQ(f->TopEdit->text(), "Run every 15 minute(s).");
        QTest::keyClick(f->MinutellyUpDown, Qt::Key_Return); // OK at once
    });
    EXPECT_TRUE(EditScheduleItem(entry));
    EXPECT_TRUE(modal.ran);
    EXPECT_EQ(entry.Kind, skMinutelly);
    EXPECT_EQ(entry.MinutellyValue, 15);
    EXPECT_FALSE(entry.WeeklyTuesdays);
    EXPECT_FALSE(entry.WeeklySundays);
    EXPECT_TRUE(entry.WeeklyMondays);
}

TEST_F(ScheduleFormTest, TypedDailyTextAndUncheckedMonthsAndPickers)
{
    const struct
    {
        const char *typed;
        int expect;
    } rows[] = {{"5-th", 4}, {"20", 4}, {"2-nd", 1}, {"", 4}, {"14-th", 13}, {"15-th", 4}};
    for (const auto &r : rows) {
        TTaskScheduleItem entry = sampleEntry();
        TScheduleForm form;
        form.load(entry);
        form.DailyComboBoxEveryNumDays->setEditText(QString::fromLatin1(r.typed));
        TTaskScheduleItem back = entry;
        form.store(back);
        EXPECT_EQ(back.DailyEveryNumDays, r.expect) << r.typed;
    }
    TTaskScheduleItem entry = sampleEntry();
    TScheduleForm form;
    form.load(entry);
    for (QCheckBox *m : form.MonthlyMonths) {
        m->setChecked(false);
    }
    form.WeeklyDateTimePickerStartTime->setTime(QTime(10, 0));
    TTaskScheduleItem back = entry;
    form.store(back);
    for (int i = 0; i < 12; ++i) {
        EXPECT_FALSE(back.month(i)) << i;
    }
    EXPECT_EQ(dateOfDayCount(back.WeeklyStartTime), dateOfDayCount(-1.25));
    EXPECT_EQ(timeOfDayCount(back.WeeklyStartTime), QTime(10, 0));
    EXPECT_EQ(back.DailyStartTime, 45000.5);
}

TEST_F(ScheduleFormTest, EnablingIsAppliedDuringFillAndOnClicks)
{
    for (TMonthlyKind kind : {mkEveryDay, mkWhichDay}) {
        TTaskScheduleItem entry = sampleEntry();
        entry.Kind = skMonthly;
        entry.MonthlyKind = kind;
        TScheduleForm form;
        form.load(entry);
        EXPECT_EQ(form.MonthlyComboBoxEveryNumDay->isEnabled(), kind == mkEveryDay);
        EXPECT_EQ(form.MonthlyComboBoxWhichDayType->isEnabled(), kind == mkWhichDay);
        EXPECT_EQ(form.MonthlyComboBoxWhichDayWeek->isEnabled(), kind == mkWhichDay);
        EXPECT_TRUE(form.MonthlyDateTimePickerStartTime->isEnabled());
        EXPECT_TRUE(form.DailyDateTimePickerStartTime->isEnabled());
        EXPECT_FALSE(form.WeeklyDateTimePickerStartTime->isEnabled());
        EXPECT_FALSE(form.AtSystemStartupUpDown->isEnabled());
        EXPECT_TRUE(form.AtProgramStartupUpDown->isEnabled());
        EXPECT_TRUE(form.ShutdownUpDown->isEnabled());
        EXPECT_TRUE(form.OnceDateTimePickerTime->isEnabled());
        form.show();
        (kind == mkEveryDay ? form.MonthlyRadioButtonWhichDay : form.MonthlyRadioButtonEveryNumDay)->click();
        EXPECT_EQ(form.MonthlyComboBoxEveryNumDay->isEnabled(), kind != mkEveryDay);
        EXPECT_EQ(form.draft().MonthlyKind, kind == mkEveryDay ? mkWhichDay : mkEveryDay);
        (form.ShutdownCheckBoxAllowMax)->click();
        EXPECT_FALSE(form.ShutdownUpDown->isEnabled());
    }
}

TEST_F(ScheduleFormTest, LanguageFileRenamesCaptionAndAControl)
{
    SetLanguageFile(LanguageTable::parse("[ScheduleForm]\nScheduleForm.Caption=Zeitplan\n"
                                         "ScheduleForm.ShutdownCheckBoxAllowMax.Caption=Höchstens\n"));
    TScheduleForm form;
    EXPECT_EQ(form.windowTitle(), "Zeitplan");
    EXPECT_EQ(form.ShutdownCheckBoxAllowMax->text(), QString::fromUtf8("Höchstens"));
}
