// Folder core/task: the task model: TTask and TTasksList, their groups and storage, filters,
// validation and the backup data. May include the parts a task owns or starts (core/log,
// core/monitor, core/schedule, core/runs for its run link, core/engine to stop its run),
// core/settings, core/text, core/util and the platform layer.
//
// A backup task: what to copy, where to, how, when, and what to do around a run.
//
// TTask is a plain object owned by TTasksList. It owns its filters, schedule entries, folder
// monitor, logger and timer. The backup thread of a run in progress is the run queue's: Thread()
// asks it.
// Settings of the ten groups (RunPrograms .. EmailSettings) are read through the Get... getters,
// which return the program-wide value while the group's UseDefault is set.
//
// Pieces other parts of the core attach here:
//   - TCustomBackup (the backup thread): suspended(); its progress arrives through the run's host.
#pragma once

#include "core/settings/DateTime.h"
#include "core/task/DirEntry.h"
#include "core/task/Filters.h"
#include "core/monitor/FoldersMonitor.h"
#include "core/task/TaskGroups.h"
#include "core/task/TaskSettings.h"
#include "core/log/TaskLogger.h"
#include "core/runs/TaskRunLink.h"
#include "core/schedule/TaskScheduleItem.h"
#include "core/task/TaskTypes.h"
#include "core/text/Variables.h"
#include "platform/PathText.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QTimer;

namespace qv {

class TCustomBackup;
class TTasksList;

// The getters of the settings groups: (group member, task field, type, program-wide value name).
// Each getter is named Get + the program-wide value name.
#define QV_TASK_GROUP_GETTERS(X)                                                                             \
    X(RunPrograms, Before, bool, RunBefore)                                                                  \
    X(RunPrograms, BeforeProgramName, std::string, RunBeforeProgramName)                                     \
    X(RunPrograms, BeforeWaitProgram, bool, RunBeforeWaitProgram)                                            \
    X(RunPrograms, After, bool, RunAfter)                                                                    \
    X(RunPrograms, AfterProgramName, std::string, RunAfterProgramName)                                       \
    X(RunPrograms, AfterWaitProgram, bool, RunAfterWaitProgram)                                              \
    X(Dial, DialEntry, std::string, DialEntry)                                                               \
    X(Dial, DisconnectAfter, bool, DialDisconnectAfter)                                                      \
    X(HardwareProfile, SkipList, std::string, HardwareSkipList)                                              \
    X(Bandwidth, Use, bool, BandwidthUse)                                                                    \
    X(Bandwidth, Value, std::int32_t, BandwidthValue)                                                        \
    X(Protection, Password, std::string, Password)                                                           \
    X(Protection, Reminder, std::string, PasswordReminder)                                                   \
    X(Log, Enabled, bool, LogEnabled)                                                                        \
    X(Log, FileName, std::string, LogFileName)                                                               \
    X(Log, MaxSize, std::int32_t, LogMaxSize)                                                                \
    X(Log, IncludeSummary, bool, LogIncludeSummary)                                                          \
    X(Log, IncludeFiles, bool, LogIncludeFiles)                                                              \
    X(Log, IncludeSkipping, bool, LogIncludeSkipping)                                                        \
    X(Log, IncludeWarnings, bool, LogIncludeWarnings)                                                        \
    X(Log, IncludeErrors, bool, LogIncludeErrors)                                                            \
    X(EmailSettings, SmtpServer, std::string, EmailSmtpServer)                                               \
    X(EmailSettings, SmtpServerPort, std::int32_t, EmailSmtpServerPort)                                      \
    X(EmailSettings, SmtpServerAuthUse, bool, EmailSmtpServerAuthUse)                                        \
    X(EmailSettings, SmtpServerAuthUser, std::string, EmailSmtpServerAuthUser)                               \
    X(EmailSettings, SmtpServerAuthPassword, std::string, EmailSmtpServerAuthPassword)                       \
    X(EmailSettings, From, std::string, EmailFrom)                                                           \
    X(EmailSettings, Subject, std::string, EmailSubject)

// What a filter test takes from the task properties dialog instead of the stored task.
struct FilterTestDraft {
    TTaskFiltersList filters;
    std::string destLocal;
};

class TTask : public TaskSettingsFields
{
public:
    // A task with every default: named "Untitled", a new ID, Simple Copy, created and last run now.
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
    std::unique_ptr<QTimer> Timer;   // delayed start-up start and shutdown time limit
    bool ValidationFailed = false;

    // Identity (the stored settings come from TaskSettingsFields).
    std::string ID;
    std::unique_ptr<TFoldersMonitor> FoldersMonitor;
    TDateTime Created = 0;
    TDateTime LastRun = 0;

    std::unique_ptr<TTaskLogger> Logger;

    // Every stored setting but the identity (ID, Created, LastRun), as a copy: the dialogs' draft.
    TaskSettings settings() const;
    // Takes every setting of `s`; ID, Created, LastRun and the run state stay. The folder watches
    // are not rebuilt here: the caller runs UpdateFoldersMonitor when the settings are accepted.
    void assignSettings(const TaskSettings &s);

