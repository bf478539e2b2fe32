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

} // namespace qv
