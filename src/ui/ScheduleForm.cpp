// ScheduleForm: the schedule dialog and EditScheduleItem.
#include "ui/ScheduleForm.h"

#include "components/RangedField.h"
#include "components/TranslateForm.h"
#include "core/schedule/ScheduleCaption.h"
#include "core/task/TaskStorage.h"
#include "ui/DayCountEdit.h"
#include "ui/HelpTopics.h"
#include "ui/ScheduleRules.h"
#include "ui/SmallDialogButtons.h"
#include "ui/taskprops/EditPaint.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace qv {

namespace {

template <typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *label(QWidget *parent, const char *name, const char *text)
{
    return named(new QLabel(QString::fromLatin1(text), parent), name);
}

// An up-down with its entry field; the field inside keeps its own name.
RangedField *upDown(QWidget *parent, const char *name, const char *editName, int minimum)
{
    auto *f = named(new RangedField(minimum, 32767, parent), name);
    f->findChild<QLineEdit *>()->setObjectName(QString::fromLatin1(editName));
    return f;
}

QComboBox *ordinals(QWidget *parent, const char *name, int count)
{
    auto *c = named(new QComboBox(parent), name);
    for (int i = 1; i <= count; ++i) {
        c->addItem(QString::fromStdString(scheduleOrdinal(i)));
    }
    return c;
}

void setIndexIfValid(QComboBox *c, int value)
{
    if (value >= 0 && value < c->count()) {
        c->setCurrentIndex(value);
    }
}

template <typename E> void readIndex(const QComboBox *c, E &field)
{
    if (c->currentIndex() >= 0) {
        field = static_cast<E>(c->currentIndex());
    }
}

void setFieldColour(QWidget *field, bool on)
{
    setEditPaint(field, on);
}

void enable(std::initializer_list<QWidget *> widgets, bool on)
{
    for (QWidget *w : widgets) {
        w->setEnabled(on);
    }
}

const char *const kKinds[9] = {"Within Minutes",     "Within Hours",       "Within Days",
                               "Within Weeks",       "Within Months",      "At System Startup",
                               "At Program Startup", "At System Shutdown", "Once"};
const char *const kGroupNames[9] = {"MinutellyGroupBox",        "HourlyGroupBox",          "DailyGroupBox",
                                    "WeeklyGroupBox",           "MonthlyGroupBox",         "AtSystemStartupGroupBox",
                                    "AtProgramStartupGroupBox", "ShutdownGroupBox",        "OnceGroupBox"};
const char *const kWeekdays[7] = {"Mondays", "Tuesdays", "Wednesdays", "Thursdays", "Fridays", "Saturdays", "Sundays"};
const char *const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};

} // namespace

TScheduleForm::TScheduleForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ScheduleForm"));
    setWindowTitle(QStringLiteral("Schedule Properties"));
    setMinimumWidth(560);
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kScheduleProp));
    MainScheduleKindComboBox = named(new QComboBox(this), "MainScheduleKindComboBox");
    for (const char *k : kKinds) {
        MainScheduleKindComboBox->addItem(QString::fromLatin1(k));
    }
    TopEdit = named(new QLineEdit(this), "TopEdit");
    TopEdit->setReadOnly(true);
    TopEdit->setFrame(false);
    setFieldColour(TopEdit, false);
    auto *top = new QHBoxLayout;
    top->addWidget(label(this, "MainScheduleKindLabel", "Schedule Backup Project:"));
    top->addWidget(MainScheduleKindComboBox, 1);
    auto *stack = new QGridLayout;
    for (int i = 0; i < 9; ++i) {
        Groups[i] = named(new QGroupBox(QString::fromLatin1(kKinds[i]), this), kGroupNames[i]);
        stack->addWidget(Groups[i], 0, 0);
    }
    buildRepeatGroups();
    buildWeeklyGroup(Groups[3]);
    buildMonthlyGroup(Groups[4]);
    buildStartGroups();
    // Every group takes the room of the tallest, so the dialog keeps its size when the kind changes.
    int tallest = 0;
    for (QGroupBox *g : Groups) {
        tallest = std::max(tallest, g->sizeHint().height());
    }
    for (QGroupBox *g : Groups) {
        g->setMinimumHeight(tallest);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(TopEdit);
    layout->addLayout(stack, 1);
    QDialogButtonBox *buttons = addDialogButtons(this, true, true, true);
    buttons->findChild<QPushButton *>(QStringLiteral("OKButton"))->setText(QStringLiteral("&OK"));
    buttons->findChild<QPushButton *>(QStringLiteral("CancelButton"))->setText(QStringLiteral("&Cancel"));
    buttons->findChild<QPushButton *>(QStringLiteral("HelpButton"))->setText(QStringLiteral("&Help"));
    layout->addWidget(buttons);
    connectChanges();
    TranslateForm(this);
    load(m_draft);
}

