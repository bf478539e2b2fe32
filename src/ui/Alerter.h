// TAlerter: the program's alert dispatcher: sound, tray balloon, alert dialog and e-mail.
//
// Installed by the program entry once the main window exists (and removed before it goes). What an
// alert does comes from the task's settings for the run's start mode. Without a display no dialog
// is shown (the answer is 0) and no balloon; sound and mail go as set.
//
// Mail is composed here, on the main thread (the log it may carry is read now), and never sent
// here: an alert of a backup thread hands its mail back with the answer, for the thread to send;
// an alert raised on the main thread queues its mail to the mail worker. A mail that cannot be
// sent is logged as an error of the task ("Alert email can't be sent (...)."); the run goes on.
#pragma once

#include "core/runs/AlertDispatcher.h"

#include <QString>

#include <functional>
#include <string>

namespace qv {

class TTrayIcon;

class TAlerter : public AlertDispatcher
{
public:
    // SendEmail's parameters; returns true when the server took the message, throws on failure.
    using MailSender = std::function<bool(const std::string &recipients, const std::string &from,
                                          const std::string &subject, const std::string &body, int port,
                                          const std::string &host, bool useAuth, const std::string &user,
                                          const std::string &password)>;

    struct Services {
        std::function<TTrayIcon *()> tray; // the main window's tray icon; may give null
        bool headless = false;             // no display: no dialog, no balloon
        MailSender send;                   // empty: SendEmail
    };

    explicit TAlerter(Services services);

    int Alert(TTask &task, int event, const std::string &text, const std::string &buttons) override;
    AlertAnswer AlertWithMail(TTask &task, int event, const std::string &text, const std::string &buttons) override;
    bool Wants(const TTask &task, int event) const override;

    // `icon`: the tray's balloon icon (1 information, 2 warning, 3 error).
    void ShowAlertBalloon(const QString &title, const QString &text, int icon = 1);
    // An error looks like one in the tray too: errors and warnings take their own icon.
    static int balloonIconFor(int event);
    int ShowAlertDialog(const QString &taskName, int event, const std::string &buttons, const QString &message);
    // Composes the alert's mail now and returns the job that sends it.
    std::function<std::string()> SendAlertEmail(TTask &task, int event, bool sendLog, const std::string &recipient,
                                                const std::string &message);

    // The mail's subject and body (LF line ends).
    static std::string alertEmailSubject(const TTask &task, int event);
    static std::string alertEmailBody(const TTask &task, int event, bool sendLog, const std::string &message);

private:
    AlertAnswer raise(TTask &task, int event, const std::string &text, const std::string &buttons);

    Services m_services;
};

} // namespace qv
