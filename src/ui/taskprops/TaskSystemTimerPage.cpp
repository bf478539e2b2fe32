// TaskSystemTimerPage: the task's systemd user timer in the task properties dialog.
#include "ui/taskprops/TaskSystemTimerPage.h"

#include "components/LangText.h"
#include "components/MessageBox.h"
#include "core/schedule/TaskSchedulerControl.h"
#include "core/runs/Task.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <exception>

namespace qv {

TaskSystemTimerPage::TaskSystemTimerPage(QWidget *parent) : TaskPropertiesPage(parent)
{
    setObjectName(QStringLiteral("MSScheduleTabSheet"));
    auto *grid = new QGridLayout(this);
    MSScheduleLabel1 = new QLabel(tr("Start the task by a systemd user timer:"), this);
    MSScheduleLabel1->setObjectName(QStringLiteral("MSScheduleLabel1"));
    grid->addWidget(MSScheduleLabel1, 0, 0, 1, 2);
    MSScheduleMemo = new QPlainTextEdit(this);
    MSScheduleMemo->setObjectName(QStringLiteral("MSScheduleMemo"));
    MSScheduleMemo->setReadOnly(true);
    MSScheduleMemo->setPlainText(tr("No triggers set"));
    grid->addWidget(MSScheduleMemo, 1, 0, 3, 1);
    MSScheduleAddButton = new QPushButton(tr("&Add/Modify..."), this);
    MSScheduleAddButton->setObjectName(QStringLiteral("MSScheduleAddButton"));
    MSScheduleRemoveButton = new QPushButton(tr("&Remove..."), this);
    MSScheduleRemoveButton->setObjectName(QStringLiteral("MSScheduleRemoveButton"));
    grid->addWidget(MSScheduleAddButton, 1, 1);
    grid->addWidget(MSScheduleRemoveButton, 2, 1);
    MSScheduleNoteLabel = new QLabel(this);
    MSScheduleNoteLabel->setObjectName(QStringLiteral("MSScheduleNoteLabel"));
    MSScheduleNoteLabel->setWordWrap(true);
    MSScheduleNoteLabel->hide();
    grid->addWidget(MSScheduleNoteLabel, 4, 0, 1, 2);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 1);
    connect(MSScheduleAddButton, &QPushButton::clicked, this, &TaskSystemTimerPage::addOrModify);
    connect(MSScheduleRemoveButton, &QPushButton::clicked, this, &TaskSystemTimerPage::remove);
}

TaskSystemTimerPage::~TaskSystemTimerPage() = default;

void TaskSystemTimerPage::setContext(TaskPageContext *context)
{
    TaskPropertiesPage::setContext(context);
    watchDialog();
}

void TaskSystemTimerPage::showEvent(QShowEvent *event)
{
    watchDialog();
    TaskPropertiesPage::showEvent(event);
}

// Follows the end of the dialog this page sits in, once.
void TaskSystemTimerPage::watchDialog()
{
    auto *dialog = qobject_cast<QDialog *>(window());
    if (dialog == nullptr || dialog == m_watched) {
        return;
    }
    m_watched = dialog;
    connect(dialog, &QDialog::finished, this, [this](int result) { dialogFinished(result == QDialog::Accepted); });
}

void TaskSystemTimerPage::load(const TaskSettings &s)
{
    if (m_control == nullptr) {
        TTask *task = context() != nullptr ? context()->task() : nullptr;
        attach(s.Name, task != nullptr ? task->ID : std::string());
    }
}

void TaskSystemTimerPage::attach(const std::string &taskName, const std::string &taskId)
{
    m_control.reset();
    if (!taskId.empty() && MSSchedulerAvailable()) {
        try {
            m_control = std::make_unique<TTaskSchedulerControl>(taskName, taskId);
        } catch (const std::exception &e) {
            ShowError(this, QString::fromStdString(e.what()));
        }
    }
    MSScheduleAddButton->setEnabled(m_control != nullptr);
    MSScheduleRemoveButton->setEnabled(m_control != nullptr);
    if (!MSSchedulerAvailable()) {
        MSScheduleNoteLabel->setText(langText("System timers are not available: no systemd user manager runs for "
                                              "this session (systemctl --user).",
                                              "strMsSchedulerUnavailable"));
    }
    MSScheduleNoteLabel->setVisible(!MSSchedulerAvailable());
    updateView();
}

void TaskSystemTimerPage::updateView()
{
    MSScheduleMemo->clear();
    if (m_control == nullptr) {
        return;
    }
    std::string text;
    try {
        m_control->GetTriggersText(text);
    } catch (const std::exception &e) {
        text = e.what();
    }
    MSScheduleMemo->setPlainText(QString::fromStdString(text));
}

void TaskSystemTimerPage::addOrModify()
{
    if (m_control == nullptr) {
        return;
    }
    const bool hadEntry = !m_control->WorkItemName.empty();
    try {
        m_control->EditSchedule();
    } catch (const std::exception &e) {
        ShowError(this, QString::fromStdString(e.what()));
    }
    if (!hadEntry && !m_control->WorkItemName.empty()) {
        m_createdHere = true;
    }
    updateView();
}

void TaskSystemTimerPage::remove()
{
    if (m_control == nullptr) {
        return;
    }
    try {
        m_control->DeleteSchedule();
        m_createdHere = false;
    } catch (const std::exception &e) {
        ShowError(this, QString::fromStdString(e.what()));
    }
    updateView();
}

void TaskSystemTimerPage::dialogFinished(bool accepted)
{
    if (accepted || !m_newTask || !m_createdHere || m_control == nullptr) {
        return;
    }
    m_createdHere = false;
    try {
        m_control->DeleteSchedule();
    } catch (const std::exception &e) {
        ShowError(this, QString::fromStdString(e.what()));
    }
}

} // namespace qv
