// The program's host of one run of a task: where the run's log lines, alerts, progress and end go.
//
// Log lines go to the task's logger (its log file and activity list), alerts to the alert
// dispatcher; progress refreshes the main window's status bar, which reads it from the run while
// the run queue still holds it. The end of a backup run refreshes the main window (the queue has
// already let go of the run, so the task is idle). A filter test
// writes its report and nothing else: its start and end lines are not logged (only its warnings
// and errors), it raises no alert and never touches the task's run state.
//
// The run queue owns the host with its run and frees it once the run's end has been handled.
#pragma once

#include "core/engine/BackupHost.h"
#include "core/runs/TaskRunLink.h"

#include <memory>

namespace qv {

class TaskRunHost : public BackupHost
{
public:
    enum class Role { Backup, FilterTest };

    TaskRunHost(std::shared_ptr<TaskRunSlots> links, Role role) : m_slots(std::move(links)), m_role(role) {}

    void log(int kind, const std::string &text) override;
    AlertAnswer alert(int kind, const std::string &buttons, const std::string &text) override;
    void sendLater(std::function<std::string()> mail) override;
    bool alertsKind(int kind) const override;
    void progress(const ProgressState &state) override;
    // A filter test's report opens with the user's program for it, through the desktop.
    void openReport(const std::string &path) override;
    void finished(RunEnd end) override;

private:
    std::shared_ptr<TaskRunSlots> m_slots;
    Role m_role;
};

// Queues an alert's mail raised on the main thread; a failure is logged as an error of the task
// (when it still exists).
void queueTaskMail(std::shared_ptr<TaskRunSlots> links, std::function<std::string()> mail);

} // namespace qv
