// TBackupData: the program's task data: the group names, the task list and the task hot keys, with
// the operations that act on a group of tasks or find a task by name or ID.
//
// One instance lives for the whole program (the global BackupData, created by the main window's
// unit). Everything here runs on the main thread. Starting a task can run a nested event loop (the
// start alert), in which the user may add or delete tasks; every loop over the tasks therefore
// works on a snapshot and skips tasks that have left the list meanwhile.
#pragma once

#include "core/runs/Task.h"
#include "core/runs/TaskListStorage.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QObject;

namespace qv {

class HotKeys;

// One task hot-key slot: the id given to the hot-key layer and the task it starts. An unused slot
// holds -1, which no hot key carries.
struct THotKeySlot {
    std::int32_t Id = -1;
    std::string TaskID;
};

inline constexpr int kHotKeySlotCount = 100;
// The main window's own hot key (shows the window).
inline constexpr int kShowWindowHotKeyId = 9999;
// The id of the trial grab that tests whether a combination is free.
inline constexpr int kTrialHotKeyId = 10000;

class TBackupData
{
public:
    TBackupData();
    ~TBackupData();
    TBackupData(const TBackupData &) = delete;
    TBackupData &operator=(const TBackupData &) = delete;

    std::vector<std::string> Groups;
    TTasksList Tasks;
    std::array<THotKeySlot, kHotKeySlotCount> HotKeys;

    // Storage: the groups and every task. Load returns one line per problem found (already in the
    // interface language); a task that could not be loaded keeps its key on later saves. Save
    // raises RegistryError when the store could not be written (it then keeps its old state).
    std::vector<std::string> LoadFromRegistry();
    void SaveToRegistry() const;

    // The localised name of the pseudo-group that holds every task ("All Tasks").
    static std::string AllTasksGroupName();
    // Whether `task` belongs to `group`: its BelongToGroup equals the name exactly, or the name is
    // the pseudo-group of every task.
    static bool IsTaskInGroup(const TTask &task, const std::string &group);

    bool IsGroupRunning(const std::string &group) const;
    int GetGroupRunningCount(const std::string &group) const;
    int GetGroupTaskCount(const std::string &group) const;
    bool HasIdleTaskInGroup(const std::string &group) const;
    void RunGroup(const std::string &group, std::uint8_t startMode);
    // Suspends the running tasks of the group (it never resumes them).
    void PauseGroup(const std::string &group);
    void StopGroup(const std::string &group);
    void RunTaskByName(const std::string &name, std::uint8_t startMode);
    // The task whose ID equals `id` exactly (the last one in list order), or null.
    TTask *FindTaskByID(const std::string &id) const;
    void RunTaskByID(const std::string &id, std::uint8_t startMode);
    void ApplyGlobalSuspend();

    // Runs in progress: every task, and the tasks that belong to no group.
    int RunningCount() const;
    int RunningUngroupedCount() const;

    // Removes and frees the task at `index`. Refused (false) while the task runs or tests its
    // filters.
    bool DeleteTask(int index);

    // The own scheduler: every task's entries, once a second.
    void CheckSchedules();
    // The start-up and shutdown starts of every task that is not running, in list order.
    void StartAtSystemStartup();
    void StartAtProgramStartup();
    void StartAtSystemShutdown();

    // Hot keys. `keys` (not owned; null detaches) is the desktop's hot-key layer; its presses
    // start tasks and the show-window hot key brings the main window forward.
    void SetHotKeyLayer(qv::HotKeys *keys);
    qv::HotKeys *HotKeyLayer() const { return m_hotKeys; }
    void RegisterHotKeys();
    // Whether `shortCut` can be a task's hot key: our table does not hold it yet (the show-window
    // hot key included; a combination that `exceptTaskID` holds counts as free) and a trial grab
    // succeeds. The trial grab is released at once.
    bool CanRegisterHotKey(std::uint16_t shortCut, const std::string &exceptTaskID = {}) const;
    bool RunHotKeyTask(int id);
    // The main window's own hot key: released, then registered again when `use` and `shortCut` is
    // not 0. False (after the failure message) when the registration failed.
    bool RegisterShowWindowHotKey(bool use, std::uint16_t shortCut);

private:
    // The tasks in list order at the time of the call; null entries for none.
    std::vector<TTask *> snapshot() const;
    bool stillListed(const TTask *task) const;
    bool registerCombination(int id, std::uint16_t shortCut);
    void reportUnavailableHotKeys();

    TaskStoreState m_storeState;
    qv::HotKeys *m_hotKeys = nullptr;
    std::unique_ptr<QObject> m_hotKeyContext;
    // What each of our registered ids holds (modifiers, virtual key).
    std::map<int, std::pair<unsigned, unsigned>> m_combinations;
};

// The program's task data (created and freed by the main window's unit); null before.
extern TBackupData *BackupData;

} // namespace qv
