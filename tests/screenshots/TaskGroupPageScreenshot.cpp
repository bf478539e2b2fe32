// Screenshots of the group pages in both flavours, filled with sample values.
#include "ui/taskprops/TaskGroupPage.h"

#include "components/TranslateForm.h"
#include "core/settings/Settings.h"

#include "core/TaskFillSupport.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;

TEST(TaskGroupPageScreenshots, EveryGroupInBothFlavours)
{
    ResetSettingsToDefaults();
    TTask task;
    qvtest::fillNonDefault(task);
    task.PowerManagement.BatteryMode = "S";
    const TaskSettings s = task.settings();
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    for (GroupFlavour flavour : {GroupFlavour::Task, GroupFlavour::Defaults}) {
        for (int g = 0; g <= static_cast<int>(TaskGroup::Email); ++g) {
            TaskGroupPage page(static_cast<TaskGroup>(g), flavour);
            page.setObjectName(TaskGroupPage::prefix(page.group()) + "GroupPage");
            TranslateForm(&page);
            page.load(s);
            page.resize(520, 380);
            page.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
            const QString file = dir + "/taskgroup-" + (flavour == GroupFlavour::Task ? "task-" : "defaults-") +
                                 TaskGroupPage::prefix(page.group()) + ".png";
            EXPECT_TRUE(page.grab().save(file)) << file.toStdString();
        }
    }
}
