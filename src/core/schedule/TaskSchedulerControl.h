// The system scheduler entry of one task: find it, create it, edit its triggers, describe, delete.
//
// The entry runs the program with "/RunProjectById=<ID> /ExitWhenIdle" and is recognised by the
// task's ID alone, so an entry made under an earlier name of the task is still found. The triggers
// are edited in a dialog that the windows install (`SetSystemTimerEditor`); the core has none.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qv {

class SystemScheduler;

// Edits a list of calendar expressions in place; true when the user confirmed. `title` names
// the entry.
using SystemTimerEditor = std::function<bool(const std::string &title, std::vector<std::string> &calendars)>;
void SetSystemTimerEditor(SystemTimerEditor editor);

// True when the system scheduler answers. Decided once, on the first call (not at start-up, so a
// stalled user manager never slows the start).
bool MSSchedulerAvailable();

class TTaskSchedulerControl
{
public:
    TTaskSchedulerControl(const std::string &ProjectName, const std::string &ProjectId);

    std::string WorkItemName; // the entry's name; empty when the task has none
    std::string ProjectName;
    std::string ProjectId;
    // The program the entry starts, and its folder (the running program unless set otherwise).
    std::string ProgramPath;

    // Looks for the task's entry among ours: the last, in byte order, whose name holds the ID.
    void FindWorkItem();
    // Creates the entry when there is none (kept even when the editor is cancelled), then edits its
    // triggers. True when the user confirmed. Throws SchedulerError when the system refuses; a new
    // entry whose triggers the system refused is removed again.
    bool EditSchedule();
    // Removes the entry and its triggers (nothing without an entry). Throws SchedulerError when
    // the system reports a failure; the entry's files are gone all the same.
    void DeleteSchedule();
    // "Not scheduled.", the trigger expressions one per line, or "No triggers set.".
    void GetTriggersText(std::string &Text);

    // "Quorvellant (<task name>, ID <task ID>)": what the system shows for the entry.
    std::string WorkItemTitle() const;

private:
    SystemScheduler &m_scheduler;
};

// Removes the entry of the task with this ID, if it has one. Throws SchedulerError.
void DeleteTaskSchedule(const std::string &ProjectId);

} // namespace qv
