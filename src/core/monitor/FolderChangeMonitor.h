// TFolderChangeMonitor: watches one folder (optionally its whole subtree) and raises OnChange on the
// main thread, at once or once per burst after a delay.
//
// The waiting is done by the program's one folder watcher (platform/FolderWatcher.h); the monitor
// holds one registration with it while active. Every start gets a fresh registration, so a change
// read for a registration the monitor has let go of never reaches it. A burst of changes within
// DelayTime gives one OnChange, DelayTime after the first change of the burst.
//
// When the watched folder itself is deleted, moved away or unmounted, the monitor stays active and
// looks for the folder again every few seconds: once a folder is back at that path it is watched,
// and counts as one change unless it came back empty. OnWarning says so when the folder goes. A
// folder that is missing when the watch is set up is waited for the same way (AwaitFolder).
#pragma once

#include "platform/FolderWatcher.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>

class QTimer;

namespace qv {

// The kinds of change, in order; the ordinal is the bit number in TFileChangeFilters.
enum TFileChangeFilter : std::uint8_t {
    fnFileName,
    fnDirName,
    fnAttributes,
    fnSize,
    fnLastWrite,
    fnLastAccess,
    fnCreation,
    fnSecurity,
};

// A set of TFileChangeFilter, one bit each (the stored form is this byte).
using TFileChangeFilters = std::uint8_t;

constexpr TFileChangeFilters fileChangeFilters(std::initializer_list<TFileChangeFilter> members)
{
    TFileChangeFilters set = 0;
    for (TFileChangeFilter m : members) {
        set = static_cast<TFileChangeFilters>(set | (1u << m));
    }
    return set;
}

// [fnFileName, fnDirName, fnSize, fnLastWrite]
constexpr TFileChangeFilters kDefaultFileChangeFilters = 27;

// The classic change-notification flags of a set (security is 0x100, the others 1 << ordinal).
std::uint32_t notifyFlagsOf(TFileChangeFilters filters);


class TFolderChangeMonitor : public QObject
{
public:
    explicit TFolderChangeMonitor(QObject *owner = nullptr);
    ~TFolderChangeMonitor() override;
    TFolderChangeMonitor(const TFolderChangeMonitor &) = delete;
    TFolderChangeMonitor &operator=(const TFolderChangeMonitor &) = delete;

    // True while the monitor holds a watch, or waits for its vanished folder to come back.
    bool Active() const { return m_worker != 0 || m_awaitingFolder; }
    // True while the watched folder is gone and the monitor waits for it.
    bool AwaitingFolder() const { return m_awaitingFolder; }
    // How often a vanished folder is looked for (2 s; tests shorten it).
    static void SetFolderReturnInterval(int milliseconds);
    // Throws ELastOSError (RaiseWin32Error) when the watch cannot start; a missing folder leaves it inactive.
    void SetActive(bool value);
    // For a folder that does not exist (yet): the monitor is active and looks for it as for a
    // vanished folder; once it is there it is watched, and counts as one change unless it is empty.
    void AwaitFolder();

    int DelayTime() const;
    // 0 drops a pending change; another value restarts a pending change's count.
    void SetDelayTime(int milliseconds);

    TFileChangeFilters Filter() const { return m_filter; }
    // Restarts an active monitor; when that fails the old filter is back and the error is thrown.
    void SetFilter(TFileChangeFilters filter);

    const std::string &FolderName() const { return m_folderName; }
    void SetFolderName(const std::string &folder);

    bool MonitorSubtree() const { return m_monitorSubtree; }
    void SetMonitorSubtree(bool subtree);

    // True while a delayed change waits for its timer.
    bool DelayPending() const;

    // Raised on the main thread for every change (or burst of changes, with a delay).
    std::function<void(TFolderChangeMonitor *)> OnChange;
    // A limit of the watch the user should know of (network file system, watch limit, unreadable
    // subfolders); each is reported once per start.
    std::function<void(TFolderChangeMonitor *, const std::string &)> OnWarning;

    // Loading from stored properties: while loading, Active is only remembered; Loaded applies it
    // after every other property is in place.
    void BeginLoading() { m_loading = true; }
    void Loaded();

protected:
    virtual void SetMonitorActive(bool value);
    virtual void DoChange();

private:
    void Changed(FolderWatcher::WatchId from);
    void Timer();
    void warn(FolderWatcher::WatchId from, const std::string &text);
    void startWatch();
    void folderGone(FolderWatcher::WatchId from);
    void lookForFolder();
    void letGoOfWorker();

    FolderWatcher *m_watcher = nullptr; // the watcher m_worker is registered with
    FolderWatcher::WatchId m_worker = 0;
    TFileChangeFilters m_filter = kDefaultFileChangeFilters;
    QTimer *m_delayTimer = nullptr; // a child; active exactly while a delayed change is pending
    QTimer *m_returnTimer = nullptr; // a child; active exactly while the folder is awaited
    bool m_awaitingFolder = false;
    bool m_returnFailureReported = false;
    int m_delayTime = 0;
    bool m_monitorSubtree = true;
    std::string m_folderName;
    bool m_streamedActive = false;
    bool m_loading = false;
};

} // namespace qv
