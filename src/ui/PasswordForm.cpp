// PasswordForm: the prompt for a task's password.
#include "ui/PasswordForm.h"

#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/TranslateForm.h"
#include "core/runs/Task.h"
#include "ui/HelpTopics.h"
#include "ui/SmallDialogButtons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv {

PasswordForm::PasswordForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PasswordForm"));
    setWindowTitle(QStringLiteral("Enter password to continue"));
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kPreferencesProtection));
    InfoLabel = new QLabel(QStringLiteral("You need a password to make any modifications."), this);
    InfoLabel->setObjectName(QStringLiteral("InfoLabel"));
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setMinimumWidth(260);
    ReminderButton = new QPushButton(QStringLiteral("&Reminder"), this);
    ReminderButton->setObjectName(QStringLiteral("ReminderButton"));
    ReminderButton->setAutoDefault(false);
    ReminderButton->setEnabled(false);
    auto *buttons = addDialogButtons(this, true, true, true);
    auto *row = new QHBoxLayout;
    row->addWidget(ReminderButton);
    row->addStretch(1);
    row->addWidget(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(InfoLabel);
    layout->addWidget(PasswordEdit);
    layout->addLayout(row);
    connect(ReminderButton, &QPushButton::clicked, this, [this] { ShowInformation(this, m_reminder); });
    TranslateForm(this);
}

void PasswordForm::setReminder(const QString &reminder)
{
    m_reminder = reminder;
    ReminderButton->setEnabled(!reminder.isEmpty());
}

bool CheckTaskPassword(QWidget *parent, TTask *task)
{
    if (task == nullptr) {
        return false;
    }
    const std::string password = task->GetPassword();
    if (password.empty()) {
        return true;
    }
    PasswordForm form(parent);
    form.setReminder(QString::fromStdString(task->GetPasswordReminder()));
    if (form.exec() != QDialog::Accepted) {
        return false;
    }
    if (form.PasswordEdit->text().toStdString() == password) {
        return true;
    }
    ShowError(parent, langText("Invalid password.", "strPasswordInvalid"));
    return false;
}

} // namespace qv
