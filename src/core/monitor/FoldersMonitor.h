// Folder core/monitor: folder-change monitors of a task and the component under them. May include
// the platform layer (its folder watcher, file status and path texts) and, of the core, only the
// monitor's stored settings (core/task): the task binds its monitor (the task's constructor sets
// OnFolderChanged and OnWarning).
//
// TFoldersMonitor: a task's folder-change settings and its watches, one per watched folder.
//
// The settings (which kinds of change, the wait) are stored with the task. The watches are rebuilt
// whole whenever the task is loaded or its settings are accepted, so a task never has two watches on
// one folder and no watch outlives its task. A change, after the wait, goes to OnFolderChanged,
// which the task binds to its automatic start.
//
// A folder that does not exist when the watches are rebuilt is waited for, as one that was deleted
// while watched: it is watched from when it is there. A watch that cannot start (no permission,
// the system's watch limit) never stops the task from loading: the rebuild reports it through
// OnWarning (the task's log) and returns it, so that the task dialog can show it; the task works
// without that watch.
#pragma once

#include "core/monitor/FolderChangeMonitor.h"
#include "core/task/FolderMonitorSettings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qv {

class TTask;

// One folder a task watches.
struct WatchedFolder
{
    std::string path;
    bool includeSubfolders = true;
};

class TFoldersMonitor : public TFolderMonitorSettings
{
public:
    explicit TFoldersMonitor(TTask *task = nullptr);
    ~TFoldersMonitor();
    TFoldersMonitor(const TFoldersMonitor &) = delete;
    TFoldersMonitor &operator=(const TFoldersMonitor &) = delete;

    TTask *Task;                                                 // the owning task
    std::vector<std::unique_ptr<TFolderChangeMonitor>> Monitors; // the active watches

    // Called on the main thread after the wait, once per burst of changes in any watched folder;
    // the owning task binds it to its automatic start (TTask::ScheduledStart).
    std::function<void()> OnFolderChanged;
    // A line for the task's log (as a warning): a watch that failed or works with a limit.
    std::function<void(const std::string &)> OnWarning;

    // The change filter of the ticked kinds; 0 when none is ticked.
    TFileChangeFilters GetFilter() const;
    // The watches' delay: WaitSeconds in milliseconds, within what a timer can wait.
    int GetDelayMilliseconds() const;

    // Adds one active watch (nothing when no kind is ticked). Throws ELastOSError (RaiseWin32Error) when the
    // watch cannot start; a folder that does not exist gets no watch.
    void AddFolder(const std::string &folder, bool includeSubfolders);
    // Stops and frees every watch.
    void Clear();

    // Clears, then watches each folder that exists now, and each that does not from when it is
    // there (said once through OnWarning). Failures are reported through OnWarning (each text once
    // in the task's lifetime) and returned as the system error messages.
    std::vector<std::string> Rebuild(const std::vector<WatchedFolder> &folders);

private:
    // A watch of `folder` with the task's kinds and wait, not started; null when no kind is ticked.
    std::unique_ptr<TFolderChangeMonitor> makeMonitor(const std::string &folder, bool includeSubfolders);
    void warnOnce(const std::string &text);

    std::set<std::string> m_warned;
};

} // namespace qv
