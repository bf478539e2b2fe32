// TMainForm: the commands that create, change, copy and delete tasks and groups, and those that open
// a dialog, a folder or the home page.
//
// Every dialog runs a nested event loop in which the schedule timer, folder changes and hand-overs
// go on: a command remembers its task by ID and finds it again afterwards, and never frees a task
// that has a backup thread.
#include "ui/MainForm.h"
#include "ui/ActivityLogView.h"

#include "components/LangText.h"
#include "components/MessageBox.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "core/runs/BackupData.h"
#include "core/task/TaskStorage.h"
#include "core/text/Language.h"
#include "core/util/Product.h"
#include "core/util/Utils.h"
#include "platform/RegistryStore.h"
#include "ui/TaskListModel.h"

#include <QAction>
#include <QFileInfo>
#include <QTreeWidget>

#include <algorithm>

namespace qv {
namespace {

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

QString format(const char *pattern, const char *key, const std::string &arg)
{
    return qs(formatLangString(pattern, key, {FormatArg(arg)}));
}

// Kinds of folder the View ... Folder commands open.
enum FolderKind { kSourceFolders, kDestinationFolder, kVersionsFolder, kDeletedFolder };

} // namespace

void TMainForm::setDialogs(MainFormDialogs dialogs)
{
    m_services.dialogs = std::move(dialogs);
    CheckState();
}

void TMainForm::connectCommands()
{
    auto on = [this](const char *name, auto fn) { connect(action(name), &QAction::triggered, this, fn); };
    on("actTaskNew", [this] { taskNew(); });
    on("actTaskProperties", [this] { taskProperties(); });
    on("actTaskDelete", [this] { taskDelete(); });
    on("actTaskDuplicate", [this] { taskDuplicate(); });
    on("actTaskViewSource", [this] { viewTaskFolders(kSourceFolders); });
    on("actTaskViewDestination", [this] { viewTaskFolders(kDestinationFolder); });
    on("actTaskViewDestinationVersions", [this] { viewTaskFolders(kVersionsFolder); });
    on("actTaskViewDestinationDeleted", [this] { viewTaskFolders(kDeletedFolder); });
    on("actTaskGroupNew", [this] { groupNew(); });
    on("actTaskGroupRename", [this] { groupRename(); });
    on("actTaskGroupDelete", [this] { groupDelete(); });
    on("actTaskGroupReorder", [this] { groupReorder(); });
    on("actOptionsPreferences", [this] { ShowPreferencesPage(-1); });
    const char *pages[] = {"actOptionsStartupAndShutdown", "actOptionsGlobalPerformance", "actOptionsLogDisplay",
                           "actOptionsInterfaceLanguage", "actOptionsTasksDefaults"};
    for (int i = 0; i < 5; ++i) {
        on(pages[i], [this, i] { ShowPreferencesPage(i); });
    }
    on("actToolsCreateShortcut", [this] {
        if (m_currentTask != nullptr && m_services.dialogs.hasShortcutDialog()) {
            m_services.dialogs.shortcutDialog(this, *m_currentTask);
        }
        CheckState();
    });
    on("actToolsTasksMaintenance", [this] {
        if (m_services.dialogs.hasMaintenanceWizard()) {
            m_services.dialogs.maintenanceWizard(this);
        }
        UpdateAll();
    });
    on("actHelpAbout", [this] { showAbout(); });
    on("actOtherTrayAboutQuorvellant", [this] { showAbout(); });
    on("actHelpHomepage", [] { ShellOpen(kProjectUrl, ""); });
}

void TMainForm::showAbout()
{
    if (m_services.dialogs.hasAbout()) {
        m_services.dialogs.about(this);
    }
}

void TMainForm::ShowPreferencesPage(int page)
{
    if (!m_services.dialogs.hasPreferencesPage()) {
        return;
    }
    if (m_services.dialogs.preferencesPage(this, page, m_tray)) {
        m_logView->refreshAppearance();
        SaveAllSettings();
        ApplyWindowSettings();
    }
    UpdateAll();
}

void TMainForm::taskNew()
{
    if (m_data == nullptr || !m_services.dialogs.hasEditTask()) {
        return;
    }
    auto task = std::make_unique<TTask>();
    TTaskFilterItem all;
    all.Enabled = true;
    all.FilterType = fitInclude;
    all.FilterKind = fikFileName;
    all.fnKind = fnkWildcard;
    all.fnWildcard = "*.*";
    task->Filters.Items = {all};
    task->GenerateID(&m_data->Tasks);
    if (m_services.dialogs.editTask(this, *task, 0, true)) {
        // A task made while every task is listed belongs to no group (not to the root's caption).
        task->BelongToGroup = rootSelected() ? std::string() : selectedGroupText().toStdString();
        TTask *added = m_data->Tasks.Add(std::move(task));
        CurrentProject = added->ID;
        UpdateListView();
        m_data->RegisterHotKeys();
    }
    CheckState();
    SaveAllSettings();
}

void TMainForm::taskProperties()
{
    if (m_data == nullptr || m_currentTask == nullptr || !m_services.dialogs.hasEditTask()) {
        return;
    }
    const std::string id = m_currentTask->ID;
    const bool ok = m_services.dialogs.editTask(this, *m_currentTask, 0, false);
    if (ok && m_data->FindTaskByID(id) != nullptr) {
        CurrentProject = id;
        UpdateListView();
        m_data->RegisterHotKeys();
    }
    CheckState();
    SaveAllSettings();
}

void TMainForm::taskDelete()
{
    if (m_data == nullptr || m_currentTask == nullptr || !m_services.dialogs.hasCheckTaskPassword()) {
        return;
    }
    const std::string id = m_currentTask->ID;
    auto refuseRunning = [this](const TTask &t) {
        if (!t.Running && !t.TestRunning()) {
            return false;
        }
        ShowMessageBox(this,
                       langText("You can't delete running Task. Please wait while Task done working and then try "
                                "again.",
                                "strMainTaskCantDeleteRunning"),
                       langText("Error", "strError"), MB_OK | MB_ICONERROR);
        return true;
    };
    if (refuseRunning(*m_currentTask)) {
        return;
    }
    // No start is accepted while the user is asked; the flag is put back on every way out.
    const bool wasEditing = m_currentTask->Editing;
    m_currentTask->Editing = true;
    auto release = [this, &id, wasEditing] {
        if (TTask *t = m_data->FindTaskByID(id)) {
            t->Editing = wasEditing;
        }
    };
    const bool passed = m_services.dialogs.checkTaskPassword(this, *m_currentTask);
    TTask *task = m_data->FindTaskByID(id);
    if (!passed || task == nullptr) {
        release();
        CheckState();
        return;
    }
    const int answer = ShowMessageBox(
        this, format("Do you really want to delete this task (%s) from the list?", "strMainTaskDeleteConfirmation", task->Name),
        langText("Confirmation", "strConfirmation"), MB_YESNO | MB_ICONQUESTION);
    task = m_data->FindTaskByID(id);
    if (answer == IDYES && task != nullptr && !refuseRunning(*task)) {
        // The item selected afterwards: the next one when the first goes, otherwise the one before.
        std::string next;
        for (int r = 0; r < m_proxy->rowCount(); ++r) {
            if (m_proxy->index(r, 0).data(kTaskIdRole).toString().toStdString() == id) {
                const int other = r == 0 ? 1 : r - 1;
                if (other < m_proxy->rowCount()) {
                    next = m_proxy->index(other, 0).data(kTaskIdRole).toString().toStdString();
                }
                break;
            }
        }
        m_currentTask = nullptr; // the list's refresh must not read the freed task
        m_data->DeleteTask(m_data->Tasks.IndexOf(task));
        CurrentProject = next;
        UpdateListView();
        m_data->RegisterHotKeys();
    } else {
        release();
    }
    CheckState();
    SaveAllSettings();
}

void TMainForm::taskDuplicate()
{
    if (m_data == nullptr || m_currentTask == nullptr) {
        return;
    }
    const std::string key = tempKeyPath("EditTask");
    auto copy = std::make_unique<TTask>();
    try {
        RegistryStore::checkStore(RegistryStore::storePath()); // a damaged store is not written to
        m_currentTask->SaveToRegistry(key);
        if (!copy->LoadFromRegistry(key)) {
            throw std::runtime_error(key);
        }
    } catch (const std::exception &e) {
        ShowError(this, qs(formatLangString("The task could not be copied: %s", "strMainTaskDuplicateError",
                                             {e.what()})));
        return;
    }
    TSafeRegistry().DeleteKey(key);
    copy->GenerateID(&m_data->Tasks);
    copy->Name += " duplicate";
    copy->HotKey = 0;
    TTask *added = m_data->Tasks.Add(std::move(copy));
    CurrentProject = added->ID;
    UpdateListView();
    m_data->RegisterHotKeys();
    SaveAllSettings();
}

void TMainForm::viewTaskFolders(int kind)
{
    if (m_currentTask == nullptr) {
        return;
    }
    std::vector<std::string> folders;
    switch (kind) {
    case kSourceFolders:
        for (int i = 0; i < m_currentTask->GetSourceCount(); ++i) {
            folders.push_back(m_currentTask->GetSourceFolder(i));
        }
        break;
    case kDestinationFolder:
        folders.push_back(m_currentTask->GetDestinationFolder(-1));
        break;
    case kVersionsFolder:
        folders.push_back(m_currentTask->GetVersionsFolder());
        break;
    default:
        folders.push_back(m_currentTask->GetArchiveFolder());
        break;
    }
    for (const std::string &folder : folders) {
        // The folder is the document to open, never a parameter (blanks would split it).
        if (!folder.empty() && QFileInfo(qs(folder)).isDir()) {
            ShellOpen(folder, "");
        } else {
            ShowError(this, format("The folder \"%s\" does not exist.", "strMainFolderNotFound", folder));
        }
    }
}

} // namespace qv
