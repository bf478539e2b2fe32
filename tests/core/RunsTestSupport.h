// Shared fixtures of the run and scheduler tests: a recording main window and alerter, a fixed
// clock, fake services for the backup threads, and waiting on the event loop.
#pragma once

#include "core/runs/AlertDispatcher.h"
#include "core/engine/BackupThreadFactory.h"
#include "core/engine/BackupTypes.h"
#include "core/engine/LocalBackup.h"
#include "core/runs/MainWindowCallbacks.h"
#include "core/runs/RunQueue.h"
#include "core/engine/RunSnapshotOfTask.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/task/TaskValidate.h"
#include "core/engine/TestBackup.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace runstest {

struct RaisedAlert {
    std::string task;
    int event;
    std::string text;
    std::string buttons;
};

class RecordingAlerter : public qv::AlertDispatcher
{
public:
    std::vector<RaisedAlert> alerts;
    std::function<int(const RaisedAlert &)> answer;

    int Alert(qv::TTask &task, int event, const std::string &text, const std::string &buttons) override
    {
        alerts.push_back({task.Name, event, text, buttons});
        return answer ? answer(alerts.back()) : 0;
    }
    bool Wants(const qv::TTask &, int) const override { return true; } // records every alert
    int count(int event) const
    {
        int n = 0;
        for (const auto &a : alerts) {
            n += a.event == event ? 1 : 0;
        }
        return n;
    }
};

class RecordingWindow : public qv::MainWindowCallbacks
{
public:
    int checkState = 0;
    int listView = 0;
    int statusBar = 0;
    int raised = 0;
    std::vector<std::pair<qv::CoreMessageKind, std::string>> messages;

    void CheckState() override { ++checkState; }
    void UpdateListView() override { ++listView; }
    void UpdateStatusBar() override { ++statusBar; }
    void ShowAndRaise() override { ++raised; }
    void ShowMessage(qv::CoreMessageKind kind, const std::string &text) override { messages.push_back({kind, text}); }
};

// Processes events until `done` holds or `ms` have passed.
inline bool waitFor(const std::function<bool()> &done, int ms = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

// The programs a run started, recorded instead of run.
struct ProgramRecorder {
    std::mutex mutex;
    std::vector<std::string> started;
    std::vector<std::string> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return started;
    }
};

// Installs the recording window and alerter, a clean set of program settings, and backup threads
// whose programs are recorded; restores everything afterwards.
class RunsFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qv::ResetSettingsToDefaults();
        qv::setMainWindow(&window);
        qv::setAlerter(&alerter);
        qv::setBackupThreadFactory([this](std::shared_ptr<qv::RunSnapshot> snapshot, qv::BackupHost *host) -> qv::TCustomBackup * {
            qv::BackupServices services;
            services.executeProgram = [this](const std::string &command, bool, const qv::RunControl &) {
                std::lock_guard<std::mutex> lock(programs.mutex);
                programs.started.push_back(command);
                return true;
            };
            services.moveToTrash = [](int, const std::string &, const std::string &, std::string &error) {
                error = "no trash in tests";
                return false;
            };
            return new qv::TLocalBackup(std::move(snapshot), host, services);
        });
    }
    void TearDown() override
    {
        waitFor([] { return qv::RunningTaskCount() == 0; }, 20000);
        qv::setBackupThreadFactory({});
        qv::setTestThreadFactory({});
        qv::setAlerter(nullptr);
        qv::setMainWindow(nullptr);
        qv::setDriveFactsForTests({});
        qv::setClock(nullptr);
        qv::ResetSettingsToDefaults();
    }

    // A task copying `source` into `destination` by hand, logging into the test home.
    static std::unique_ptr<qv::TTask> makeTask(const std::string &name, const std::string &source,
                                               const std::string &destination)
    {
        auto task = std::make_unique<qv::TTask>();
        task->Name = name;
        task->Source = source;
        task->DestLocal = destination;
        qv::TTaskFilterItem all; // include every file
        all.FilterType = qv::fitInclude;
        all.fnWildcard = "*";
        task->Filters.Add(all);
        return task;
    }

    // The activity list of a task as "kind text" lines.
    static std::vector<std::string> events(const qv::TTask &task)
    {
        std::vector<std::string> lines;
        for (const qv::TLogItem &item : task.Logger->Events()) {
            lines.push_back(std::to_string(item.Kind) + " " + item.Text);
        }
        return lines;
    }
    static int countKind(const qv::TTask &task, int kind)
    {
        int n = 0;
        for (const qv::TLogItem &item : task.Logger->Events()) {
            n += item.Kind == kind ? 1 : 0;
        }
        return n;
    }
    static std::string joined(const std::vector<std::string> &lines)
    {
        std::string s;
        for (const auto &l : lines) {
            s += l + "\n";
        }
        return s;
    }

    RecordingWindow window;
    RecordingAlerter alerter;
    ProgramRecorder programs;
};

} // namespace runstest
