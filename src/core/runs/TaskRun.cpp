// Runs of a task: the start with its checks and alerts, stop, suspend, and the filter test.
//
// Every start ends here, on the main thread. The start alert may run a nested event loop, so the
// state is read again after it; the backup thread is created only after the last check and reaches
// the task only through its host.
#include "core/runs/AlertDispatcher.h"
#include "core/engine/BackupThreadFactory.h"
#include "core/engine/BackupTypes.h"
#include "core/engine/CustomBackup.h"
#include "core/engine/RunSnapshotOfTask.h"
#include "core/text/Language.h"
#include "core/runs/MainWindowCallbacks.h"
#include "core/runs/RunQueue.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/runs/TaskRunHost.h"
#include "core/task/TaskValidate.h"
#include "core/util/Utils.h"

#include <QString>

namespace qv {

namespace {

void refreshListAndState()
{
    mainWindow().UpdateListView();
    mainWindow().CheckState();
}

bool profileSkipped(const TTask &task, std::string &profile)
{
    profile = GetCurrentHardwareProfile();
    if (profile.empty()) {
        return false;
    }
    const QString current = QString::fromStdString(profile);
    for (const std::string &name : FromCommaText(task.GetHardwareSkipList())) {
        if (QString::fromStdString(name).compare(current, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

void TTask::Run(std::uint8_t startMode)
{
    if (Running) {
        return;
    }
    StartMode = startMode;
    std::string profile;
    if (startMode == kStartAutomatic && profileSkipped(*this, profile)) {
        LastRun = Now();
        Logger->Add(kLogWarning, formatLangString("Skipping scheduled Task run because current hardware profile is "
                                                  "\"%s\"!",
                                                  "strBackupHardwareSkip", {profile}));
        refreshListAndState();
        return;
    }
    const std::string errors = Validate();
    if (errors.empty() || startMode == kStartByHand) {
        ValidationFailed = false;
    }
    if (Running || Editing || ValidationFailed) {
        return;
    }

    RunQueue::instance().reserve(RunLink.record(this)); // Running from here on
    Logger->Add(kLogStarted, {});
    const int answer = alerter().Alert(*this, akStart, GetLangString("Backup started.", "strBackupStartup"), "CS");
    if (answer == aaStop) {
        endStart();
        LastRun = Now();
        Logger->Add(kLogAborted, {});
        refreshListAndState();
        return;
    }
    mainWindow().CheckState();
    if (!errors.empty()) {
        endStart();
        ValidationFailed = true;
        Logger->Add(kLogError, errors);
        Logger->Add(kLogAborted, {});
        alerter().Alert(*this, akError, errors, "S");
        refreshListAndState();
        return;
    }
    LastRun = Now();
    refreshListAndState();
    startThread();
    refreshListAndState();
}

void TTask::startThread()
{
    auto endWithoutThread = [this](const std::string &error) {
        if (!error.empty()) {
            Logger->Add(kLogError, error);
        }
        Logger->Add(kLogAborted, {});
        endStart();
    };
    if (DestType == kDestCdDvd) {
        endWithoutThread({});
        mainWindow().ShowMessage(CoreMessageKind::Information, "CD/DVD backup is not implemented yet.");
        return;
    }
    if (DestType != kDestLocal) {
        endWithoutThread("FTP backup is not implemented yet.");
        return;
    }
    const std::shared_ptr<TaskRunSlots> &links = RunLink.record(this);
    auto host = std::make_unique<TaskRunHost>(links, TaskRunHost::Role::Backup);
    TCustomBackup *run = nullptr;
    try {
        run = createBackupThread(makeRunSnapshot(*this, GetEventsDiskSpanDialog()), host.get());
    } catch (const std::exception &e) {
        endWithoutThread(e.what());
        return;
    }
    // A run started under the global suspend waits before it does anything at all.
    run->setSuspended(Suspend);
    if (Suspend) {
        Logger->Add(kLogWarning, "Starting Task in Suspended Mode! Click \"Global Suspend\" on the toolbar to "
                                 "resume suspended operations.");
    }
    RunQueue::instance().submit(run, DisallowSimultaneousBackup, {links, RunRole::Backup, std::move(host)});
}

void TTask::endStart()
{
    RunQueue::instance().cancelReserved(RunLink.peek());
}

TCustomBackup *TTask::Thread() const
{
    return RunQueue::instance().runOf(RunLink.peek(), RunRole::Backup);
}

void TTask::Stop()
{
    if (TCustomBackup *thread = Thread(); thread != nullptr) {
        thread->Stop();
    }
}

void TTask::SetSuspended(bool suspended)
{
    TCustomBackup *thread = Thread();
    if (thread == nullptr) {
        return;
    }
    if (thread->suspended() && !suspended) {
        thread->setSuspended(false);
        Logger->Add(kLogWarning, "The Task is unsuspended!");
    } else if (!thread->suspended() && suspended) {
        thread->setSuspended(true);
        Logger->Add(kLogWarning, "The Task is suspended! Click \"Suspend/Resume\" on the toolbar to resume Task.");
    }
}

void TTask::ApplyGlobalSuspend()
{
    if (TCustomBackup *thread = Thread(); thread != nullptr) {
        thread->setSuspended(Suspend);
    }
}

bool TTask::RunTest(const std::string &reportFileName)
{
    return RunTest(reportFileName, FilterTestDraft{Filters, DestLocal});
}

bool TTask::RunTest(const std::string &reportFileName, const FilterTestDraft &draft)
{
    if (TestRunning()) {
        return false;
    }
    const std::shared_ptr<TaskRunSlots> &links = RunLink.record(this);
    auto host = std::make_unique<TaskRunHost>(links, TaskRunHost::Role::FilterTest);
    TCustomBackup *test = nullptr;
    try {
        test = createTestThread(makeTestSnapshot(*this, draft), host.get(), reportFileName);
    } catch (const std::exception &e) {
        Logger->Add(kLogError, e.what());
        return false;
    }
    RunQueue::instance().submit(test, false, {links, RunRole::FilterTest, std::move(host)});
    return true;
}

bool TTask::TestRunning() const
{
    return RunQueue::instance().runOf(RunLink.peek(), RunRole::FilterTest) != nullptr;
}

} // namespace qv
