// The stop flag and the pause gate of one run.
#include "core/engine/RunControl.h"

namespace qv {

void RunControl::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop.store(true);
    }
    m_wake.notify_all();
}

void RunControl::setPaused(bool paused)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_paused.store(paused);
    }
    m_wake.notify_all();
}

bool RunControl::paused() const
{
    return m_paused.load();
}

bool RunControl::checkpoint()
{
    if (m_paused.load(std::memory_order_relaxed)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [this] { return !m_paused.load() || m_stop.load(); });
    }
    return !m_stop.load(std::memory_order_relaxed);
}

} // namespace qv