void TScheduleForm::buildRepeatGroups()
{
    // Intervals start at 1: an entry is never due every second. A stored 0 is kept unless edited.
    MinutellyUpDown = upDown(Groups[0], "MinutellyUpDown", "MinutellyEdit", 1);
    auto *m = new QHBoxLayout;
    auto *mColumn = new QVBoxLayout(Groups[0]);
    mColumn->addLayout(m);
    mColumn->addStretch(1);
    m->addWidget(label(Groups[0], "MinutellyLabelEvery", "Every"));
    m->addWidget(MinutellyUpDown);
    m->addWidget(label(Groups[0], "MinutellyLabelUnit", "minute(s)"));
    m->addStretch(1);
    HourlyUpDown = upDown(Groups[1], "HourlyUpDown", "HourlyEdit", 1);
    auto *h = new QHBoxLayout;
    auto *hColumn = new QVBoxLayout(Groups[1]);
    hColumn->addLayout(h);
    hColumn->addStretch(1);
    h->addWidget(label(Groups[1], "HourlyLabelEvery", "Every"));
    h->addWidget(HourlyUpDown);
    h->addWidget(label(Groups[1], "HourlyLabelUnit", "hour(s)"));
    h->addStretch(1);
    QGroupBox *d = Groups[2];
    DailyComboBoxEveryNumDays = ordinals(d, "DailyComboBoxEveryNumDays", kDailyEveryNumDaysCount);
    DailyComboBoxEveryNumDays->setEditable(true);
    DailyComboBoxEveryNumDays->setInsertPolicy(QComboBox::NoInsert);
    DailyCheckBoxUseStartTime = named(new QCheckBox(QStringLiteral("Start time:"), d), "DailyCheckBoxUseStartTime");
    DailyDateTimePickerStartTime = named(new DayCountEdit(DayCountEdit::TimePart, d), "DailyDateTimePickerStartTime");
    auto *g = new QGridLayout(d);
    g->addWidget(label(d, "DailyLabelEvery", "Every"), 0, 0);
    g->addWidget(DailyComboBoxEveryNumDays, 0, 1);
    g->addWidget(label(d, "DailyLabelDay", "day"), 0, 2);
    g->addWidget(DailyCheckBoxUseStartTime, 1, 0);
    g->addWidget(DailyDateTimePickerStartTime, 1, 1);
    g->setColumnStretch(3, 1);
    g->setRowStretch(2, 1);
}

void TScheduleForm::buildWeeklyGroup(QGroupBox *w)
{
    WeeklyComboBoxEveryNumWeek = ordinals(w, "WeeklyComboBoxEveryNumWeek", kWeeklyEveryNumWeekCount);
    auto *g = new QGridLayout(w);
    g->addWidget(label(w, "WeeklyLabelEvery", "Every"), 0, 0);
    g->addWidget(WeeklyComboBoxEveryNumWeek, 0, 1);
    g->addWidget(label(w, "WeeklyLabelWeeks", "week(s) on:"), 0, 2);
    for (int i = 0; i < 7; ++i) {
        const QString name = QStringLiteral("WeeklyCheckBox") + QString::fromLatin1(kWeekdays[i]);
        WeeklyDays[i] = new QCheckBox(QString::fromLatin1(kWeekdays[i]), w);
        WeeklyDays[i]->setObjectName(name);
        g->addWidget(WeeklyDays[i], 1 + i / 3, i % 3);
    }
    WeeklyCheckBoxUseStartTime = named(new QCheckBox(QStringLiteral("Start time:"), w), "WeeklyCheckBoxUseStartTime");
    WeeklyDateTimePickerStartTime =
        named(new DayCountEdit(DayCountEdit::TimePart, w), "WeeklyDateTimePickerStartTime");
    g->addWidget(WeeklyCheckBoxUseStartTime, 4, 0);
    g->addWidget(WeeklyDateTimePickerStartTime, 4, 1);
    g->setRowStretch(5, 1);
}

