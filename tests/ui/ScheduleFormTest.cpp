// The schedule dialog: enabling table, fill and write-back of every field, Cancel, pickers, typed values.
#include "ui/ScheduleForm.h"
#include "components/RangedField.h"
#include "core/settings/Settings.h"
#include "core/task/TaskStorage.h"
#include "core/text/Language.h"
#include "ui/DayCountEdit.h"
#include "ui/Help.h"
#include "ui/HelpTopics.h"
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

#include <cstdlib>
#include <functional>
#include <vector>

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
    // Each row turns on one input over a base with everything off; exactly its outputs follow.
    using In = ScheduleEnablingInput;
    using Out = ScheduleEnabling;
    struct Row
    {
        const char *what;
        std::function<void(In &)> set;
        std::function<void(Out &)> expect;
    };
    const Row rows[] = {
        {"nothing", [](In &) {}, [](Out &) {}},
        {"daily start time", [](In &i) { i.dailyUseStartTime = true; }, [](Out &o) { o.dailyTime = true; }},
        {"weekly start time", [](In &i) { i.weeklyUseStartTime = true; }, [](Out &o) { o.weeklyTime = true; }},
        {"monthly start time", [](In &i) { i.monthlyUseStartTime = true; }, [](Out &o) { o.monthlyTime = true; }},
        {"once time", [](In &i) { i.onceUseTime = true; }, [](Out &o) { o.onceTime = true; }},
        {"system wait", [](In &i) { i.systemStartupWait = true; }, [](Out &o) { o.systemStartupSeconds = true; }},
        {"program wait", [](In &i) { i.programStartupWait = true; }, [](Out &o) { o.programStartupSeconds = true; }},
        {"allow maximum", [](In &i) { i.shutdownAllowMax = true; }, [](Out &o) { o.shutdownSeconds = true; }},
        {"day-number radio", [](In &i) { i.monthlyRadio = 0; }, [](Out &o) { o.monthlyDay = true; }},
        {"which-day radio", [](In &i) { i.monthlyRadio = 1; }, [](Out &o) { o.monthlyWhichDay = true; }},
    };
    for (int kind = -1; kind <= 9; ++kind) {
        for (const Row &r : rows) {
            In in;
            in.kind = kind;
            in.monthlyRadio = -1;
            r.set(in);
            Out want;
            if (kind >= 0 && kind < 9) {
                want.groups[static_cast<std::size_t>(kind)] = true;
            }
            r.expect(want);
            EXPECT_TRUE(scheduleEnabling(in) == want) << r.what << " with kind " << kind;
        }
    }
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

