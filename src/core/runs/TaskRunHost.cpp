// The program's host of one run of a task.
#include "core/runs/TaskRunHost.h"

#include "core/runs/AlertDispatcher.h"
#include "core/mail/MailQueue.h"
#include "core/engine/BackupTypes.h"
#include "core/runs/MainWindowCallbacks.h"
#include "core/runs/RunQueue.h"
#include "core/runs/Task.h"
#include "core/text/Language.h"
#include "core/util/Utils.h"


namespace qv {

void TaskRunHost::log(int kind, const std::string &text)
{
    TTask *task = m_slots->task;
    if (task == nullptr || !task->Logger) {
        return;
    }
    if (m_role == Role::FilterTest && kind != kLogWarning && kind != kLogError) {
        return;
    }
    task->Logger->Add(kind, text);
}

AlertAnswer TaskRunHost::alert(int kind, const std::string &buttons, const std::string &text)
{
    TTask *task = m_slots->task;
    if (task == nullptr || m_role == Role::FilterTest) {
        return 0;
    }
    if (task->Logger) {
        task->Logger->Flush(); // the log file holds every line before the alert when it shows
    }
    return alerter().AlertWithMail(*task, kind, text, buttons);
}

void TaskRunHost::sendLater(std::function<std::string()> mail)
{
    queueTaskMail(m_slots, std::move(mail));
}

bool TaskRunHost::alertsKind(int kind) const
{
    const TTask *task = m_slots->task;
    return task != nullptr && m_role == Role::Backup && alerter().Wants(*task, kind);
}

void queueTaskMail(std::shared_ptr<TaskRunSlots> links, std::function<std::string()> mail)
{
    if (!mail) {
        return;
    }
    MailQueue::instance().post(std::move(mail), [links](const std::string &line) {
        if (links->task != nullptr && links->task->Logger) {
            links->task->Logger->Add(kLogError, line);
        }
    });
}

void TaskRunHost::progress(const ProgressState &state)
{
    TTask *task = m_slots->task;
    (void)state; // the status bar reads the run's progress through the task
    if (m_role == Role::Backup && task != nullptr && RunQueue::instance().serves(this)) {
        mainWindow().UpdateStatusBar();
    }
}

void TaskRunHost::openReport(const std::string &path)
{
    if (m_role != Role::FilterTest || ShellOpen(path, {})) {
        return;
    }
    // The report is written; the user finds where in the task's log.
    TTask *task = m_slots->task;
    if (task != nullptr && task->Logger) {
        task->Logger->Add(kLogWarning, formatLangString("The filter test report %s could not be opened.",
                                                        "strFilterTestReportNotOpened", {path}));
    }
}

void TaskRunHost::finished(RunEnd end)
{
    (void)end;
    TTask *task = m_slots->task;
    if (task != nullptr && task->Logger) {
        task->Logger->Flush();
    }
    // The run queue has already let go of the run, so the task is no longer running.
    if (m_role == Role::Backup && task != nullptr) {
        mainWindow().UpdateListView();
        mainWindow().CheckState();
        mainWindow().UpdateStatusBar();
    }
}

} // namespace qv