void TScheduleForm::buildMonthlyGroup(QGroupBox *m)
{
    MonthlyRadioButtonEveryNumDay = named(new QRadioButton(QStringLiteral("Every"), m), "MonthlyRadioButtonEveryNumDay");
    MonthlyComboBoxEveryNumDay = ordinals(m, "MonthlyComboBoxEveryNumDay", kMonthlyEveryNumDayCount);
    MonthlyLabelDayOfMonths = label(m, "MonthlyLabelDayOfMonths", "day of the month(s)");
    MonthlyRadioButtonWhichDay = named(new QRadioButton(QStringLiteral("Every"), m), "MonthlyRadioButtonWhichDay");
    MonthlyComboBoxWhichDayType = named(new QComboBox(m), "MonthlyComboBoxWhichDayType");
    MonthlyComboBoxWhichDayType->addItems({QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third"),
                                           QStringLiteral("fourth"), QStringLiteral("last")});
    MonthlyComboBoxWhichDayWeek = named(new QComboBox(m), "MonthlyComboBoxWhichDayWeek");
    MonthlyComboBoxWhichDayWeek->addItems({QStringLiteral("Monday"), QStringLiteral("Tuesday"),
                                           QStringLiteral("Wednesday"), QStringLiteral("Thursday"),
                                           QStringLiteral("Friday"), QStringLiteral("Saturday"),
                                           QStringLiteral("Sunday")});
    MonthlyLabelOfMonths = label(m, "MonthlyLabelOfMonths", "of the month(s)");
    auto *g = new QGridLayout(m);
    g->addWidget(MonthlyRadioButtonEveryNumDay, 0, 0);
    g->addWidget(MonthlyComboBoxEveryNumDay, 0, 1);
    g->addWidget(MonthlyLabelDayOfMonths, 0, 2, 1, 2);
    g->addWidget(MonthlyRadioButtonWhichDay, 1, 0);
    g->addWidget(MonthlyComboBoxWhichDayType, 1, 1);
    g->addWidget(MonthlyComboBoxWhichDayWeek, 1, 2);
    g->addWidget(MonthlyLabelOfMonths, 1, 3);
    for (int i = 0; i < 12; ++i) {
        MonthlyMonths[i] = new QCheckBox(QString::fromLatin1(kMonths[i]), m);
        MonthlyMonths[i]->setObjectName(QStringLiteral("MonthlyCheckBox") + QString::fromLatin1(kMonths[i]));
        g->addWidget(MonthlyMonths[i], 2 + i / 4, i % 4);
    }
    MonthlyCheckBoxUseStartTime = named(new QCheckBox(QStringLiteral("Start time:"), m), "MonthlyCheckBoxUseStartTime");
    MonthlyDateTimePickerStartTime =
        named(new DayCountEdit(DayCountEdit::TimePart, m), "MonthlyDateTimePickerStartTime");
    g->addWidget(MonthlyCheckBoxUseStartTime, 5, 0);
    g->addWidget(MonthlyDateTimePickerStartTime, 5, 1);
    g->setRowStretch(6, 1);
}

