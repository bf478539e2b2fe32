// Automatic starts of a task: its due schedule entries, the start-up and shutdown starts with their
// delays and time limits, and the disabled scheduler.
#include "core/engine/BackupTypes.h"
#include "core/runs/MainWindowCallbacks.h"
#include "core/settings/Settings.h"
#include "core/task/Task.h"

#include <QTimer>

namespace qv {

namespace {

// The last enabled entry of `kind`, or null.
const TTaskScheduleItem *lastEnabledOfKind(const TQuorvellantScheduleList &list, TScheduleKind kind)
{
    const TTaskScheduleItem *found = nullptr;
    for (const TTaskScheduleItem &item : list.Items) {
        if (item.Enabled && item.Kind == kind) {
            found = &item;
        }
    }
    return found;
}

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

bool TTask::GetSystemStartupWait(bool &wait, int &seconds) const
{
    const TTaskScheduleItem *item = lastEnabledOfKind(Schedules, skAtSystemStartup);
    if (item != nullptr) {
        wait = item->AtSystemStartupWait;
        seconds = item->AtSystemStartupWaitSecValue;
    }
    return item != nullptr;
}

bool TTask::GetProgramStartupWait(bool &wait, int &seconds) const
{
    const TTaskScheduleItem *item = lastEnabledOfKind(Schedules, skAtProgramStartup);
    if (item != nullptr) {
        wait = item->AtProgramStartupWait;
        seconds = item->AtProgramStartupWaitSecValue;
    }
    return item != nullptr;
}

bool TTask::GetSystemShutdownLimit(bool &limit, int &seconds) const
{
    const TTaskScheduleItem *item = lastEnabledOfKind(Schedules, skAtSystemShutdown);
    if (item != nullptr) {
        limit = item->SystemShutdownLimitExecTime;
        seconds = item->SystemShutdownMaxSec;
    }
    return item != nullptr;
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
