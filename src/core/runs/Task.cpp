// The task the program runs: its runtime parts (monitor, logger, timer), its draft, the run state.
#include "core/runs/Task.h"

#include "core/engine/CustomBackup.h"
#include "core/runs/RunQueue.h"
#include "core/runs/TaskRunFlags.h"
#include "core/schedule/ScheduleCaption.h"
#include "core/task/TaskStorage.h"
#include "core/text/Language.h"

#include <QTimer>

namespace qv {

TTask::TTask()
{
    Timer = std::make_unique<QTimer>();
    Timer->setInterval(1000);
    FoldersMonitor = std::make_unique<TFoldersMonitor>(this);
    FoldersMonitor->DoWait = true;
    FoldersMonitor->WaitSeconds = 30;
    Logger = std::make_unique<TTaskLogger>(this);
    // A change starts the task the way every automatic start does: refused while it runs, a
    // warning in its log while the scheduler is disabled. A watch that cannot start is a warning
    // in the task's log; the task works without it.
    FoldersMonitor->OnFolderChanged = [this] { ScheduledStart(); };
    FoldersMonitor->OnWarning = [this](const std::string &text) { Logger->Add(kLogWarning, text); };
}

TTask::~TTask()
{
    // The watches go first, while the logger they report to still exists: none may report a change
    // or a warning to a task that is being freed.
    FoldersMonitor.reset();
    // Buffered log lines are written while the task's log settings can still be read.
    if (Logger) {
        Logger->Flush();
    }
}

TaskSettings TTask::settings() const
{
    TaskSettings s;
    static_cast<TaskSettingsFields &>(s) = *this;
    s.FolderMonitor = *FoldersMonitor;
    return s;
}

void TTask::assignSettings(const TaskSettings &s)
{
    static_cast<TaskSettingsFields &>(*this) = s;
    static_cast<TFolderMonitorSettings &>(*FoldersMonitor) = s.FolderMonitor;
}

void TTask::GenerateID(const TTasksList *inUse)
{
    do {
        ID = newRandomID();
    } while (inUse != nullptr && inUse->TaskIDInUse(ID, this));
}

bool TTask::GetSuspended() const
{
    const TCustomBackup *thread = Thread();
    return thread != nullptr && thread->suspended();
}

std::string TTask::GetProgressCaption() const
{
    if (!Running) {
        return {};
    }
    // Before the run names its first step the caption says where it stands: waiting for its turn
    // in the queue, or starting (its checks and start alert, or a thread not yet at work).
    const TCustomBackup *thread = Thread();
    if (thread != nullptr) {
        std::string caption = thread->progress().caption;
        if (!caption.empty()) {
            return caption;
        }
        for (const RunQueue::RecordView &r : RunQueue::instance().records()) {
            if (r.run == thread && !r.started) {
                return GetLangString("waiting", "strTaskProgressWaiting");
            }
        }
    }
    return GetLangString("starting", "strTaskProgressStarting");
}

int TTask::GetProgressPercent() const
{
    const TCustomBackup *thread = Thread();
    if (thread == nullptr) {
        return 0;
    }
    const ProgressState progress = thread->progress();
    return progressPercent(progress.position, progress.maximum);
}

bool TTask::GetEventsDiskSpanDialog() const
{
    if (SilentMode) {
        return GetEventsSilentDiskSpanDialog();
    }
    if (StartMode == kStartByHand) {
        return GetEventsManualDiskSpanDialog();
    }
    return GetEventsScheduledDiskSpanDialog();
}

std::string TTask::GetStrNextRun() const
{
    return nextRunText(Schedules, LastRun);
}

std::vector<std::string> TTask::UpdateFoldersMonitor()
{
    // Folders that do not exist now are watched from when they are there; a watch that cannot start
    // is reported by the monitor and never stops the caller.
    std::vector<WatchedFolder> folders;
    const int count = GetSourceCount();
    for (int i = 0; i < count; ++i) {
        const std::string folder = GetSourceFolder(i);
        if (!folder.empty() && folder[0] == '/') {
            folders.push_back({folder, GetSourceIncludeSubfolders(i)});
        }
    }
    if (TaskType == ttSynchronize) {
        const std::string dest = GetDestinationFolder(-1);
        if (!dest.empty() && dest[0] == '/') {
            folders.push_back({dest, SourceIncludeSubfolders});
        }
    }
    return FoldersMonitor->Rebuild(folders);
}

void TTask::SaveToRegistry(const std::string &key) const
{
    saveTaskDefinition(*this, *FoldersMonitor, key);
}

bool TTask::LoadFromRegistry(const std::string &key)
{
    const bool known = loadTaskDefinition(*this, *FoldersMonitor, key);
    UpdateFoldersMonitor();
    return known;
}

} // namespace qv
