// ScheduleForm: one entry of a task's own schedule, with its live caption.
#pragma once

#include "core/task/TaskScheduleItem.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace qv {

class DayCountEdit;
class RangedField;

class TScheduleForm : public QDialog
{
    Q_OBJECT
public:
    explicit TScheduleForm(QWidget *parent = nullptr);

    // Every control from the entry, then the enabling rules.
    void load(const TTaskScheduleItem &item);
    // Every control into the entry, whatever the kind; untouched numbers and times keep their values.
    void store(TTaskScheduleItem &item) const;
    const TTaskScheduleItem &draft() const { return m_draft; }
    void applyEnabling();

    QComboBox *MainScheduleKindComboBox;
    QLineEdit *TopEdit;
    QGroupBox *Groups[9];
    RangedField *MinutellyUpDown;
    RangedField *HourlyUpDown;
    QComboBox *DailyComboBoxEveryNumDays;
    QCheckBox *DailyCheckBoxUseStartTime;
    DayCountEdit *DailyDateTimePickerStartTime;
    QComboBox *WeeklyComboBoxEveryNumWeek;
    QCheckBox *WeeklyDays[7];
    QCheckBox *WeeklyCheckBoxUseStartTime;
    DayCountEdit *WeeklyDateTimePickerStartTime;
    QRadioButton *MonthlyRadioButtonEveryNumDay;
    QRadioButton *MonthlyRadioButtonWhichDay;
    QComboBox *MonthlyComboBoxEveryNumDay;
    QLabel *MonthlyLabelDayOfMonths;
    QComboBox *MonthlyComboBoxWhichDayType;
    QComboBox *MonthlyComboBoxWhichDayWeek;
    QLabel *MonthlyLabelOfMonths;
    QCheckBox *MonthlyMonths[12];
    QCheckBox *MonthlyCheckBoxUseStartTime;
    DayCountEdit *MonthlyDateTimePickerStartTime;
    QCheckBox *AtSystemStartupCheckBoxWait;
    RangedField *AtSystemStartupUpDown;
    QLabel *AtSystemStartupLabel;
    QCheckBox *AtProgramStartupCheckBoxWait;
    RangedField *AtProgramStartupUpDown;
    QLabel *AtProgramStartupLabel;
    QCheckBox *ShutdownCheckBoxAllowMax;
    RangedField *ShutdownUpDown;
    QLabel *ShutdownLabel;
    DayCountEdit *OnceDateTimePickerDate;
    QCheckBox *OnceCheckBoxUseTime;
    DayCountEdit *OnceDateTimePickerTime;

private:
    void buildRepeatGroups();
    void buildWeeklyGroup(QGroupBox *box);
    void buildMonthlyGroup(QGroupBox *box);
    void buildStartGroups();
    void connectChanges();
    void onChanged();

    TTaskScheduleItem m_draft;
    bool m_loading = false;
};

// Edits `item` in a modal dialog over `parent`; true when closed with OK (the entry then holds the
// dialog's values), false otherwise (the entry is as before). Writes the entry's scratch copy under
// "\Temp\EditSchedule" at every call.
bool EditScheduleItem(TTaskScheduleItem &item, QWidget *parent = nullptr);

} // namespace qv
