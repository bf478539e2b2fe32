// Folder core/task: what a task is: its settings and identity as a plain value, its filters,
// schedule entries, groups of settings, storage and validation. May include core/settings,
// core/text, core/util and the platform layer; nothing that runs a task (a task's runtime, TTask,
// lives in core/runs).
//
// TaskDefinition: one backup task as a plain value: every stored setting, the identity (ID, Created,
// LastRun) and what can be read from them: the folders with their variables expanded, the settings
// that fall back to the program-wide defaults, the filter verdict, the display texts.
//
// It can be copied and compared, and holds nothing that runs, watches or logs, so the engine, the
// scheduler, the variables and the dialogs read a task without needing any of that. The task the
// program runs (TTask) is this value plus its runtime. The folder monitor's settings are the one
// stored part kept outside: they live in the task's folder monitor.
#pragma once

#include "core/settings/DateTime.h"
#include "core/task/DirEntry.h"
#include "core/task/Filters.h"
#include "core/task/TaskGroups.h"
#include "core/task/TaskSettings.h"
#include "core/task/TaskTypes.h"
#include "platform/PathText.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

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

class TaskDefinition : public TaskSettingsFields
{
public:
    // Every default: named "Untitled", a new ID, Simple Copy, created and last run now.
    TaskDefinition();

    // Identity (the stored settings come from TaskSettingsFields).
    std::string ID;
    TDateTime Created = 0;
    TDateTime LastRun = 0;

    // A new random ID of 21 characters from "1234567890ABCDEF".
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

    // `text` with the task's path variables expanded.
    std::string Expand(const std::string &text) const;

    // The validation text (messages joined by "; "), empty when the task may run.
    std::string Validate() const;

    // The start-up waits and the shutdown limit of the last enabled entry of each kind; false
    // when there is none.
    bool GetSystemStartupWait(bool &wait, int &seconds) const;
    bool GetProgramStartupWait(bool &wait, int &seconds) const;
    bool GetSystemShutdownLimit(bool &limit, int &seconds) const;
};

// The path variables of a task, through its folder getters (GetSourceFolder, GetDestinationFolder(-1),
// GetArchiveFolder, GetVersionsFolder), its Name and ID.
std::string ExpandVariables(const TaskDefinition &task, const std::string &text);
std::string GetVariableValue(const TaskDefinition &task, int id, int sourceIndex);

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
