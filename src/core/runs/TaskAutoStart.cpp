// Automatic starts of a task: its due schedule entries, the start-up and shutdown starts with their
// delays and time limits, and the disabled scheduler.
#include "core/runs/MainWindowCallbacks.h"
#include "core/runs/Task.h"
#include "core/schedule/ScheduleNextRun.h"
#include "core/settings/Settings.h"

#include <QTimer>

namespace qv {

namespace {

// Runs `action` once after `seconds` on the task's timer, replacing what the timer was set to do.
void armTimer(QTimer &timer, int seconds, std::function<void()> action)
{
    timer.stop();
    QObject::disconnect(&timer, &QTimer::timeout, nullptr, nullptr);
    timer.setSingleShot(false);
    timer.setInterval(std::max(0, seconds) * 1000);
    QObject::connect(&timer, &QTimer::timeout, &timer, [&timer, action = std::move(action)] {
        timer.stop();
        action();
    });
    timer.start();
}

} // namespace

void TTask::CheckSchedules()
{
    // By index: a start can run a nested event loop (the start alert), and the list is read
    // afresh after it.
    for (int i = 0; i < Schedules.Count(); ++i) {
        const TTaskScheduleItem item = Schedules[i];
        item.CheckDue(*this);
    }
}

void TTaskScheduleItem::CheckDue(TTask &task) const
{
    if (isDueAt(*this, task.LastRun, Now())) {
        task.ScheduledStart();
    }
}

void TTask::ScheduledStart()
{
    if (DisableScheduler) {
        LastRun = Now();
        Logger->Add(kLogWarning, "Task start time skipped because of disabled scheduler! Click \"Disable "
                                 "Scheduler\" on the toolbar to resume scheduling in future.");
        mainWindow().UpdateListView();
        mainWindow().CheckState();
        return;
    }
    Run(kStartAutomatic);
}

void TTask::StartAtSystemStartup()
{
    bool wait = false;
    int seconds = 0;
    if (!GetSystemStartupWait(wait, seconds)) {
        return;
    }
    if (wait) {
        armTimer(*Timer, seconds, [this] { ScheduledStart(); });
    } else {
        ScheduledStart();
    }
}

void TTask::StartAtProgramStartup()
{
    bool wait = false;
    int seconds = 0;
    if (!GetProgramStartupWait(wait, seconds)) {
        return;
    }
    if (wait) {
        armTimer(*Timer, seconds, [this] { ScheduledStart(); });
    } else {
        ScheduledStart();
    }
}

void TTask::StartAtSystemShutdown()
{
    bool limit = false;
    int seconds = 0;
    if (!GetSystemShutdownLimit(limit, seconds)) {
        return;
    }
    if (limit) {
        armTimer(*Timer, seconds, [this] { Stop(); });
    }
    ScheduledStart();
}

} // namespace qv
