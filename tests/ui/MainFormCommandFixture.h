// A main window over fake tray, hot keys, session, desktop and dialogs, with three tasks in two groups.
#pragma once

#include "components/MessageBox.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "core/runs/BackupData.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeSessionEvents.h"
#include "platform/gui/FakeTrayService.h"
#include "ui/MainForm.h"
#include "ui/TaskListModel.h"

#include <QAction>
#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace qvtest {

// Dialogs that answer from queues and count their calls.
struct FakeDialogs {
    std::deque<bool> editAnswers;      // editTask (default true)
    std::deque<bool> passwordAnswers;  // checkTaskPassword (default true)
    std::deque<QString> groupNames;    // groupProperties: the name typed (none left: Cancel)
    std::deque<QStringList> orders;    // groupsOrder: the order returned (none left: Cancel)
    std::function<void(qv::TTask &)> whileEditing; // runs inside editTask
    std::function<void()> whileAskingPassword;     // runs inside checkTaskPassword
    int editCalls = 0, passwordCalls = 0, groupCalls = 0, orderCalls = 0, shortcutCalls = 0, aboutCalls = 0,
        prefsCalls = 0, wizardCalls = 0, exitCalls = 0;
    int lastStartPage = -2, lastPrefsPage = -2;
    std::optional<bool> lastNewTask;
    std::string lastTaskName; // the task the last task dialog was opened for
    QString lastGroupNameIn;
    QStringList lastOrderIn;

    qv::MainFormDialogs make()
    {
        qv::MainFormDialogs d;
        d.editTask = [this](QWidget *, qv::TTask &t, int page, bool newTask) {
            ++editCalls;
            lastTaskName = t.Name;
            lastStartPage = page;
            lastNewTask = newTask;
            if (whileEditing) {
                whileEditing(t);
            }
            return take(editAnswers, true);
        };
        d.checkTaskPassword = [this](QWidget *, qv::TTask &t) {
            ++passwordCalls;
            lastTaskName = t.Name;
            if (whileAskingPassword) {
                whileAskingPassword();
            }
            return take(passwordAnswers, true);
        };
        d.groupProperties = [this](QWidget *, QString &name) {
            ++groupCalls;
            lastGroupNameIn = name;
            if (groupNames.empty()) {
                return false;
            }
            name = groupNames.front();
            groupNames.pop_front();
            return true;
        };
        d.groupsOrder = [this](QWidget *, QStringList &groups) {
            ++orderCalls;
            lastOrderIn = groups;
            if (orders.empty()) {
                return false;
            }
            groups = orders.front();
            orders.pop_front();
            return true;
        };
        d.shortcutDialog = [this](QWidget *, qv::TTask &t) {
            ++shortcutCalls;
            lastTaskName = t.Name;
        };
        d.about = [this](QWidget *) { ++aboutCalls; };
        d.preferencesPage = [this](QWidget *, int page, qv::TTrayIcon *) {
            ++prefsCalls;
            lastPrefsPage = page;
            return true;
        };
        d.maintenanceWizard = [this](QWidget *) { ++wizardCalls; };
        d.confirmExit = [this](QWidget *) {
            ++exitCalls;
            return false;
        };
        return d;
    }
    template <typename T> static T take(std::deque<T> &q, T fallback)
    {
        if (q.empty()) {
            return fallback;
        }
        T v = q.front();
        q.pop_front();
        return v;
    }
};

class MainFormCommandFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qv::ResetSettingsToDefaults();
        qv::FirstStart = false;
        qv::StartupRunMinimized = false;
        qv::ExitWhenIdle = false;
        qv::MessageBoxSeam::clear();
        qv::TSafeRegistry().DeleteKey(qv::RegKeyRoot);
        data = std::make_unique<qv::TBackupData>();
        qv::BackupData = data.get();
        data->Groups = {"Photos", "Work"};
        for (const auto &[name, group] : std::initializer_list<std::pair<const char *, const char *>>{
                 {"Camera roll", "Photos"}, {"Reports", "Work"}, {"Dotfiles", ""}, {"Scans", "Photos"}}) {
            auto t = std::make_unique<qv::TTask>();
            t->Name = name;
            t->BelongToGroup = group;
            data->Tasks.Add(std::move(t));
        }
        makeForm();
    }
    void TearDown() override
    {
        form.reset();
        qv::BackupData = nullptr;
        data.reset();
        qv::MessageBoxSeam::clear();
    }
    // A fresh window, data, dialogs and store, for the next row of a table.
    void restart()
    {
        TearDown();
        dialogs = FakeDialogs();
        desktop.opened.clear();
        desktop.answer = true;
        SetUp();
    }
    void makeForm(bool withDialogs = true)
    {
        form.reset();
        auto t = std::make_unique<qv::FakeTrayService>();
        TMainFormServices s;
        s.tray = std::move(t);
        s.hotKeys = &hotKeys;
        s.sessionEvents = &session;
        s.exitDrainMs = 10000;
        s.hardExit = [] {};
        if (withDialogs) {
            s.dialogs = dialogs.make();
        }
        form = std::make_unique<qv::TMainForm>(data.get(), std::move(s));
    }
    using TMainFormServices = qv::TMainForm::Services;

    QAction *act(const char *name) const
    {
        QAction *a = form->action(name);
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    // Selects a task by name in the list shown (false when it is not listed).
    bool selectByName(const std::string &name)
    {
        for (int i = 0; i < data->Tasks.Count(); ++i) {
            if (data->Tasks[i]->Name == name) {
                return form->selectTask(data->Tasks[i]->ID);
            }
        }
        return false;
    }
    std::vector<std::string> listedNames() const
    {
        std::vector<std::string> names;
        for (int r = 0; r < form->taskList()->rowCount(); ++r) {
            names.push_back(form->taskList()->index(r, 0).data().toString().toStdString());
        }
        return names;
    }
    std::string currentName() const
    {
        form->CheckState();
        return form->CurrentTask() == nullptr ? std::string("<none>") : form->CurrentTask()->Name;
    }
    qv::TTask *taskNamed(const std::string &name) const
    {
        for (int i = 0; i < data->Tasks.Count(); ++i) {
            if (data->Tasks[i]->Name == name) {
                return data->Tasks[i];
            }
        }
        return nullptr;
    }

    FakeDialogs dialogs;
    qv::FakeDesktop desktop;
    std::unique_ptr<qv::TBackupData> data;
    std::unique_ptr<qv::TMainForm> form;
    qv::FakeHotKeys hotKeys;
    qv::FakeSessionEvents session;
};

} // namespace qvtest
