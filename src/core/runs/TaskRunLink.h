// The link between a task and the runs it started: its backup run and its filter test.
//
// A run's host (the object its thread reports to) may outlive the task: the user can delete a task
// while its run winds down. Host and task therefore share a small record; when the task goes, its
// link asks both runs to stop and marks the record, and the hosts then drop whatever still arrives.
// Each host clears only the slot of the run it belongs to, so the end of a filter test never
// touches the state of a real run.
#pragma once

#include <memory>

namespace qv {

class TCustomBackup;
class TTask;

struct TaskRunSlots {
    TTask *task = nullptr;         // null once the task has been freed
    TCustomBackup *run = nullptr;  // the backup run in progress (the task's Thread)
    TCustomBackup *test = nullptr; // the filter test in progress
};

class TaskRunLink
{
public:
    TaskRunLink() = default;
    ~TaskRunLink();
    TaskRunLink(const TaskRunLink &) = delete;
    TaskRunLink &operator=(const TaskRunLink &) = delete;

    // The shared record of `owner`, created on first use.
    const std::shared_ptr<TaskRunSlots> &record(TTask *owner);
    // The record when one exists, else null.
    TaskRunSlots *peek() const { return m_slots.get(); }

private:
    std::shared_ptr<TaskRunSlots> m_slots;
};

} // namespace qv
