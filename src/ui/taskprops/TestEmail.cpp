// The dialogs' test e-mails, sent on a worker.
#include "ui/taskprops/TestEmail.h"

#include "components/MessageBox.h"
#include "components/RangedField.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/text/Language.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <exception>
#include <thread>

namespace qv {

TestEmailSettings taskTestEmailSettings(const TTask &task, const std::string &address)
{
    TestEmailSettings s;
    s.to = address;
    s.from = task.GetEmailFrom();
    s.subject = task.GetEmailSubject();
    s.host = task.GetEmailSmtpServer();
    s.port = task.GetEmailSmtpServerPort();
    s.authUse = task.GetEmailSmtpServerAuthUse();
    s.authUser = task.GetEmailSmtpServerAuthUser();
    s.authPassword = task.GetEmailSmtpServerAuthPassword();
    return s;
}

TestEmailSettings programTestEmailSettings(const std::string &address)
{
    TestEmailSettings s;
    s.to = address;
    s.from = EmailFrom;
    s.subject = EmailSubject;
    s.host = EmailSmtpServer;
    s.port = EmailSmtpServerPort;
    s.authUse = EmailSmtpServerAuthUse;
    s.authUser = EmailSmtpServerAuthUser;
    s.authPassword = EmailSmtpServerAuthPassword;
    return s;
}

std::string testEmailBody()
{
    return GetLangString("If see this text in your email client - \n"
                         "test message from Quorvellant delivered successfully!",
                         "strEmailTest");
}

namespace {

struct Outcome {
    bool sent = false;
    std::string error;
};

// Runs the exchange on a thread of its own; the caller's event loop runs until it has ended.
Outcome sendOnWorker(const TestEmailSettings &s, const std::string &body)
{
    Outcome outcome;
    QEventLoop loop;
    QObject context;
    std::thread worker([&] {
        try {
            outcome.sent = SendEmail(s.to, s.from, s.subject, body, s.port, s.host, s.authUse, s.authUser,
                                     s.authPassword, nullptr, s.replyTimeoutMs, s.connectTimeoutMs);
        } catch (const std::exception &e) {
            outcome.error = e.what();
            if (outcome.error.empty()) {
                outcome.error = "unknown error";
            }
        } catch (...) {
            outcome.error = "unknown error";
        }
        QMetaObject::invokeMethod(&context, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return outcome;
}

} // namespace

TestEmailSettings panelTestEmailSettings(const QWidget *panel)
{
    auto text = [panel](const char *name) {
        const auto *edit = panel->findChild<QLineEdit *>(QString::fromLatin1(name));
        return edit != nullptr ? edit->text().toStdString() : std::string();
    };
    TestEmailSettings s;
    s.to = text("EmailToEdit");
    s.from = text("EmailFromEdit");
    s.subject = text("EmailSubjectEdit");
    s.host = text("EmailSMTPServerEdit");
    if (const auto *port = panel->findChild<RangedField *>(QStringLiteral("EmailSMTPPortUpDown"))) {
        s.port = static_cast<int>(port->storedValue());
    }
    if (const auto *auth = panel->findChild<QCheckBox *>(QStringLiteral("EmailSMTPAuthCheckBox"))) {
        s.authUse = auth->isChecked();
    }
    s.authUser = text("EmailSMTPAuthUserEdit");
    s.authPassword = text("EmailSMTPAuthPasswordEdit");
    return s;
}

bool sendTestEmail(QWidget *owner, const TestEmailSettings &settings)
{
    QPointer<QWidget> window = owner != nullptr ? owner->window() : nullptr;
    const bool wasEnabled = window != nullptr && window->isEnabled();
    if (window != nullptr) {
        window->setEnabled(false);
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const Outcome outcome = sendOnWorker(settings, testEmailBody());
    QGuiApplication::restoreOverrideCursor();
    if (window != nullptr && wasEnabled) {
        window->setEnabled(true);
    }

    if (outcome.sent) {
        ShowInformation(owner, QString::fromStdString(GetLangString(
                                   "Email sent: Please check your mailbox using your favorite email client!",
                                   "strEmailCheckMailbox")));
        return true;
    }
    QString text = QString::fromStdString(GetLangString("Email can't be sent!", "strEmailCantSend"));
    if (!outcome.error.empty()) {
        text += QStringLiteral("\n\n") + QString::fromStdString(outcome.error);
    }
    ShowError(owner, text);
    return false;
}

} // namespace qv
