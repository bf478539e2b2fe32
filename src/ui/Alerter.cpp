// The program's alert dispatcher.
#include "ui/Alerter.h"

#include "components/TrayIcon.h"
#include "core/engine/BackupTypes.h"
#include "core/log/TaskLogger.h"
#include "core/mail/SendEmail.h"
#include "core/runs/AlertSettings.h"
#include "core/runs/TaskRunFlags.h"
#include "core/runs/TaskRunHost.h"
#include "core/settings/DateTime.h"
#include "core/runs/Task.h"
#include "core/text/Language.h"
#include "core/text/LocaleText.h"
#include "core/util/Utils.h"
#include "platform/gui/TrayService.h"
#include "ui/AlertsForm.h"

#include <QLoggingCategory>

namespace qv {

namespace {

Q_LOGGING_CATEGORY(lcAlerter, "quorvellant.alerts")

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

bool sendWithSendEmail(const std::string &recipients, const std::string &from, const std::string &subject,
                       const std::string &body, int port, const std::string &host, bool useAuth,
                       const std::string &user, const std::string &password)
{
    return SendEmail(recipients, from, subject, body, port, host, useAuth, user, password);
}

} // namespace

TAlerter::TAlerter(Services services) : m_services(std::move(services))
{
    if (!m_services.send) {
        m_services.send = sendWithSendEmail;
    }
}

bool TAlerter::Wants(const TTask &task, int event) const
{
    AlertSettings s = GetAlertSettings(task, event);
    if (m_services.headless) {
        s.dialog = false;
        s.balloon = false;
    }
    return s.doesAnything();
}

int TAlerter::Alert(TTask &task, int event, const std::string &text, const std::string &buttons)
{
    AlertAnswer answer = raise(task, event, text, buttons);
    if (answer.mail) {
        queueTaskMail(task.RunLink.record(&task), std::move(answer.mail));
    }
    return answer.answer;
}

AlertAnswer TAlerter::AlertWithMail(TTask &task, int event, const std::string &text, const std::string &buttons)
{
    return raise(task, event, text, buttons);
}

AlertAnswer TAlerter::raise(TTask &task, int event, const std::string &text, const std::string &buttons)
{
    AlertAnswer answer;
    try {
        const AlertSettings s = GetAlertSettings(task, event);
        if (s.sound && !s.soundFile.empty()) {
            PlaySoundFile(s.soundFile);
        }
        if (s.balloon && !m_services.headless) {
            ShowAlertBalloon(qs(task.Name), qs(text), balloonIconFor(event));
        }
        if (s.dialog && !m_services.headless) {
            answer.answer = ShowAlertDialog(qs(task.Name), event, buttons, qs(text));
        } else if (s.dialog) {
            qCInfo(lcAlerter, "alert %d [%s] of task \"%s\" (no display): %s", event, buttons.c_str(),
                   task.Name.c_str(), text.c_str());
        }
        if (s.email) {
            answer.mail = SendAlertEmail(task, event, s.sendLog, s.recipient, text);
        }
    } catch (const std::exception &e) {
        qCWarning(lcAlerter, "alert %d of task \"%s\" failed: %s", event, task.Name.c_str(), e.what());
    }
    return answer;
}

int TAlerter::balloonIconFor(int event)
{
    if (event == akError) {
        return TrayService::BalloonError;
    }
    return event == akWarning ? TrayService::BalloonWarning : TrayService::BalloonInfo;
}

void TAlerter::ShowAlertBalloon(const QString &title, const QString &text, int icon)
{
    if (!m_services.tray) {
        return;
    }
    if (TTrayIcon *tray = m_services.tray()) {
        (void)tray->ShowBalloonHint(title, text, icon, 10);
    }
}

int TAlerter::ShowAlertDialog(const QString &taskName, int event, const std::string &buttons, const QString &message)
{
    TAlertsForm form;
    form.setup(taskName, event, buttons, message);
    return form.execAlert();
}

std::string TAlerter::alertEmailSubject(const TTask &task, int event)
{
    return task.GetEmailSubject() + " (" + alertTitle(event).toStdString() + ")";
}

std::string TAlerter::alertEmailBody(const TTask &task, int event, bool sendLog, const std::string &message)
{
    std::string body = "Task name: " + task.Name + "\n" + DateTimeToStr(nowDateTime()) + ": " + message + "\n";
    if (event == akStart) {
        if (SilentMode) {
            body += "The Task started in Silent mode.\n";
        } else if (task.StartMode == kStartByHand) {
            body += "The Task started Manually.\n";
        } else {
            body += "The Task started by Schedule.\n";
        }
    }
    if (sendLog && task.Logger) {
        body += "\n\nDetailed backup log: \n";
        for (std::size_t i = 0; i < task.Logger->Count(); ++i) {
            body += task.Logger->GetEventText(i) + "\n";
        }
    }
    return body;
}

std::function<std::string()> TAlerter::SendAlertEmail(TTask &task, int event, bool sendLog,
                                                      const std::string &recipient, const std::string &message)
{
    const std::string subject = alertEmailSubject(task, event);
    const std::string body = alertEmailBody(task, event, sendLog, message);
    const std::string failed = GetLangString("Alert email can't be sent (%s).", "strAlerterEmailFailed");
    return [send = m_services.send, recipient, from = task.GetEmailFrom(), subject, body,
            port = task.GetEmailSmtpServerPort(), host = task.GetEmailSmtpServer(),
            auth = task.GetEmailSmtpServerAuthUse(), user = task.GetEmailSmtpServerAuthUser(),
            password = task.GetEmailSmtpServerAuthPassword(), failed]() -> std::string {
        std::string reason;
        try {
            if (send(recipient, from, subject, body, port, host, auth, user, password)) {
                return {};
            }
            reason = "the server did not take the message";
        } catch (const std::exception &e) {
            reason = e.what();
        } catch (...) {
            reason = "unknown error";
        }
        std::string line = failed;
        const auto at = line.find("%s");
        if (at != std::string::npos) {
            line.replace(at, 2, reason);
        } else {
            line += " (" + reason + ")";
        }
        return line;
    };
}

} // namespace qv
