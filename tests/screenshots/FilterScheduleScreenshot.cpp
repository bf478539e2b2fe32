// Screenshots of the filter dialog's five panels and the schedule dialog's nine groups on X11.
#include "core/settings/Settings.h"
#include "core/task/Filters.h"
#include "core/task/TaskScheduleItem.h"
#include "ui/FilterForm.h"
#include "ui/ScheduleForm.h"

#include "support/TestEnv.h"

#include <QComboBox>
#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;

namespace {

void shoot(QWidget &form, const QString &name)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(100);
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    const QString file = dir + "/" + name + ".png";
    EXPECT_TRUE(form.grab().save(file)) << file.toStdString();
}

} // namespace

TEST(FilterScheduleScreenshots, FilterPanels)
{
    ResetSettingsToDefaults();
    TTaskFilterItem item;
    item.fnWildcard = "*.tmp;*.bak;[a-";
    item.frContains = "/.cache/";
    item.dtSelector = fidtsDateBetween;
    item.szKind = fiskGreaterThan;
    item.szValue = 640;
    item.szMeasure = szmKilobytes;
    item.atHidden = true;
    TFilterForm form;
    form.load(item);
    const char *names[5] = {"FilterForm-File", "FilterForm-Folder", "FilterForm-DateTime", "FilterForm-Attributes",
                            "FilterForm-Size"};
    for (int i = 0; i < 5; ++i) {
        form.MainComboBoxKind->setCurrentIndex(i);
        shoot(form, QString::fromLatin1(names[i]));
    }
    form.close();
}

TEST(FilterScheduleScreenshots, ScheduleGroups)
{
    ResetSettingsToDefaults();
    TTaskScheduleItem entry;
    entry.MinutellyValue = 15;
    entry.WeeklySundays = false;
    entry.MonthlyKind = mkWhichDay;
    entry.SystemShutdownLimitExecTime = true;
    entry.OnceUseStartTime = true;
    TScheduleForm form;
    form.load(entry);
    const char *names[9] = {"ScheduleForm-Minutes",        "ScheduleForm-Hours",         "ScheduleForm-Days",
                            "ScheduleForm-Weeks",          "ScheduleForm-Months",        "ScheduleForm-SystemStartup",
                            "ScheduleForm-ProgramStartup", "ScheduleForm-Shutdown",      "ScheduleForm-Once"};
    for (int i = 0; i < 9; ++i) {
        form.MainScheduleKindComboBox->setCurrentIndex(i);
        shoot(form, QString::fromLatin1(names[i]));
    }
    form.close();
}
