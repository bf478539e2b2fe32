// Folder core/runs: starting and ending runs of tasks: TTask::Run, the run queue, each run's host,
// the alert dispatcher and the main window's callbacks. May include core/engine, core/log,
// core/settings, core/task, core/text, core/util and the platform layer; never a widget.
//
// The run queue and the count of running tasks (main thread only).
//
// With the program-wide "one backup at a time" setting, a run started while another one runs waits
// in a first-in, first-out queue: it logs "Waiting for the queue." at once and "Queue OK." when its
// turn comes. Nothing waits in a nested event loop, so the main window stays responsive and the
// order of the runs is the order of their starts. RunningTaskCount counts every run created and not
// yet ended, waiting ones included.
#pragma once

#include <deque>
#include <functional>

namespace qv {

class TCustomBackup;

// Backup runs created and not yet ended (main thread only).
extern int RunningTaskCount;

class RunQueue
{
public:
    static RunQueue &instance();

    // Takes a new run: starts it now, or queues it when `oneAtATime` and another run is active.
    // With `autoDelete`, the run object is deleted after its end has been handled.
    void submit(TCustomBackup *run, bool oneAtATime, bool autoDelete = true);

    // Called by a run's end handler: lowers the count and starts the next waiting run.
    void runEnded(TCustomBackup *run);
    // A waiting run was asked to stop: it leaves the queue and ends as aborted.
    void stopWaiting(TCustomBackup *run);
    // A run object is going away: it must not be started later.
    void forget(TCustomBackup *run);

    int activeCount() const { return m_active; }
    int waitingCount() const { return static_cast<int>(m_waiting.size()); }

private:
    void start(TCustomBackup *run);

    struct Record {
        TCustomBackup *run;
        bool autoDelete;
        bool started;
    };
    Record *find(TCustomBackup *run);

    std::deque<TCustomBackup *> m_waiting;
    std::deque<Record> m_counted; // every run counted in RunningTaskCount
    int m_active = 0;
};

} // namespace qv
