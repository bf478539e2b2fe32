// TaskEventsPage: the "Event Alerts" page of the task properties dialog.
#include "ui/taskprops/TaskEventsPage.h"

#include "core/runs/Task.h"
#include "ui/taskprops/AlertsEditor.h"
#include "ui/taskprops/TestEmail.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qv {

TaskEventsPage::TaskEventsPage(QWidget *parent) : TaskPropertiesPage(parent)
{
    setObjectName(QStringLiteral("EventsTabSheet"));
    auto *layout = new QVBoxLayout(this);
    EventsUseDefaultRadioButton = new QRadioButton(tr("Use the default/common alert settings"), this);
    EventsUseDefaultRadioButton->setObjectName(QStringLiteral("EventsUseDefaultRadioButton"));
    EventsUseCustomRadioButton = new QRadioButton(tr("Use custom alert settings for this Task:"), this);
    EventsUseCustomRadioButton->setObjectName(QStringLiteral("EventsUseCustomRadioButton"));
    auto *pair = new QButtonGroup(this);
    pair->addButton(EventsUseDefaultRadioButton);
    pair->addButton(EventsUseCustomRadioButton);
    layout->addWidget(EventsUseDefaultRadioButton);
    layout->addWidget(EventsUseCustomRadioButton);
    m_editor = new AlertsEditor(QStringLiteral("Events"), this);
    layout->addWidget(m_editor, 1);

    connect(EventsUseCustomRadioButton, &QRadioButton::toggled, this, [this](bool on) {
        m_editor->setCustom(on);
        emit stateChanged();
    });
    connect(m_editor, &AlertsEditor::sendTestRequested, this, &TaskEventsPage::sendTest);
    connect(m_editor, &AlertsEditor::emailSettingsRequested, this,
            [this] { emit pageRequested(QStringLiteral("EmailTabSheet")); });
    setCustom(false);
}

bool TaskEventsPage::custom() const
{
    return EventsUseCustomRadioButton->isChecked();
}

void TaskEventsPage::setCustom(bool custom)
{
    (custom ? EventsUseCustomRadioButton : EventsUseDefaultRadioButton)->setChecked(true);
    m_editor->setCustom(custom);
}

void TaskEventsPage::load(const TaskSettings &s)
{
    setCustom(!s.EventAlerts.UseDefault);
    m_editor->load(s.EventAlerts);
}

void TaskEventsPage::store(TaskSettings &s) const
{
    s.EventAlerts.UseDefault = !custom();
    m_editor->store(s.EventAlerts);
}

void TaskEventsPage::sendTest(const QString &address)
{
    TTask *task = context() != nullptr ? context()->task() : nullptr;
    const std::string to = address.toStdString();
    sendTestEmail(this, task != nullptr ? taskTestEmailSettings(*task, to) : programTestEmailSettings(to));
}

} // namespace qv
