// TaskEventsPage: the "Event Alerts" page of the task properties dialog.
//
// The default/custom pair of the task's alert group over the shared alerts editor. Send Test uses
// the e-mail settings the task holds now (the Email Settings page's edits count only after OK);
// the Finish panel's link shows the Email Settings page.
#pragma once

#include "ui/taskprops/TaskPropertiesPage.h"

class QRadioButton;

namespace qv {

class AlertsEditor;

class TaskEventsPage : public TaskPropertiesPage
{
    Q_OBJECT
public:
    explicit TaskEventsPage(QWidget *parent = nullptr);

    void load(const TaskSettings &s) override;
    void store(TaskSettings &s) const override;

    // Whether the custom button is checked; setting it enables or disables the editor.
    bool custom() const;
    void setCustom(bool custom);

    AlertsEditor *editor() const { return m_editor; }
    QRadioButton *EventsUseDefaultRadioButton = nullptr;
    QRadioButton *EventsUseCustomRadioButton = nullptr;

private:
    void sendTest(const QString &address);

    AlertsEditor *m_editor = nullptr;
};

} // namespace qv
