// PasswordForm: the prompt for a task's password.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

class TTask;

class PasswordForm : public QDialog
{
    Q_OBJECT
public:
    explicit PasswordForm(QWidget *parent = nullptr);

    // The reminder shown by "Reminder" (which is enabled only for a non-empty one).
    void setReminder(const QString &reminder);

    QLabel *InfoLabel;
    QLineEdit *PasswordEdit;
    QPushButton *ReminderButton;

private:
    QString m_reminder;
};

// True when `task` has no password or the right one was typed (exactly, with case). A wrong one
// shows "Invalid password." once; Cancel returns false silently; no task gives false.
bool CheckTaskPassword(QWidget *parent, TTask *task);

} // namespace qv
