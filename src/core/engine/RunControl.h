// The stop flag and the pause gate of one run.
//
// The main thread asks a run to stop or to pause; the backup thread looks at both wherever it may
// end early: per scanned entry, per file, per copy block. A paused thread waits at the gate; stop
// also opens the gate, so a paused run can always be stopped.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace qv {

class RunControl
{
public:
    // Main thread.
    void requestStop();
    void setPaused(bool paused);
    bool paused() const;

    // Any thread: has a stop been asked for?
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }
    // The flag itself, for loops that poll it between blocks.
    const std::atomic<bool> &stopFlag() const { return m_stop; }

    // Backup thread: waits while paused; returns false when the run is to stop.
    bool checkpoint();

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_paused{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
};

} // namespace qv
