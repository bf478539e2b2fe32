// TaskSchedulesPage: the "Internal Schedule" page of the task properties dialog.
//
// The task's own schedule entries, edited in the dialog's draft: a check box per line bound to the
// entry's Enabled, long captions wrapped inside the line. Every change goes into the draft at once.
#pragma once

#include "ui/taskprops/TaskPropertiesPage.h"

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace qv {

class TaskSchedulesPage : public TaskPropertiesPage
{
    Q_OBJECT
public:
    explicit TaskSchedulesPage(QWidget *parent = nullptr);

    void load(const TaskSettings &s) override;
    void store(TaskSettings &s) const override;

    const TQuorvellantScheduleList &schedules() const { return m_schedules; }
    int selectedRow() const;
    void selectRow(int row);

    // The schedule dialog; tests install their own. True when the entry was changed (OK).
    using ScheduleEditor = std::function<bool(TTaskScheduleItem &item)>;
    void setScheduleEditor(ScheduleEditor editor) { m_editSchedule = std::move(editor); }

    void addSchedule();
    void modifySchedule();
    void removeSchedule();
    void updateSchedulesListBox();
    // Modify and Remove enabled exactly when a line is selected.
    void updateButtons();
    // A click on the page's caption: Modify follows the selection, Add and Remove enabled.
    void captionClicked();

    QLabel *InternalScheduleLabel1 = nullptr;
    QListWidget *InternalScheduleListBox = nullptr;
    QPushButton *InternalScheduleAddButton = nullptr;
    QPushButton *InternalScheduleModifyButton = nullptr;
    QPushButton *InternalScheduleRemoveButton = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void changed();

    TQuorvellantScheduleList m_schedules;
    ScheduleEditor m_editSchedule;
    bool m_filling = false;
};

} // namespace qv