    // A new random ID of 21 characters from "1234567890ABCDEF"; with `inUse`, one that no task of
    // that list holds (compared ignoring case, as the store compares key names).
    void GenerateID(const TTasksList *inUse = nullptr);
    static std::string newRandomID();

    // Display texts.
    std::string GetStrTaskType() const;
    std::string GetStrLastRun() const;

    // Sources. Each call parses Source afresh.
    int GetSourceCount() const;
    std::string GetSourceFolder(int index) const; // expanded, ending in "/"; empty when out of range
    bool GetSourceIncludeSubfolders(int index) const;
    // The index of the first source folder that contains `path` (whole path components), or -1.
    int IndexOfSourceFolder(const std::string &path) const;

    // Destination folders, expanded and ending in "/" (empty when the setting is empty).
    std::string GetDestinationFolder(int sourceIndex) const;
    std::string GetCompressFilePath() const;
    std::string GetArchiveFolder() const;
    std::string GetVersionsFolder() const;

    // Accessors of the dialogs.
    std::uint16_t GetHotKey() const { return HotKey; }
    void SetHotKey(std::uint16_t v) { HotKey = v; }
    bool GetHotKeyBringToFront() const { return HotKeyBringToFront; }
    void SetHotKeyBringToFront(bool v) { HotKeyBringToFront = v; }
    bool GetCompressUse() const { return CompressUse; }
    void SetCompressUse(bool v) { CompressUse = v; }
    std::string GetCompressFilename() const { return CompressFilename; }
    void SetCompressFilename(const std::string &v) { CompressFilename = v; }
    std::string GetCompressPassword() const { return CompressPassword; }
    void SetCompressPassword(const std::string &v) { CompressPassword = v; }
    std::int32_t GetCompressLevel() const { return CompressLevel; }
    void SetCompressLevel(std::int32_t v) { CompressLevel = v; }

    // The state of a run in progress.
    bool GetSuspended() const;
    std::string GetProgressCaption() const;
    int GetProgressPercent() const;

    // The filter verdict for one entry found in folder `path`.
    bool MatchFilters(std::string_view path, const DirEntry &entry) const
    {
        return Filters.Match(path, entry);
    }

    // Settings of the groups, program-wide while the group's UseDefault is set.
#define QV_DECLARE_GROUP_GETTER(GROUP, FIELD, TYPE, PROG) TYPE Get##PROG() const;
    QV_TASK_GROUP_GETTERS(QV_DECLARE_GROUP_GETTER)
#undef QV_DECLARE_GROUP_GETTER
    // 0 KBits, 1 MBits.
    int GetBandwidthMeasure() const;
#define QV_DECLARE_ALERT_GETTER(M, E, I, T, NEW, ABS, PROG) T GetEvents##M##E##I() const;
    QV_TASK_ALERTS(QV_DECLARE_ALERT_GETTER)
#undef QV_DECLARE_ALERT_GETTER
    // The disk-full dialog setting of the current run (silent, by hand or scheduled).
    bool GetEventsDiskSpanDialog() const;

    // `text` with the task's path variables expanded.
    std::string Expand(const std::string &text) const
    {
        return ExpandVariables(*this, text);
    }

    // Rebuilds the folder watches from the current sources (and the destination of a synchronise
    // task). Returns the messages of watches that could not start.
    std::vector<std::string> UpdateFoldersMonitor();

    // Runs (TaskRun.cpp), on the main thread. `startMode` is kStartAutomatic or kStartByHand.
    void Run(std::uint8_t startMode);
    // The validation text (messages joined by "; "), empty when the task may run.
    std::string Validate() const;
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
    bool GetSystemStartupWait(bool &wait, int &seconds) const;
    bool GetProgramStartupWait(bool &wait, int &seconds) const;
    bool GetSystemShutdownLimit(bool &limit, int &seconds) const;
    void StartAtSystemStartup();
    void StartAtProgramStartup();
    void StartAtSystemShutdown();
    // The task list's next-run column.
    std::string GetStrNextRun() const;

    // Storage (TaskStorage.cpp). `key` is a full key path below HKEY_CURRENT_USER.
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

// Multi-source lists: "!" followed by the comma text of items, each ">" (with subfolders) or "|"
// (without) and a folder. Any other first character belongs to the folder (without subfolders).
struct SourceFolderItem
{
    std::string folder;
    bool includeSubfolders = false;
    bool operator==(const SourceFolderItem &) const = default;
};
// A single folder (no "!") gives one item with `singleIncludeSubfolders`.
std::vector<SourceFolderItem> decodeSourceList(std::string_view source, bool singleIncludeSubfolders = true);
std::string encodeSourceList(const std::vector<SourceFolderItem> &items);

// Bytes done x 100 / bytes total, the fraction dropped; 0 without a total.
int progressPercent(std::int64_t done, std::int64_t total);

// The task model's name for withSlash (platform/PathText.h): a folder with its final "/".
inline std::string includeTrailingSlash(const std::string &path)
{
    return withSlash(path);
}
// True when `path` is `folder` or lies below it (whole components; both absolute).
bool isPathInside(std::string_view path, std::string_view folder);

} // namespace qv