TEST_F(ScheduleFormTest, TypedDayCountsAndUncheckedMonthsThroughTheDialog)
{
    // Typed into the daily selector and Return pressed at once (the default button, OK): a text
    // naming an item chooses it, any other text leaves the stored count (here "5-th").
    const struct
    {
        const char *typed;
        int expect;
    } rows[] = {{"5-th", 4}, {"20", 4}, {"2-nd", 1}, {"", 4}, {"14-th", 13}, {"15-th", 4}, {"3-RD", 2}, {"x", 4}};
    for (const auto &r : rows) {
        TTaskScheduleItem entry = sampleEntry();
        entry.Kind = skDaily;
        NextModal user([&r](QDialog *d) {
            QLineEdit *edit = static_cast<TScheduleForm *>(d)->DailyComboBoxEveryNumDays->lineEdit();
            QTest::mouseClick(edit, Qt::LeftButton);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, QString::fromLatin1(r.typed));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        EXPECT_TRUE(EditScheduleItem(entry)) << r.typed;
        EXPECT_TRUE(user.ran) << r.typed;
        EXPECT_EQ(entry.DailyEveryNumDays, r.expect) << r.typed;
    }
    // Every month unchecked is accepted and stored (such an entry never comes due).
    TTaskScheduleItem entry = sampleEntry();
    entry.Kind = skMonthly;
    NextModal user([](QDialog *d) {
        for (QCheckBox *m : static_cast<TScheduleForm *>(d)->MonthlyMonths) {
            if (m->isChecked()) {
                QTest::keyClick(m, Qt::Key_Space);
            }
        }
        qvtest::child<QPushButton>(d, "OKButton")->click();
    });
    EXPECT_TRUE(EditScheduleItem(entry));
    for (int i = 0; i < 12; ++i) {
        EXPECT_FALSE(entry.month(i)) << i;
    }
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

namespace {

// Selects the text of an up-down's entry field and types `text` over it.
void typeInto(RangedField *field, const char *text)
{
    auto *edit = field->findChild<QLineEdit *>();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromLatin1(text));
}

struct EditRow
{
    const char *what;
    int kind; // the kind whose group is shown while editing
    std::function<void(TScheduleForm *)> edit;
    std::function<bool(const TTaskScheduleItem &)> holds;
};

const std::vector<EditRow> &editRows()
{
    static const std::vector<EditRow> rows = {
        {"kind", 1, [](TScheduleForm *) {}, [](const TTaskScheduleItem &e) { return e.Kind == skHourly; }},
        {"minutes typed", 0, [](TScheduleForm *f) { typeInto(f->MinutellyUpDown, "45"); },
         [](const TTaskScheduleItem &e) { return e.MinutellyValue == 45; }},
        {"hours stepped", 1, [](TScheduleForm *f) { QTest::keyClick(f->HourlyUpDown, Qt::Key_Up); },
         [](const TTaskScheduleItem &e) { return e.HourlyValue == 8; }},
        {"days chosen", 2, [](TScheduleForm *f) { f->DailyComboBoxEveryNumDays->setCurrentIndex(9); },
         [](const TTaskScheduleItem &e) { return e.DailyEveryNumDays == 9; }},
        {"daily start off", 2, [](TScheduleForm *f) { f->DailyCheckBoxUseStartTime->click(); },
         [](const TTaskScheduleItem &e) { return !e.DailyUseStartTime; }},
        {"weeks chosen", 3, [](TScheduleForm *f) { f->WeeklyComboBoxEveryNumWeek->setCurrentIndex(9); },
         [](const TTaskScheduleItem &e) { return e.WeeklyEveryNumWeek == 9; }},
        {"tuesdays", 3, [](TScheduleForm *f) { f->WeeklyDays[1]->click(); },
         [](const TTaskScheduleItem &e) { return e.WeeklyTuesdays; }},
        {"weekly start on", 3, [](TScheduleForm *f) { f->WeeklyCheckBoxUseStartTime->click(); },
         [](const TTaskScheduleItem &e) { return e.WeeklyUseStartTime; }},
        {"day-number radio", 4, [](TScheduleForm *f) { f->MonthlyRadioButtonEveryNumDay->click(); },
         [](const TTaskScheduleItem &e) { return e.MonthlyKind == mkEveryDay; }},
        {"which-day type", 4, [](TScheduleForm *f) { f->MonthlyComboBoxWhichDayType->setCurrentIndex(1); },
         [](const TTaskScheduleItem &e) { return e.MonthlyWhichDayType == wwSecond; }},
        {"which-day week", 4, [](TScheduleForm *f) { f->MonthlyComboBoxWhichDayWeek->setCurrentIndex(6); },
         [](const TTaskScheduleItem &e) { return e.MonthlyWhichDayWeek == wdSunday; }},
        {"march", 4, [](TScheduleForm *f) { f->MonthlyMonths[2]->click(); },
         [](const TTaskScheduleItem &e) { return e.MonthlyMarch; }},
        {"system start-up wait", 5, [](TScheduleForm *f) { f->AtSystemStartupCheckBoxWait->click(); },
         [](const TTaskScheduleItem &e) { return e.AtSystemStartupWait; }},
        {"program start-up seconds", 6, [](TScheduleForm *f) { typeInto(f->AtProgramStartupUpDown, "75"); },
         [](const TTaskScheduleItem &e) { return e.AtProgramStartupWaitSecValue == 75; }},
        {"shutdown seconds", 7, [](TScheduleForm *f) { typeInto(f->ShutdownUpDown, "240"); },
         [](const TTaskScheduleItem &e) { return e.SystemShutdownMaxSec == 240; }},
        {"shutdown limit off", 7, [](TScheduleForm *f) { f->ShutdownCheckBoxAllowMax->click(); },
         [](const TTaskScheduleItem &e) { return !e.SystemShutdownLimitExecTime; }},
        {"once date", 8, [](TScheduleForm *f) { f->OnceDateTimePickerDate->setDate(QDate(2030, 5, 17)); },
         [](const TTaskScheduleItem &e) { return dateOfDayCount(e.OnceRunDate) == QDate(2030, 5, 17); }},
        {"once time off", 8, [](TScheduleForm *f) { f->OnceCheckBoxUseTime->click(); },
         [](const TTaskScheduleItem &e) { return !e.OnceUseStartTime; }},
        {"once time", 8, [](TScheduleForm *f) { f->OnceDateTimePickerTime->setTime(QTime(13, 14, 15)); },
         [](const TTaskScheduleItem &e) { return timeOfDayCount(e.OnceStartTime) == QTime(13, 14, 15); }},
    };
    return rows;
}

} // namespace

TEST_F(ScheduleFormTest, EachEditIsKeptByOkAndUndoneByCancel)
{
    for (const EditRow &row : editRows()) {
        for (bool ok : {true, false}) {
            TTaskScheduleItem entry = sampleEntry();
            const TTaskScheduleItem before = entry;
            NextModal user([&row, ok](QDialog *d) {
                auto *f = static_cast<TScheduleForm *>(d);
                f->MainScheduleKindComboBox->setCurrentIndex(row.kind);
                row.edit(f);
                qvtest::child<QPushButton>(d, ok ? "OKButton" : "CancelButton")->click();
            });
            EXPECT_EQ(EditScheduleItem(entry), ok) << row.what;
            EXPECT_TRUE(user.ran) << row.what;
            if (ok) {
                EXPECT_TRUE(row.holds(entry)) << row.what;
                EXPECT_TRUE(entry.Enabled) << row.what;
            } else {
                EXPECT_TRUE(entry == before) << row.what;
            }
        }
    }
}

TEST_F(ScheduleFormTest, PickersKeepThePartTheyDoNotShow)
{
    struct Picker
    {
        const char *name;
        TDateTime TTaskScheduleItem::*field;
        DayCountEdit *TScheduleForm::*picker;
        bool date;
    };
    const Picker pickers[] = {
        {"daily", &TTaskScheduleItem::DailyStartTime, &TScheduleForm::DailyDateTimePickerStartTime, false},
        {"weekly", &TTaskScheduleItem::WeeklyStartTime, &TScheduleForm::WeeklyDateTimePickerStartTime, false},
        {"monthly", &TTaskScheduleItem::MonthlyStartTime, &TScheduleForm::MonthlyDateTimePickerStartTime, false},
        {"once time", &TTaskScheduleItem::OnceStartTime, &TScheduleForm::OnceDateTimePickerTime, false},
        {"once date", &TTaskScheduleItem::OnceRunDate, &TScheduleForm::OnceDateTimePickerDate, true},
    };
    for (const Picker &p : pickers) {
        for (TDateTime stored : {45000.5, -1.25}) {
            TTaskScheduleItem entry = sampleEntry();
            entry.*p.field = stored;
            TScheduleForm form;
            form.load(entry);
            TTaskScheduleItem untouched = entry;
            form.store(untouched);
            EXPECT_EQ(untouched.*p.field, stored) << p.name << " " << stored;

            DayCountEdit *picker = form.*p.picker;
            if (p.date) {
                picker->setDate(QDate(2031, 2, 3));
            } else {
                picker->setTime(QTime(10, 20, 30));
            }
            EXPECT_TRUE(form.draft().*p.field != stored) << p.name << " " << stored;
            TTaskScheduleItem back = entry;
            form.store(back);
            const TDateTime v = back.*p.field;
            if (p.date) {
                EXPECT_EQ(dateOfDayCount(v), QDate(2031, 2, 3)) << p.name << " " << stored;
                EXPECT_LE(std::abs(timeOfDayCount(v).msecsTo(timeOfDayCount(stored))), 1) << p.name << " " << stored;
            } else {
                EXPECT_EQ(dateOfDayCount(v), dateOfDayCount(stored)) << p.name << " " << stored;
                EXPECT_LE(std::abs(timeOfDayCount(v).msecsTo(QTime(10, 20, 30))), 1) << p.name << " " << stored;
            }
        }
    }
}

TEST_F(ScheduleFormTest, EveryCallOverwritesTheScratchKeyAndANewEntryCancelledIsUntouched)
{
    TTaskScheduleItem first = sampleEntry();
    TTaskScheduleItem second;
    second.Kind = skOnce;
    second.HourlyValue = 11;
    const TTaskScheduleItem fresh = second;
    for (TTaskScheduleItem *entry : {&first, &second}) {
        NextModal user([](QDialog *d) {
            static_cast<TScheduleForm *>(d)->MinutellyUpDown->setValue(77);
            d->reject();
        });
        EXPECT_FALSE(EditScheduleItem(*entry));
        EXPECT_TRUE(user.ran);
        TTaskScheduleItem scratch;
        scratch.HourlyValue = 99;
        scratch.LoadFromRegistry(tempKeyPath("EditSchedule"));
        EXPECT_TRUE(scratch == *entry);
    }
    EXPECT_TRUE(second == fresh);
}

TEST_F(ScheduleFormTest, F1InTheDialogOpensItsTopic)
{
    TScheduleForm form;
    for (QWidget *w : std::initializer_list<QWidget *>{form.MinutellyUpDown, form.OnceDateTimePickerDate,
                                                       form.MonthlyMonths[5], form.TopEdit}) {
        EXPECT_EQ(help::helpKeywordOf(w), QString::fromLatin1(HelpTopics::kScheduleProp)) << w->objectName().toStdString();
    }
}
