// The system scheduler entry of one task.
#include "core/schedule/TaskSchedulerControl.h"

#include "core/text/Language.h"
#include "core/util/Utils.h"
#include "platform/SystemScheduler.h"

#include <algorithm>
#include <mutex>

namespace qv {
namespace {

std::mutex g_editorMutex;
SystemTimerEditor g_editor;

} // namespace

void SetSystemTimerEditor(SystemTimerEditor editor)
{
    std::lock_guard<std::mutex> lock(g_editorMutex);
    g_editor = std::move(editor);
}

bool MSSchedulerAvailable()
{
    // The installed scheduler answers (the systemd one probes once and keeps its answer).
    return systemScheduler().available();
}

TTaskSchedulerControl::TTaskSchedulerControl(const std::string &ProjectName, const std::string &ProjectId)
    : ProjectName(ProjectName), ProjectId(ProjectId), ProgramPath(GetExePath()), m_scheduler(systemScheduler())
{
    FindWorkItem();
}

std::string TTaskSchedulerControl::WorkItemTitle() const
{
    return "Quorvellant (" + ProjectName + ", ID " + ProjectId + ")";
}

// The entry named for exactly this ID: never one whose name merely holds it (task "7" and task
// "17" each have their own). The name holds no task name, so an entry made before the task was
// renamed is still found.
void TTaskSchedulerControl::FindWorkItem()
{
    if (ProjectId.empty()) {
        return;
    }
    const std::string wanted = SystemScheduler::entryNameFor(ProjectId);
    const std::vector<std::string> names = m_scheduler.entryNames();
    if (std::find(names.begin(), names.end(), wanted) != names.end()) {
        WorkItemName = wanted;
    }
}

bool TTaskSchedulerControl::EditSchedule()
{
    SystemTimerEditor editor;
    {
        std::lock_guard<std::mutex> lock(g_editorMutex);
        editor = g_editor;
    }
    if (!editor) {
        throw SchedulerError("No window to edit the timer in.");
    }
    const bool created = WorkItemName.empty();
    if (created) {
        const std::string problem = SystemScheduler::idProblem(ProjectId);
        if (!problem.empty()) {
            throw SchedulerError(problem);
        }
        SystemScheduler::Entry entry;
        entry.name = SystemScheduler::entryNameFor(ProjectId);
        entry.description = WorkItemTitle();
        entry.command = {ProgramPath, "/RunProjectById=" + ProjectId, "/ExitWhenIdle"};
        entry.workingDirectory = ProgramPath.substr(0, ProgramPath.rfind('/') + 1);
        m_scheduler.writeEntry(entry);
        WorkItemName = entry.name;
    }
    std::vector<std::string> calendars = m_scheduler.triggers(WorkItemName).value_or(std::vector<std::string>{});
    if (!editor(WorkItemTitle(), calendars)) {
        return false;
    }
    try {
        m_scheduler.setTriggers(WorkItemName, WorkItemTitle(), calendars);
    } catch (const SchedulerError &) {
        if (created) {
            // A new entry is made whole or not at all: no service is left without its timer.
            try {
                m_scheduler.removeEntry(WorkItemName);
                WorkItemName.clear();
            } catch (const SchedulerError &) {
            }
        }
        throw;
    }
    return true;
}

void TTaskSchedulerControl::DeleteSchedule()
{
    if (WorkItemName.empty()) {
        return;
    }
    const std::string name = WorkItemName;
    WorkItemName.clear();
    m_scheduler.removeEntry(name);
}

void TTaskSchedulerControl::GetTriggersText(std::string &Text)
{
    Text = GetLangString("Not scheduled.", "strMsSchedulerNotScheduled");
    if (WorkItemName.empty()) {
        return;
    }
    Text.clear();
    for (const std::string &c : m_scheduler.triggers(WorkItemName).value_or(std::vector<std::string>{})) {
        Text += (Text.empty() ? "" : "\n") + c;
    }
    if (Text.empty()) {
        Text = GetLangString("No triggers set.", "strMsSchedulerNoTriggersSet");
    }
}

void DeleteTaskSchedule(const std::string &ProjectId)
{
    TTaskSchedulerControl control("", ProjectId);
    control.DeleteSchedule();
}

} // namespace qv
