// TMainForm: the group commands (new, rename, delete, reorder).
//
// Group names compare exactly, with case, when tasks are matched to groups. A new name is refused,
// though, when it differs from another group's only in case: the settings store keeps the groups as
// value names, which it compares without case, so "work" beside "Work" would be lost at the next
// save. The root's caption ("All Tasks") and the empty name are never group names, since the list
// treats both specially.
#include "ui/MainForm.h"

#include "components/LangText.h"
#include "components/MessageBox.h"
#include "core/settings/Settings.h"
#include "core/runs/BackupData.h"
#include "core/text/Language.h"
#include "platform/RegistryStore.h"

#include <QTreeWidget>

#include <algorithm>

namespace qv {
namespace {

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

// Whether `name` cannot name a group: empty, the root's caption, or held (in the store's sense) by a
// group other than `except`.
bool groupNameTaken(const std::vector<std::string> &groups, const std::string &name, const std::string *except)
{
    if (name.empty() || name == TBackupData::AllTasksGroupName()) {
        return true;
    }
    const std::string folded = regFoldName(name);
    return std::any_of(groups.begin(), groups.end(), [&](const std::string &g) {
        return (except == nullptr || g != *except) && regFoldName(g) == folded;
    });
}

} // namespace

void TMainForm::groupNew()
{
    if (m_data == nullptr || !m_services.dialogs.hasGroupProperties()) {
        return;
    }
    QString name = langText("New Group", "strNewGroup");
    if (m_services.dialogs.groupProperties(this, name)) {
        const std::string n = name.toStdString();
        if (groupNameTaken(m_data->Groups, n, nullptr)) {
            ShowMessageBox(this,
                           qs(formatLangString("Cannot create \"%s\": A group with the name you specified already "
                                               "exists. Specify a different group name.",
                                               "strMainGroupCreateErrorAlreadyExists", {FormatArg(n)})),
                           langText("Information", "strInformation"), MB_OK | MB_ICONINFORMATION);
        } else {
            m_data->Groups.push_back(n);
            UpdateAll();
        }
    }
    SaveAllSettings();
}

void TMainForm::groupRename()
{
    if (m_data == nullptr || rootSelected() || !m_services.dialogs.hasGroupProperties()) {
        return;
    }
    const std::string old = selectedGroupText().toStdString();
    if (old.empty()) {
        return;
    }
    QString name = qs(old);
    if (m_services.dialogs.groupProperties(this, name) && name.toStdString() != old) {
        const std::string n = name.toStdString();
        auto &groups = m_data->Groups;
        const auto at = std::find(groups.begin(), groups.end(), old); // found again after the dialog
        if (groupNameTaken(groups, n, &old)) {
            ShowMessageBox(this,
                           qs(formatLangString("Cannot rename \"%s\": A group with the name you specified already "
                                               "exists. Specify a different group name.",
                                               "strMainGroupRenameErrorAlreadyExists", {FormatArg(old)})),
                           langText("Information", "strInformation"), MB_OK | MB_ICONINFORMATION);
        } else if (at != groups.end()) {
            *at = n;
            for (int i = 0; i < m_data->Tasks.Count(); ++i) {
                if (m_data->Tasks[i]->BelongToGroup == old) {
                    m_data->Tasks[i]->BelongToGroup = n;
                }
            }
            CurrentGroup = n;
            UpdateAll();
        }
    }
    SaveAllSettings();
}

void TMainForm::groupDelete()
{
    if (m_data == nullptr || rootSelected()) {
        return;
    }
    const std::string group = selectedGroupText().toStdString();
    if (group.empty()) {
        return;
    }
    const bool yes = ShowMessageBox(this,
                                    qs(formatLangString("Do you really want to delete group \"%s\"?",
                                                        "strMainGroupDeleteConfirmation", {FormatArg(group)})),
                                    langText("Confirmation", "strConfirmation"),
                                    MB_YESNO | MB_ICONQUESTION) == IDYES;
    auto &groups = m_data->Groups;
    const auto at = std::find(groups.begin(), groups.end(), group);
    if (yes && at != groups.end()) {
        // The tasks keep their group name; they are then listed under the root only.
        CurrentGroup = at == groups.begin() ? TBackupData::AllTasksGroupName() : *(at - 1);
        groups.erase(at);
        UpdateAll();
    }
    SaveAllSettings();
}

void TMainForm::groupReorder()
{
    if (m_data == nullptr || !m_services.dialogs.hasGroupsOrder()) {
        return;
    }
    QStringList names;
    for (const std::string &g : m_data->Groups) {
        names << qs(g);
    }
    if (m_services.dialogs.groupsOrder(this, names)) {
        std::vector<std::string> order;
        for (const QString &n : names) {
            order.push_back(n.toStdString());
        }
        // Only a new order of the same names is taken: a list that lost, added or doubled a name
        // (or a group added meanwhile) would leave tasks pointing at groups that are gone.
        std::vector<std::string> a = order;
        std::vector<std::string> b = m_data->Groups;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (a == b) {
            m_data->Groups = order;
            UpdateAll();
        }
    }
    SaveAllSettings();
}

} // namespace qv
