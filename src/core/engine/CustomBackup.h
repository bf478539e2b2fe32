// Folder core/engine: the backup threads (copy, compress, filter test), their snapshots, scans,
// decisions and the bridge to the main thread. May include core/settings, core/text, core/util,
// core/task (to take a task's snapshot), the platform layer and the zip library; not core/runs
// (the run queue hands a run its hooks), never a widget.
//
// TCustomBackup: the base of every backup thread.
//
// A run is one QThread working from its RunSnapshot. It reaches the main thread only through its
// HostBridge (log lines, alerts, progress) and is controlled only through its RunControl (stop,
// pause). When the thread ends, BackupFinished runs on the main thread: it logs "Backup finished."
// only for a run that completed; a stop, an alert answered with Stop, or an exception gives
// "Backup ABORTED!". The run queue owns every run it is handed (and counts them); it hands each
// run its hooks, and the run knows nothing of the queue.
#pragma once

#include "core/engine/BackupServices.h"
#include "core/engine/BackupTypes.h"
#include "core/engine/FilesList.h"
#include "core/engine/FolderScanner.h"
#include "core/engine/HostBridge.h"
#include "core/engine/RASManager.h"
#include "core/engine/RunControl.h"
#include "core/engine/RunSnapshot.h"
#include "platform/ThreadPriority.h"

#include <QThread>

#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qv {

// Thrown inside a run to end it at once; `what()` is logged as an error.
class BackupAbort : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TCustomBackup : public QThread
{
public:
    // Main thread. `host` lives on the main thread and must outlive the run.
    TCustomBackup(std::shared_ptr<const RunSnapshot> snapshot, BackupHost *host, BackupServices services = {});
    ~TCustomBackup() override;

    // Set by whoever queues the run (the run queue), called on the main thread: the run has ended
    // (the queue then tells the host), a run that never started was stopped, the run object goes.
    struct QueueHooks {
        std::function<void(RunEnd end)> ended;
        std::function<void()> stoppedWaiting;
        std::function<void()> gone;
    };
    void setQueueHooks(QueueHooks hooks) { m_queueHooks = std::move(hooks); }

    // Main thread: starts the thread (through RunQueue normally); the thread then takes the
    // priority of the program-wide CPU setting, and so does every thread it starts.
    void startThread();
    // Tests and tools: runs the whole run in the calling thread, then BackupFinished.
    void runInPlace();

    // Control from the main thread.
    void Stop();
    void setSuspended(bool suspended) { m_control.setPaused(suspended); }
    bool suspended() const { return m_control.paused(); }
    bool Terminated() const { return m_control.stopRequested(); }

    // Counts of this run's error and warning lines.
    int errorCount() const { return m_errorCount.load(); }
    int warningCount() const { return m_warningCount.load(); }
    // What this run was asked to do and did not (see NotDone).
    int undoneCount() const { return m_undoneCount.load(); }
    // The message of the exception that ended the run, or empty text.
    const std::string &failure() const { return m_failure; }

    const RunSnapshot &snapshot() const { return *m_snapshot; }
    // Main thread: the run's progress (caption, bytes done, bytes total) as it stands now.
    ProgressState progress() const { return m_bridge.progress(); }
    BackupHost *hostForQueue() const { return m_bridge.host(); }

    // Main thread, once the thread has ended (RunQueue connects it to finished()).
    void BackupFinished();

protected:
    virtual void Execute() = 0;
    // The task check of the run's folders, the same one the program makes before it starts a task,
    // made first by every run whoever started it: a refused run logs why and touches nothing.
    // Empty text when the run may go on.
    virtual std::string startRefusal() const;
    void run() override;

    // Backup thread.
    void Log(int kind, const std::string &text);
    int Alert(int kind, const std::string &buttons, const std::string &text);
    // Logs and alerts; an answer of Stop ends the run. True when the run goes on.
    bool Notify(int logKind, int alertKind, const std::string &buttons, const std::string &text);
    void Terminate() { m_control.requestStop(); }
    // Any thread of the run: one thing the task asked for was left undone - a file not copied,
    // replaced, moved, deleted or stored, a folder not made, a source folder not read, an in-use
    // file skipped, the written data not synced. Every kind of run counts here, beside the line
    // that tells the user why; a run that finishes with any ends as RunEnd::Undone. Lines that
    // only inform (a rule that skips an older file, a folder's date not set, a dial-up or mail
    // failure) are not counted.
    void NotDone() { ++m_undoneCount; }
    bool Running() { return m_control.checkpoint(); }

    void SetProgress(const std::string &caption, std::int64_t maximum);
    void AddProgress(std::int64_t delta);
    void SetProgressPosition(std::int64_t position);

    // `keepAtMost` (see ScanOptions): returns false when the list would have taken more and was
    // left empty, the totals complete. `takeFileLinks`: see ScanOptions.
    bool ReadFolder(const std::string &folder, TFilesList &list, bool applyFilters, bool includeSubfolders,
                    ScanTotals &totals, const std::string &caption, const std::set<std::string> &noDescend = {},
                    std::size_t keepAtMost = SIZE_MAX, bool takeFileLinks = true);

    // Threads a large scan may use: half the processors this process may use, at most four.
    static int scanThreads();
    // Runs first on every thread this run starts (copy workers, scan threads, the zip pool): gives
    // it the backup thread's priority. A thread made by the backup thread inherits it anyway; the
    // hook makes it hold whoever makes the thread. Nothing for a run in the caller's thread
    // (runInPlace).
    std::function<void()> threadStartHook() const;

    void BeforeBackup();
    void AfterBackup();
    void RasConnect();
    void RasDisconnect();
    void RasRelease();

    std::shared_ptr<const RunSnapshot> m_snapshot;
    BackupServices m_services;
    RunControl m_control;
    HostBridge m_bridge;
    QueueHooks m_queueHooks;
    TFilesList m_sourceFiles;
    TFilesList m_destinationFiles;
    ScanTotals m_sourceTotals;
    ScanTotals m_destinationTotals;
    std::vector<std::string> m_unreadableFolders;
    bool m_diskSpanned = false;
    bool m_wroteDestination = false; // the destination file system is synced at the end
    bool m_connectedByOthers = false;
    // How RasConnect found the entry: only Dialled and Shared runs are counted by the manager.
    TRASManager::DialState m_dialState = TRASManager::DialState::Failed;

private:
    bool hasDialEntry() const;
    void runProgram(bool before);
    void executeGuarded();
    void syncWrittenFileSystems();
    void raiseEndAlert(int kind, const std::string &buttons, const std::string &text);

    // Set by run() before anything else; unset for runInPlace.
    std::optional<ThreadPriority> m_priority;

    std::atomic<int> m_errorCount{0};
    std::atomic<int> m_warningCount{0};
    std::atomic<int> m_undoneCount{0};
    std::string m_failure;
    bool m_finishedHandled = false;
};

} // namespace qv
