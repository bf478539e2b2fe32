// The task's link to its runs.
#include "core/runs/TaskRunLink.h"

#include "core/runs/RunQueue.h"

namespace qv {

TaskRunLink::~TaskRunLink()
{
    if (!m_slots) {
        return;
    }
    // The runs work from their own snapshots, so they can finish safely; they are told to stop
    // because nobody is left to see what they do.
    m_slots->task = nullptr;
    RunQueue::instance().stopRunsOf(m_slots.get());
}

const std::shared_ptr<TaskRunSlots> &TaskRunLink::record(TTask *owner)
{
    if (!m_slots) {
        m_slots = std::make_shared<TaskRunSlots>();
        m_slots->task = owner;
    }
    return m_slots;
}

TaskRunningFlag::operator bool() const
{
    return RunQueue::instance().hasBackup(m_link.peek());
}

TaskRunningFlag &TaskRunningFlag::operator=(bool running)
{
    if (running) {
        RunQueue::instance().reserve(m_link.record(&m_owner));
    } else {
        RunQueue::instance().cancelReserved(m_link.peek());
    }
    return *this;
}

} // namespace qv
