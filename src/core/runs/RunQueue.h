// Folder core/runs: the task as the program runs it (TTask, the task list, TBackupData), every
// start of a run and its end: TTask::Run, the automatic starts, the run queue, each run's host, the
// alert dispatcher and the main window's callbacks. The top of the core: may include every other
// core folder and the platform layer; never a widget.
//
// The run queue: the one owner of every backup run created and not yet ended (main thread only).
//
// Each run of a task has one record here, from the moment the task starts it (before its start
// alert, while it has no thread yet) until its end has been handled: the run object once there is
// one, its host when the queue was handed it, the task that started it and its stage (starting,
// waiting, active). Everything else asks: whether a task runs (TTask::Running), its backup thread
// (TTask::Thread) and filter test are queries by the task's run link, the counts are counts of the
// records, and a host asks whether it still serves a run. When a run ends its record goes first,
// then its host is told and both are freed, so nothing is left that points at them.
//
// With the program-wide "one backup at a time" setting, a run started while another one runs waits
// in a first-in, first-out queue: it logs "Waiting for the queue." at once and "Queue OK." when its
// turn comes. Nothing waits in a nested event loop, so the main window stays responsive and the
// order of the runs is the order of their starts. RunningTaskCount counts every run created and not
// yet ended, waiting ones included.
#pragma once

#include "core/engine/BackupHost.h"

#include <deque>
#include <memory>
#include <vector>

namespace qv {

class TCustomBackup;
struct TaskRunSlots;

// Backup runs created and not yet ended: the number of the run queue's records that hold a run
// (main thread only).
int RunningTaskCount();

enum class RunRole { Backup, FilterTest };

// Where a run comes from, handed to the run queue with it.
struct RunOrigin {
    std::shared_ptr<TaskRunSlots> task; // the link of the task that started it; null for others
    RunRole role = RunRole::Backup;
    // The run's host when the queue is to own it. Without one, the run's host must outlive the
    // run (tools and tests that keep their own).
    std::unique_ptr<BackupHost> host;
};

class RunQueue
{
public:
    static RunQueue &instance();

    // A task starts a backup run: the record of `link`'s run exists from now on, without a run
    // object yet (the task's start alert and checks come first). Nothing when it exists already.
    void reserve(std::shared_ptr<TaskRunSlots> link);
    // The start ended before a run object was made (refused, or stopped at its start alert): the
    // record of `link` goes, and the start counts as aborted. A record that holds a run is left
    // alone (it goes when the run ends).
    void cancelReserved(const TaskRunSlots *link);
    // Whether the task of `link` has a backup run: starting, waiting or active.
    bool hasBackup(const TaskRunSlots *link) const;

    // Takes a new run and owns it from now on: starts it now, or queues it when `oneAtATime` and
    // another run is active. A backup run of a task fills the record its start reserved (or gets a
    // new one). The run object is deleted after its end has been handled.
    void submit(TCustomBackup *run, bool oneAtATime, RunOrigin origin);
    void submit(TCustomBackup *run, bool oneAtATime) { submit(run, oneAtATime, RunOrigin{}); }

    // The run of `role` that the task of `link` started and that has not ended, or null.
    TCustomBackup *runOf(const TaskRunSlots *link, RunRole role) const;
    // Whether `host` serves a run that has not ended.
    bool serves(const BackupHost *host) const;
    // Asks every run of the task of `link` to stop (the task is going away).
    void stopRunsOf(const TaskRunSlots *link);

    // What a record that holds a run shows of it.
    struct RecordView {
        const TCustomBackup *run;
        RunRole role;
        bool started;
    };
    std::vector<RecordView> records() const;

    int count() const;
    int activeCount() const;
    int waitingCount() const;

    // The worst end of the backup runs ended so far (filter tests not counted): what a program
    // that ran them from its command line reports as its exit status.
    RunEnd worstBackupEnd() const { return m_worstBackupEnd; }

private:
    struct Record;

    void start(Record &record);
    void startWaiting();
    // Called through the run's hooks, on the main thread.
    void runEnded(TCustomBackup *run, RunEnd end);
    void stopWaiting(TCustomBackup *run);
    void forget(TCustomBackup *run);

    std::deque<std::unique_ptr<Record>>::iterator find(const TCustomBackup *run);
    std::deque<std::unique_ptr<Record>>::const_iterator findTask(const TaskRunSlots *link, RunRole role) const;

    std::deque<std::unique_ptr<Record>> m_records; // in the order of submission
    RunEnd m_worstBackupEnd = RunEnd::Done;
};

} // namespace qv