void TScheduleForm::buildStartGroups()
{
    const auto waitRow = [](QGroupBox *box, QCheckBox *check, RangedField *field, QLabel *unit) {
        auto *row = new QHBoxLayout;
        row->addWidget(check);
        row->addWidget(field);
        row->addWidget(unit);
        row->addStretch(1);
        auto *v = new QVBoxLayout(box);
        v->addLayout(row);
        v->addStretch(1);
    };
    AtSystemStartupCheckBoxWait = named(new QCheckBox(QStringLiteral("Wait"), Groups[5]), "AtSystemStartupCheckBoxWait");
    AtSystemStartupUpDown = upDown(Groups[5], "AtSystemStartupUpDown", "AtSystemStartupEdit", 0);
    AtSystemStartupLabel = label(Groups[5], "AtSystemStartupLabel", "seconds before Run");
    waitRow(Groups[5], AtSystemStartupCheckBoxWait, AtSystemStartupUpDown, AtSystemStartupLabel);
    AtProgramStartupCheckBoxWait =
        named(new QCheckBox(QStringLiteral("Wait"), Groups[6]), "AtProgramStartupCheckBoxWait");
    AtProgramStartupUpDown = upDown(Groups[6], "AtProgramStartupUpDown", "AtProgramStartupEdit", 0);
    AtProgramStartupLabel = label(Groups[6], "AtProgramStartupLabel", "seconds before Run");
    waitRow(Groups[6], AtProgramStartupCheckBoxWait, AtProgramStartupUpDown, AtProgramStartupLabel);
    // 0..32767 seconds: a new entry's 180 s is shown and kept.
    ShutdownCheckBoxAllowMax =
        named(new QCheckBox(QStringLiteral("Allow maximum"), Groups[7]), "ShutdownCheckBoxAllowMax");
    ShutdownUpDown = upDown(Groups[7], "ShutdownUpDown", "ShutdownEdit", 0);
    ShutdownLabel = label(Groups[7], "ShutdownLabel", "seconds of Project work, and terminate ");
    waitRow(Groups[7], ShutdownCheckBoxAllowMax, ShutdownUpDown, ShutdownLabel);
    QGroupBox *o = Groups[8];
    OnceDateTimePickerDate = named(new DayCountEdit(DayCountEdit::LongDatePart, o), "OnceDateTimePickerDate");
    // Room for the longest long date (weekday and month names written out).
    const QString longest = QLocale().toString(QDate(2000, 9, 27), QLocale::LongFormat);
    OnceDateTimePickerDate->setMinimumWidth(OnceDateTimePickerDate->fontMetrics().horizontalAdvance(longest) + 48);
    OnceCheckBoxUseTime = named(new QCheckBox(QStringLiteral("Time:"), o), "OnceCheckBoxUseTime");
    OnceDateTimePickerTime = named(new DayCountEdit(DayCountEdit::TimePart, o), "OnceDateTimePickerTime");
    auto *g = new QGridLayout(o);
    g->addWidget(label(o, "OnceLabelRunOn", "Run on:"), 0, 0, 1, 2);
    g->addWidget(label(o, "OnceLabelDate", "Date:"), 1, 0);
    g->addWidget(OnceDateTimePickerDate, 1, 1);
    g->addWidget(OnceCheckBoxUseTime, 2, 0);
    g->addWidget(OnceDateTimePickerTime, 2, 1);
    g->setColumnStretch(2, 1);
    g->setRowStretch(3, 1);
}

void TScheduleForm::connectChanges()
{
    const auto changed = [this] { onChanged(); };
    for (QComboBox *c : {MainScheduleKindComboBox, WeeklyComboBoxEveryNumWeek, MonthlyComboBoxEveryNumDay,
                         MonthlyComboBoxWhichDayType, MonthlyComboBoxWhichDayWeek}) {
        connect(c, &QComboBox::currentIndexChanged, this, changed);
    }
    connect(DailyComboBoxEveryNumDays, &QComboBox::currentTextChanged, this, changed);
    for (RangedField *f : {MinutellyUpDown, HourlyUpDown, AtSystemStartupUpDown, AtProgramStartupUpDown,
                           ShutdownUpDown}) {
        connect(f, &QSpinBox::valueChanged, this, changed);
    }
    for (DayCountEdit *d : {DailyDateTimePickerStartTime, WeeklyDateTimePickerStartTime,
                            MonthlyDateTimePickerStartTime, OnceDateTimePickerDate, OnceDateTimePickerTime}) {
        connect(d, &DayCountEdit::storedValueChanged, this, changed);
    }
    for (QCheckBox *c : {DailyCheckBoxUseStartTime, WeeklyCheckBoxUseStartTime, MonthlyCheckBoxUseStartTime,
                         AtSystemStartupCheckBoxWait, AtProgramStartupCheckBoxWait, ShutdownCheckBoxAllowMax,
                         OnceCheckBoxUseTime}) {
        connect(c, &QCheckBox::toggled, this, changed);
    }
    for (QCheckBox *c : WeeklyDays) {
        connect(c, &QCheckBox::toggled, this, changed);
    }
    for (QCheckBox *c : MonthlyMonths) {
        connect(c, &QCheckBox::toggled, this, changed);
    }
    // The monthly rule follows its radio buttons also while the dialog is filled.
    for (QRadioButton *r : {MonthlyRadioButtonEveryNumDay, MonthlyRadioButtonWhichDay}) {
        connect(r, &QRadioButton::toggled, this, [this] {
            applyEnabling();
            onChanged();
        });
    }
}

