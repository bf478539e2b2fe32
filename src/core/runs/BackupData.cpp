// TBackupData: groups, the task list, runs by group, name and ID, the scheduler's entry points.
#include "core/runs/BackupData.h"

#include "core/runs/MainWindowCallbacks.h"
#include "core/schedule/TaskSchedulerControl.h"
#include "core/text/Language.h"
#include "core/text/TextFormat.h"
#include "platform/SystemScheduler.h"

#include <QObject>

#include <algorithm>

namespace qv {

TBackupData *BackupData = nullptr;

TBackupData::TBackupData() : m_hotKeyContext(std::make_unique<QObject>()) {}

TBackupData::~TBackupData()
{
    SetHotKeyLayer(nullptr);
}

std::vector<std::string> TBackupData::LoadFromRegistry()
{
    m_storeState = loadGroupsAndTasks(Groups, Tasks);
    return m_storeState.messages;
}

void TBackupData::SaveToRegistry() const
{
    saveGroupsAndTasks(Groups, Tasks, m_storeState);
}

std::string TBackupData::AllTasksGroupName()
{
    return GetLangString("All Tasks", "strAllTasks");
}

bool TBackupData::IsTaskInGroup(const TTask &task, const std::string &group)
{
    return task.BelongToGroup == group || group == AllTasksGroupName();
}

std::vector<TTask *> TBackupData::snapshot() const
{
    std::vector<TTask *> tasks;
    tasks.reserve(static_cast<std::size_t>(Tasks.Count()));
    for (const auto &task : Tasks) {
        tasks.push_back(task.get());
    }
    return tasks;
}

bool TBackupData::stillListed(const TTask *task) const
{
    return Tasks.IndexOf(task) >= 0;
}

bool TBackupData::IsGroupRunning(const std::string &group) const
{
    return GetGroupRunningCount(group) >= 1;
}

int TBackupData::GetGroupRunningCount(const std::string &group) const
{
    const std::string all = AllTasksGroupName();
    return static_cast<int>(std::count_if(Tasks.begin(), Tasks.end(), [&](const auto &t) {
        return t->Running && (t->BelongToGroup == group || group == all);
    }));
}

int TBackupData::GetGroupTaskCount(const std::string &group) const
{
    const std::string all = AllTasksGroupName();
    return static_cast<int>(std::count_if(Tasks.begin(), Tasks.end(), [&](const auto &t) {
        return t->BelongToGroup == group || group == all;
    }));
}

bool TBackupData::HasIdleTaskInGroup(const std::string &group) const
{
    const std::string all = AllTasksGroupName();
    return std::any_of(Tasks.begin(), Tasks.end(), [&](const auto &t) {
        return !t->Running && (t->BelongToGroup == group || group == all);
    });
}

void TBackupData::RunGroup(const std::string &group, std::uint8_t startMode)
{
    for (TTask *task : snapshot()) {
        if (stillListed(task) && IsTaskInGroup(*task, group) && !task->Running) {
            task->Run(startMode);
        }
    }
}

void TBackupData::PauseGroup(const std::string &group)
{
    const bool suspend = IsGroupRunning(group) || IsGroupRunning(AllTasksGroupName());
    for (TTask *task : snapshot()) {
        if (IsTaskInGroup(*task, group)) {
            task->SetSuspended(suspend);
        }
    }
}

void TBackupData::StopGroup(const std::string &group)
{
    for (TTask *task : snapshot()) {
        if (IsTaskInGroup(*task, group) && task->Running) {
            task->Stop();
        }
    }
}

void TBackupData::RunTaskByName(const std::string &name, std::uint8_t startMode)
{
    for (TTask *task : snapshot()) {
        if (stillListed(task) && task->Name == name && !task->Running) {
            task->Run(startMode);
        }
    }
}

TTask *TBackupData::FindTaskByID(const std::string &id) const
{
    TTask *found = nullptr;
    for (const auto &task : Tasks) {
        if (task->ID == id) {
            found = task.get();
        }
    }
    return found;
}

void TBackupData::RunTaskByID(const std::string &id, std::uint8_t startMode)
{
    if (TTask *task = FindTaskByID(id); task != nullptr && !task->Running) {
        task->Run(startMode);
    }
}

void TBackupData::ApplyGlobalSuspend()
{
    for (TTask *task : snapshot()) {
        task->ApplyGlobalSuspend();
    }
}

int TBackupData::RunningCount() const
{
    return static_cast<int>(std::count_if(Tasks.begin(), Tasks.end(), [](const auto &t) { return t->Running; }));
}

int TBackupData::RunningUngroupedCount() const
{
    return static_cast<int>(std::count_if(Tasks.begin(), Tasks.end(),
                                          [](const auto &t) { return t->Running && t->BelongToGroup.empty(); }));
}

constexpr const char *kTimerNotRemoved = "The system timer of the task could not be removed: %s";

bool TBackupData::DeleteTask(int index)
{
    if (index < 0 || index >= Tasks.Count()) {
        return false;
    }
    const TTask *task = Tasks[index];
    if (task->Running || task->TestRunning()) {
        return false;
    }
    // A deleted task's system timer would start a task that no longer exists. The task goes
    // either way; a timer that could not be removed is reported.
    try {
        DeleteTaskSchedule(task->ID);
    } catch (const SchedulerError &e) {
        mainWindow().ShowMessage(CoreMessageKind::Error,
                                 formatText(GetLangString(kTimerNotRemoved, "strMsSchedulerDeleteError"),
                                            kTimerNotRemoved, {FormatArg(std::string(e.what()))}));
    }
    Tasks.Delete(index);
    return true;
}

void TBackupData::CheckSchedules()
{
    for (TTask *task : snapshot()) {
        if (stillListed(task)) {
            task->CheckSchedules();
        }
    }
}

void TBackupData::StartAtSystemStartup()
{
    for (TTask *task : snapshot()) {
        if (stillListed(task) && !task->Running) {
            task->StartAtSystemStartup();
        }
    }
}

void TBackupData::StartAtProgramStartup()
{
    for (TTask *task : snapshot()) {
        if (stillListed(task) && !task->Running) {
            task->StartAtProgramStartup();
        }
    }
}

void TBackupData::StartAtSystemShutdown()
{
    for (TTask *task : snapshot()) {
        if (stillListed(task) && !task->Running) {
            task->StartAtSystemShutdown();
        }
    }
}

} // namespace qv
