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

// TTask::Running: whether the task has a backup run, which is whether the run queue holds a record
// of it (from the start's checks until the run's end has been handled); there is no other record.
// Reads as a bool. Setting it true makes the record a start makes before its run exists, which is
// how a tool that submits its own run, or a test, shows a run in progress; setting it false drops
// such a record again (a record that holds a run goes only when the run ends).
class TaskRunningFlag
{
public:
    TaskRunningFlag(TTask &owner, TaskRunLink &link) : m_owner(owner), m_link(link) {}
    TaskRunningFlag(const TaskRunningFlag &) = default;
    TaskRunningFlag &operator=(const TaskRunningFlag &) = delete;

    operator bool() const;
    TaskRunningFlag &operator=(bool running);

private:
    TTask &m_owner;
    TaskRunLink &m_link;
};

} // namespace qv