void TScheduleForm::load(const TTaskScheduleItem &item)
{
    m_loading = true;
    m_draft = item;
    setIndexIfValid(MainScheduleKindComboBox, item.Kind);
    MinutellyUpDown->setStoredValue(item.MinutellyValue);
    HourlyUpDown->setStoredValue(item.HourlyValue);
    setIndexIfValid(DailyComboBoxEveryNumDays, item.DailyEveryNumDays);
    DailyCheckBoxUseStartTime->setChecked(item.DailyUseStartTime);
    DailyDateTimePickerStartTime->setStoredValue(item.DailyStartTime);
    setIndexIfValid(WeeklyComboBoxEveryNumWeek, item.WeeklyEveryNumWeek);
    for (int i = 0; i < 7; ++i) {
        WeeklyDays[i]->setChecked(item.weekday(i));
    }
    WeeklyCheckBoxUseStartTime->setChecked(item.WeeklyUseStartTime);
    WeeklyDateTimePickerStartTime->setStoredValue(item.WeeklyStartTime);
    MonthlyRadioButtonEveryNumDay->setChecked(item.MonthlyKind == mkEveryDay);
    MonthlyRadioButtonWhichDay->setChecked(item.MonthlyKind == mkWhichDay);
    setIndexIfValid(MonthlyComboBoxEveryNumDay, item.MonthlyEveryNumDay);
    setIndexIfValid(MonthlyComboBoxWhichDayType, item.MonthlyWhichDayType);
    setIndexIfValid(MonthlyComboBoxWhichDayWeek, item.MonthlyWhichDayWeek);
    for (int i = 0; i < 12; ++i) {
        MonthlyMonths[i]->setChecked(item.month(i));
    }
    MonthlyCheckBoxUseStartTime->setChecked(item.MonthlyUseStartTime);
    MonthlyDateTimePickerStartTime->setStoredValue(item.MonthlyStartTime);
    AtSystemStartupCheckBoxWait->setChecked(item.AtSystemStartupWait);
    AtSystemStartupUpDown->setStoredValue(item.AtSystemStartupWaitSecValue);
    AtProgramStartupCheckBoxWait->setChecked(item.AtProgramStartupWait);
    AtProgramStartupUpDown->setStoredValue(item.AtProgramStartupWaitSecValue);
    ShutdownCheckBoxAllowMax->setChecked(item.SystemShutdownLimitExecTime);
    ShutdownUpDown->setStoredValue(item.SystemShutdownMaxSec);
    OnceDateTimePickerDate->setStoredValue(item.OnceRunDate);
    OnceCheckBoxUseTime->setChecked(item.OnceUseStartTime);
    OnceDateTimePickerTime->setStoredValue(item.OnceStartTime);
    m_loading = false;
    onChanged();
}

void TScheduleForm::store(TTaskScheduleItem &item) const
{
    readIndex(MainScheduleKindComboBox, item.Kind);
    item.MinutellyValue = static_cast<std::int32_t>(MinutellyUpDown->storedValue());
    item.HourlyValue = static_cast<std::int32_t>(HourlyUpDown->storedValue());
    // Typed text that matches no item leaves the field.
    const int daily = DailyComboBoxEveryNumDays->findText(DailyComboBoxEveryNumDays->currentText().trimmed(),
                                                          Qt::MatchFixedString);
    if (daily >= 0) {
        item.DailyEveryNumDays = static_cast<std::uint8_t>(daily);
    }
    item.DailyUseStartTime = DailyCheckBoxUseStartTime->isChecked();
    item.DailyStartTime = DailyDateTimePickerStartTime->storedValue();
    readIndex(WeeklyComboBoxEveryNumWeek, item.WeeklyEveryNumWeek);
    for (int i = 0; i < 7; ++i) {
        item.weekday(i) = WeeklyDays[i]->isChecked();
    }
    item.WeeklyUseStartTime = WeeklyCheckBoxUseStartTime->isChecked();
    item.WeeklyStartTime = WeeklyDateTimePickerStartTime->storedValue();
    if (MonthlyRadioButtonEveryNumDay->isChecked()) {
        item.MonthlyKind = mkEveryDay;
    } else if (MonthlyRadioButtonWhichDay->isChecked()) {
        item.MonthlyKind = mkWhichDay;
    }
    readIndex(MonthlyComboBoxEveryNumDay, item.MonthlyEveryNumDay);
    readIndex(MonthlyComboBoxWhichDayType, item.MonthlyWhichDayType);
    readIndex(MonthlyComboBoxWhichDayWeek, item.MonthlyWhichDayWeek);
    for (int i = 0; i < 12; ++i) {
        item.month(i) = MonthlyMonths[i]->isChecked();
    }
    item.MonthlyUseStartTime = MonthlyCheckBoxUseStartTime->isChecked();
    item.MonthlyStartTime = MonthlyDateTimePickerStartTime->storedValue();
    item.AtSystemStartupWait = AtSystemStartupCheckBoxWait->isChecked();
    item.AtSystemStartupWaitSecValue = static_cast<std::int32_t>(AtSystemStartupUpDown->storedValue());
    item.AtProgramStartupWait = AtProgramStartupCheckBoxWait->isChecked();
    item.AtProgramStartupWaitSecValue = static_cast<std::int32_t>(AtProgramStartupUpDown->storedValue());
    item.SystemShutdownLimitExecTime = ShutdownCheckBoxAllowMax->isChecked();
    item.SystemShutdownMaxSec = static_cast<std::int32_t>(ShutdownUpDown->storedValue());
    item.OnceRunDate = OnceDateTimePickerDate->storedValue();
    item.OnceUseStartTime = OnceCheckBoxUseTime->isChecked();
    item.OnceStartTime = OnceDateTimePickerTime->storedValue();
}

