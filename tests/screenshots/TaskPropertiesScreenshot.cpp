// Screenshots of every page of the task properties dialog over a filled task.
#include "ui/taskprops/ProjectPropertiesForm.h"

#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "platform/fake/FakeDialer.h"

#include "core/TaskFillSupport.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;

TEST(TaskPropertiesScreenshots, EveryPage)
{
    ResetSettingsToDefaults();
    FakeDialer dialer;
    dialer.entries = {"Home DSL", "Mobile"};
    setDialer(&dialer);
    TTask task;
    qvtest::fillNonDefault(task);
    task.TaskType = ttExactCopy;
    task.DestType = kDestLocal;
    task.DeleteKind = adkArchive;
    task.PowerManagement.BatteryMode = "S";
    task.Source = "/home/user/Pictures";
    TProjectPropertiesForm form(task);
    form.loadDraft();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    for (int i = 0; i < TProjectPropertiesForm::kPageCount; ++i) {
        form.showPage(i);
        QTest::qWait(20);
        const QString file = dir + QStringLiteral("/taskprops-%1-%2.png").arg(i, 2, 10, QLatin1Char('0')).arg(
                                       form.page(i)->objectName());
        EXPECT_TRUE(form.grab().save(file)) << file.toStdString();
    }
    form.close();
    setDialer(nullptr);
}
