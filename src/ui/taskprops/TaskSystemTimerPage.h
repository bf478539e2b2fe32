// TaskSystemTimerPage: the task's systemd user timer in the task properties dialog.
//
// The entry lives in the system, not in the task: Add/Modify and Remove change it at once. An entry
// made in this dialog for a task that is still new is removed again when the dialog is cancelled,
// since that task never comes to exist; for an existing task Cancel leaves the entry alone. Errors
// of the system scheduler show in an error box.
#pragma once

#include "ui/taskprops/TaskPropertiesPage.h"

#include <memory>

class QDialog;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qv {

class TTaskSchedulerControl;

class TaskSystemTimerPage : public TaskPropertiesPage
{
    Q_OBJECT
public:
    explicit TaskSystemTimerPage(QWidget *parent = nullptr);
    ~TaskSystemTimerPage() override;

    void setContext(TaskPageContext *context) override;
    void load(const TaskSettings &s) override;
    void store(TaskSettings &) const override {}

    // A task that does not exist yet outside the dialog (Cancel drops it).
    void setNewTask(bool isNew) { m_newTask = isNew; }
    // The dialog ended: Cancel of a new task removes the entry this page made.
    void dialogFinished(bool accepted);

    // Creates the scheduler control for the task when the system scheduler answers; otherwise the
    // two buttons are disabled. Called by load() when no control exists yet.
    void attach(const std::string &taskName, const std::string &taskId);
    void updateView();
    void addOrModify();
    void remove();

    QLabel *MSScheduleLabel1 = nullptr;
    QPlainTextEdit *MSScheduleMemo = nullptr;
    QPushButton *MSScheduleAddButton = nullptr;
    QPushButton *MSScheduleRemoveButton = nullptr;
    QLabel *MSScheduleNoteLabel = nullptr; // why the buttons are disabled, when they are

protected:
    void showEvent(QShowEvent *event) override;

private:
    void watchDialog();

    std::unique_ptr<TTaskSchedulerControl> m_control;
    bool m_newTask = false;
    bool m_createdHere = false;
    QDialog *m_watched = nullptr;
};

} // namespace qv
