// The task's link to its runs.
#include "core/runs/TaskRunLink.h"

#include "core/engine/CustomBackup.h"

namespace qv {

TaskRunLink::~TaskRunLink()
{
    if (!m_slots) {
        return;
    }
    // The runs work from their own snapshots, so they can finish safely; they are told to stop
    // because nobody is left to see what they do.
    m_slots->task = nullptr;
    if (m_slots->run != nullptr) {
        m_slots->run->Stop();
    }
    if (m_slots->test != nullptr) {
        m_slots->test->Stop();
    }
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
