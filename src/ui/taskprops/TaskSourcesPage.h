// TaskSourcesPage: the "Source" page of the task properties dialog.
//
// One folder in the entry field, or several in the multi-folder list (each row a folder and its
// include-subfolders flag, kept in the row's data; the second column shows "Yes"/"No"). The list
// lives in the page until OK. A synchronising task has one folder: while Synchronize is chosen the
// page cannot switch to several, and while it shows several, Synchronize cannot be chosen.
#pragma once

#include "ui/taskprops/LinkLabel.h"
#include "ui/taskprops/TaskPropertiesPage.h"

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace qv {

struct SourceFolderItem;

class TaskSourcesPage : public TaskPropertiesPage
{
    Q_OBJECT
public:
    explicit TaskSourcesPage(QWidget *parent = nullptr);

    void load(const TaskSettings &s) override;
    void store(TaskSettings &s) const override;

    bool multiMode() const { return m_multi; }
    std::vector<SourceFolderItem> rows() const;
    int selectedRow() const;
    void selectRow(int row);

    // Whether the task type chosen in the dialog is Synchronize; by default the dialog's
    // BackupTypeSynchronizeRadioButton, when there is one.
    void setSynchronizeChosen(std::function<bool()> chosen) { m_synchronizeChosen = std::move(chosen); }

    void switchMode();
    void addRow();
    void editRow();
    void removeRow();
    void updateSourceButtons();

    QLineEdit *SourceFolderEdit = nullptr;
    QPushButton *SourceFolderBrowseButton = nullptr;
    QCheckBox *SourceIncSubfoldersCheckBox = nullptr;
    QLabel *SourceFolderLabelExpandTest = nullptr;
    LinkLabel *SourceMultiSwitchLabel = nullptr;
    QTreeWidget *SourceMultiFoldersList = nullptr;
    QPushButton *SourceMultiAddButton = nullptr;
    QPushButton *SourceMultiEditButton = nullptr;
    QPushButton *SourceMultiRemoveButton = nullptr;

private:
    void setMultiMode(bool multi);
    void appendRow(const std::string &folder, bool includeSubfolders);
    void setSynchronizeEnabled(bool enabled);
    bool synchronizeChosen() const;
    void updateExpandTest();

    bool m_multi = false;
    std::function<bool()> m_synchronizeChosen;
};

} // namespace qv
