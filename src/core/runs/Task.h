// A backup task as the program runs it: its definition (settings and identity) plus its runtime.
//
// TTask is its TaskDefinition (core/task) and what the task owns while the program holds it: its
// folder monitor (with the monitor's stored settings), its logger, its timer, the start mode and
// the editing and validation flags, and the link to its runs. Whether it runs, its backup thread
// and that thread's progress are the run queue's: Running, Thread() and the progress getters ask
// it. Owned by TTasksList; never copied (the dialogs edit a TaskSettings draft).
#pragma once

#include "core/log/TaskLogger.h"
#include "core/monitor/FoldersMonitor.h"
#include "core/runs/TaskRunLink.h"
#include "core/task/TaskDefinition.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace qv {

class TCustomBackup;
class TTasksList;

class TTask : public TaskDefinition
{
public:
    // A task with every default (see TaskDefinition), its timer (1000 ms, stopped), its folder
    // monitor (wait 30 s) and its logger.
    TTask();
    ~TTask();
    TTask(const TTask &) = delete;
    TTask &operator=(const TTask &) = delete;

    // Run state. Running: the task has a backup run (the run queue's record of it).
    TaskRunningFlag Running{*this, RunLink};
    std::uint8_t StartMode = kStartAutomatic; // 0 automatic, 1 by hand
    bool Editing = false;
    // The running backup thread (the run queue's), or null.
    TCustomBackup *Thread() const;
    std::unique_ptr<QTimer> Timer; // delayed start-up start and shutdown time limit
    bool ValidationFailed = false;

    std::unique_ptr<TFoldersMonitor> FoldersMonitor;
    std::unique_ptr<TTaskLogger> Logger;

    // Every stored setting but the identity (ID, Created, LastRun), as a copy: the dialogs' draft.
    TaskSettings settings() const;
    // Takes every setting of `s`; ID, Created, LastRun and the run state stay. The folder watches
    // are not rebuilt here: the caller runs UpdateFoldersMonitor when the settings are accepted.
    void assignSettings(const TaskSettings &s);

    // A new ID; with `inUse`, one that no task of that list holds (compared ignoring case, as the
    // store compares key names).
    void GenerateID(const TTasksList *inUse = nullptr);

    // The state of the run in progress.
    bool GetSuspended() const;
    std::string GetProgressCaption() const;
    int GetProgressPercent() const;

    // The disk-full dialog setting of the current run (silent, by hand or scheduled).
    bool GetEventsDiskSpanDialog() const;

    // Rebuilds the folder watches from the current sources (and the destination of a synchronise
    // task). Returns the messages of watches that could not start.
    std::vector<std::string> UpdateFoldersMonitor();

    // Runs (TaskRun.cpp), on the main thread. `startMode` is kStartAutomatic or kStartByHand.
    void Run(std::uint8_t startMode);
    // Asks the run in progress to end; a suspended run wakes up and ends as aborted.
    void Stop();
    void SetSuspended(bool suspended);
    // The run in progress follows the program-wide Suspend flag.
    void ApplyGlobalSuspend();
    // Starts the filter test, which writes the entries the task would copy to `reportFileName`.
    // It works on its own copy of the task and leaves the task's run state alone. False when a
    // test of this task is still in progress. The first form tests the stored filters and
    // destination; the second those of `draft` (the properties dialog's unsaved values), with every
    // other setting, the sources included, from the stored task.
    bool RunTest(const std::string &reportFileName);
    bool RunTest(const std::string &reportFileName, const FilterTestDraft &draft);
    // Whether a filter test of this task is in progress.
    bool TestRunning() const;

    // The own scheduler (TaskAutoStart.cpp).
    void CheckSchedules();
    void ScheduledStart();
    void StartAtSystemStartup();
    void StartAtProgramStartup();
    void StartAtSystemShutdown();
    // The task list's next-run column.
    std::string GetStrNextRun() const;

    // Storage: the definition and the folder monitor's settings. `key` is a full key path below
    // HKEY_CURRENT_USER.
    void SaveToRegistry(const std::string &key) const;
    // Reads the whole task; returns false (and leaves TaskType as it was) when the stored type is
    // missing or unknown, so the caller can report it and keep the key.
    bool LoadFromRegistry(const std::string &key);

private:
    // Creates and submits the backup thread of a run that passed every check.
    void startThread();
    // A start that ends before its run exists: the run queue lets go of it.
    void endStart();

public:
    // The runs this task started. Last, so that it goes first: a freed task stops its runs and
    // their hosts stop reporting to it.
    TaskRunLink RunLink;
};

// The list of all tasks, in load order and then in the order they were added. Owns its tasks.
class TTasksList
{
public:
    int Count() const { return static_cast<int>(m_tasks.size()); }
    TTask *Items(int index) const { return m_tasks[static_cast<std::size_t>(index)].get(); }
    TTask *operator[](int index) const { return Items(index); }

    // Appends `task`; a task whose ID is empty or already held by another (ignoring case) gets a
    // new one first. Returns the task.
    TTask *Add(std::unique_ptr<TTask> task);
    // Removes and frees the task at `index`.
    void Delete(int index);
    // Removes the task at `index` and hands it over.
    std::unique_ptr<TTask> Extract(int index);
    void Clear() { m_tasks.clear(); }
    int IndexOf(const TTask *task) const;
    // Moves the task at `from` to position `to`.
    void Move(int from, int to);

    // Exact, case-sensitive ID test.
    bool TaskIDExists(const std::string &id) const;
    TTask *FindByID(const std::string &id) const;
    // The ID test of the store's key names (ignoring ASCII case).
    bool TaskIDInUse(const std::string &id, const TTask *except = nullptr) const;

    auto begin() const { return m_tasks.begin(); }
    auto end() const { return m_tasks.end(); }

private:
    std::vector<std::unique_ptr<TTask>> m_tasks;
};

} // namespace qv
