// MainFormDialogs: the dialogs the main window's commands open, each one replaceable and each one optional.
//
// The window never constructs a dialog itself: the program installs the entries that exist, tests install
// fakes. An entry left empty disables the actions that need it (the window's action rules read
// `has*()`), so a command never does nothing silently. Every entry runs modally on the main thread; the
// caller must find its task again by ID afterwards, since a nested event loop may have changed the list.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace qv {

class TTask;
class TTrayIcon;

struct MainFormDialogs {
    // The task properties dialog on `startPage` (0 = first page); true when closed with OK. `newTask`: the
    // task is not in the list yet (the New command), so what Cancel drops never existed.
    std::function<bool(QWidget *parent, TTask &task, int startPage, bool newTask)> editTask;
    // True when the task has no password or the right one was typed; false on a wrong one or Cancel.
    std::function<bool(QWidget *parent, TTask &task)> checkTaskPassword;
    // The group name dialog: `name` in and out; true on OK.
    std::function<bool(QWidget *parent, QString &name)> groupProperties;
    // The group order dialog: the group names in and out, one per item; true on OK.
    std::function<bool(QWidget *parent, QStringList &groups)> groupsOrder;
    // The shortcut dialog for a task (it writes the shortcut itself).
    std::function<void(QWidget *parent, TTask &task)> shortcutDialog;
    // The about box.
    std::function<void(QWidget *parent)> about;
    // The program options dialog on `page` (-1 = the remembered page); true on OK.
    std::function<bool(QWidget *parent, int page, TTrayIcon *tray)> preferencesPage;
    // The settings maintenance wizard.
    std::function<void(QWidget *parent)> maintenanceWizard;
    // The exit confirmation; true to exit. Absent: the window asks with a plain Yes/No box.
    std::function<bool(QWidget *parent)> confirmExit;

    bool hasEditTask() const { return static_cast<bool>(editTask); }
    bool hasCheckTaskPassword() const { return static_cast<bool>(checkTaskPassword); }
    bool hasGroupProperties() const { return static_cast<bool>(groupProperties); }
    bool hasGroupsOrder() const { return static_cast<bool>(groupsOrder); }
    bool hasShortcutDialog() const { return static_cast<bool>(shortcutDialog); }
    bool hasAbout() const { return static_cast<bool>(about); }
    bool hasPreferencesPage() const { return static_cast<bool>(preferencesPage); }
    bool hasMaintenanceWizard() const { return static_cast<bool>(maintenanceWizard); }
    bool hasConfirmExit() const { return static_cast<bool>(confirmExit); }
};

// The program's set of dialogs: each dialog's file adds its entry here (see installProgramDialogs),
// and runProgram hands the result to the main window.
MainFormDialogs &programDialogs();

} // namespace qv