void TScheduleForm::applyEnabling()
{
    ScheduleEnablingInput in;
    in.kind = MainScheduleKindComboBox->currentIndex();
    in.dailyUseStartTime = DailyCheckBoxUseStartTime->isChecked();
    in.weeklyUseStartTime = WeeklyCheckBoxUseStartTime->isChecked();
    in.monthlyUseStartTime = MonthlyCheckBoxUseStartTime->isChecked();
    in.monthlyRadio = MonthlyRadioButtonEveryNumDay->isChecked() ? 0 : (MonthlyRadioButtonWhichDay->isChecked() ? 1 : -1);
    in.onceUseTime = OnceCheckBoxUseTime->isChecked();
    in.systemStartupWait = AtSystemStartupCheckBoxWait->isChecked();
    in.programStartupWait = AtProgramStartupCheckBoxWait->isChecked();
    in.shutdownAllowMax = ShutdownCheckBoxAllowMax->isChecked();
    const ScheduleEnabling e = scheduleEnabling(in);
    for (int i = 0; i < 9; ++i) {
        Groups[i]->setVisible(e.groups[static_cast<std::size_t>(i)]);
    }
    DailyDateTimePickerStartTime->setEnabled(e.dailyTime);
    WeeklyDateTimePickerStartTime->setEnabled(e.weeklyTime);
    MonthlyDateTimePickerStartTime->setEnabled(e.monthlyTime);
    OnceDateTimePickerTime->setEnabled(e.onceTime);
    enable({MonthlyComboBoxEveryNumDay, MonthlyLabelDayOfMonths}, e.monthlyDay);
    enable({MonthlyComboBoxWhichDayType, MonthlyComboBoxWhichDayWeek, MonthlyLabelOfMonths}, e.monthlyWhichDay);
    enable({AtSystemStartupUpDown, AtSystemStartupLabel}, e.systemStartupSeconds);
    enable({AtProgramStartupUpDown, AtProgramStartupLabel}, e.programStartupSeconds);
    enable({ShutdownUpDown, ShutdownLabel}, e.shutdownSeconds);
}

void TScheduleForm::onChanged()
{
    if (m_loading) {
        return;
    }
    store(m_draft);
    TopEdit->setText(QString::fromStdString(m_draft.GetStrCaption()));
    TopEdit->setCursorPosition(0);
    TopEdit->setToolTip(TopEdit->text());
    applyEnabling();
}

bool EditScheduleItem(TTaskScheduleItem &item, QWidget *parent)
{
    // The undo copy; a store that cannot take it never keeps the dialog from opening.
    saveEditCopy("EditSchedule", [&item](const std::string &key) { item.SaveToRegistry(key); });
    TScheduleForm form(parent);
    form.load(item);
    if (form.exec() != QDialog::Accepted) {
        return false;
    }
    TTaskScheduleItem result = form.draft();
    form.store(result);
    item = result;
    return true;
}

} // namespace qv
