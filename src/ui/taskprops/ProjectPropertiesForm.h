// TProjectPropertiesForm: the task properties dialog, a navigator tree over the pages of a draft.
//
// The dialog never writes into the task while it is open: every page edits a draft of the task's
// settings (TaskSettings), and EditTask commits the draft on OK or drops it on Cancel, so a
// cancelled dialog leaves the task exactly as it was.
#pragma once

#include "core/task/TaskSettings.h"
#include "ui/taskprops/TaskPropertiesPage.h"

#include <QDialog>

#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace qv {

class TAlphaImageList;
class TTask;
struct MainFormDialogs;

class TProjectPropertiesForm : public QDialog, public TaskPageContext
{
    Q_OBJECT
public:
    static constexpr int kPageCount = 28;

    // Builds and translates the dialog. Throws std::runtime_error("Application images were not
    // loaded.") when the navigator's images cannot be loaded.
    explicit TProjectPropertiesForm(TTask &task, QWidget *parent = nullptr);
    ~TProjectPropertiesForm() override;

    // Fills every page from the task's settings.
    void loadDraft();
    const TaskSettings &draftSettings() const { return m_draft; }

    // The page shown (= the selected navigator node's absolute index).
    int currentPageIndex() const;
    void showPage(int index);
    // Shows the page and moves the keyboard focus to its first control that takes it.
    void showPageFocused(int index);
    // The help keyword of a page: its own, else the dialog's.
    QString pageHelpKeyword(int index) const;
    TaskPropertiesPage *page(int index) const { return m_pages[static_cast<std::size_t>(index)]; }
    int pageIndexOf(const QString &tabSheetName) const;
    // Recomputes the enabling of the group pages.
    void CheckState();
    // The task is not in the list yet: Cancel removes a systemd timer entry made in this dialog.
    void setNewTask(bool isNew);

    // TaskPageContext
    TTask *task() const override { return m_task; }
    TaskSettings &draft() override { return m_draft; }
    std::string expand(const std::string &text) const override;

    // The resources the navigator's images are loaded from ("<prefix>0", "<prefix>1", ...).
    static QString navigatorImageResource();
    // Tests point this at missing images; an empty prefix restores the program's own.
    static void setNavigatorImageResource(const QString &prefix);

    TAlphaImageList *NavigatorImages;
    QTreeWidget *NavigatorTree;
    QStackedWidget *PageControl;
    QPushButton *OkButton;
    QPushButton *CancelButton;
    QPushButton *HelpButton;

public slots:
    void accept() override;

private:
    void buildPages();
    void updateCaption();
    void fitNavigatorWidth();
    void leavingPage(int index);
    // An archive name the dialog gave follows the task's name while the user has not changed it.
    void followTaskName();
    // The run's task check on the edited settings; false when the user chose to go back.
    bool keepDespiteTaskCheck();
    // The draft's three folders follow their edits, and the labels show how they expand.
    void updateFolderLabels();

    TTask *m_task;
    TaskSettings m_draft;
    // A task holding the draft, to expand path variables over the folders being edited.
    std::unique_ptr<TTask> m_scratch;
    std::vector<TaskPropertiesPage *> m_pages;
    std::vector<QTreeWidgetItem *> m_nodes;
    int m_shownPage = 0;
    bool m_loading = false;
    // The archive name this dialog filled in from the task's name ("" when it filled none).
    QString m_givenZipName;
};

// The zip file name a task name gives: the extension of the last path part replaced by ".zip".
QString zipNameForTaskName(const QString &taskName);

// The navigator node selected when a task dialog was last closed with OK (0 at program start).
int &LastTaskPageIndex();

// Edits `task` in the dialog; true when closed with OK and the task now holds the edited settings.
// `startPage` above 0 opens that page, else the remembered one. `newTask`: the task is not in the list
// yet, so Cancel also takes back what the dialog made outside the task (its systemd timer entry).
bool EditTask(QWidget *parent, TTask &task, int startPage = 0, bool newTask = false);

// Installs EditTask as the main window's task properties dialog.
void installTaskPropertiesDialog(MainFormDialogs &dialogs);

} // namespace qv
