// Screenshots of the task properties list pages and the Event Alerts page on X11, with contents.
#include "ui/taskprops/TaskPageTestSupport.h"

#include "core/schedule/TaskSchedulerControl.h"
#include "platform/fake/FakeSystemScheduler.h"
#include "ui/taskprops/TaskEventsPage.h"
#include "ui/taskprops/TaskFiltersPage.h"
#include "ui/taskprops/TaskSchedulesPage.h"
#include "ui/taskprops/TaskSourcesPage.h"
#include "ui/taskprops/TaskSystemTimerPage.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using taskpagetest::FakeTaskContext;

namespace {

void shoot(QWidget &w, const QString &name)
{
    w.resize(620, 440);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(100);
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    EXPECT_TRUE(w.grab().save(dir + "/" + name + ".png")) << name.toStdString();
    w.hide();
}

std::unique_ptr<TTask> sampleTask()
{
    auto task = std::make_unique<TTask>();
    task->Name = "Documents";
    task->Source = "!>/home/ann/Documents,|/home/ann/Pictures";
    const char *masks[] = {"*.tmp", "*.bak;*.old", "~*", "*.iso", "Thumbs.db", "*.part",
                           "*.o", "*.pyc", "*.swp", "*.log", "*.cache", "*.crdownload"};
    for (int i = 0; i < 12; ++i) {
        TTaskFilterItem f;
        f.FilterType = i % 4 == 3 ? fitInclude : fitExclude;
        if (i == 5) {
            f.FilterKind = fikFolderName;
            f.frContains = "/.cache/";
        } else {
            f.fnWildcard = masks[i];
        }
        f.Enabled = i % 5 != 2;
        task->Filters.Add(f);
    }
    for (int i = 0; i < 12; ++i) {
        TTaskScheduleItem s;
        s.Kind = static_cast<TScheduleKind>(i % 4);
        s.HourlyValue = 1 + i;
        s.Enabled = i % 3 != 1;
        task->Schedules.Add(s);
    }
    return task;
}

} // namespace

TEST(TaskPagesScreenshots, ListPagesAndEventAlerts)
{
    FakeSystemScheduler scheduler;
    setSystemScheduler(&scheduler);
    SetSystemTimerEditor([](const std::string &, std::vector<std::string> &calendars) {
        calendars = {"Mon..Fri *-*-* 22:30:00", "Sat *-*-* 09:00:00"};
        return true;
    });
    auto task = sampleTask();
    FakeTaskContext context(task.get());

    TaskSourcesPage sources;
    sources.setContext(&context);
    sources.load(context.draft());
    shoot(sources, QStringLiteral("TaskPage-Sources"));

    TaskFiltersPage filters;
    filters.setContext(&context);
    filters.load(context.draft());
    filters.selectRow(3);
    shoot(filters, QStringLiteral("TaskPage-Filters"));

    TaskSchedulesPage schedules;
    schedules.setContext(&context);
    schedules.load(context.draft());
    schedules.selectRow(1);
    shoot(schedules, QStringLiteral("TaskPage-Schedules"));

    TaskSystemTimerPage timer;
    timer.setContext(&context);
    timer.load(context.draft());
    timer.addOrModify();
    shoot(timer, QStringLiteral("TaskPage-SystemTimer"));

    TaskEventsPage events;
    events.setContext(&context);
    context.draft().EventAlerts.ScheduledErrorSound = true;
    context.draft().EventAlerts.ScheduledErrorSoundFile = "/usr/share/sounds/error.wav";
    context.draft().EventAlerts.ScheduledFinishEmailUse = true;
    context.draft().EventAlerts.ScheduledFinishEmail = "ann@example.org";
    events.load(context.draft());
    shoot(events, QStringLiteral("TaskPage-EventAlerts-Default"));
    events.setCustom(true);
    events.load(context.draft());
    events.setCustom(true);
    shoot(events, QStringLiteral("TaskPage-EventAlerts-Custom"));

    SetSystemTimerEditor(nullptr);
    setSystemScheduler(nullptr);
}
