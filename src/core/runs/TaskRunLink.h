// The link between a task and the runs it started: its backup run and its filter test.
//
// A run's host (the object its thread reports to) may outlive the task: the user can delete a task
// while its run winds down. Host and task therefore share a small record; when the task goes, its
// link asks the run queue to stop the task's runs and marks the record, and the hosts then drop
// whatever still arrives. The runs themselves are the run queue's: the record names the task, and
// the queue finds a task's runs by it.
#pragma once

#include <memory>

namespace qv {

class TTask;

struct TaskRunSlots {
    TTask *task = nullptr; // null once the task has been freed
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
