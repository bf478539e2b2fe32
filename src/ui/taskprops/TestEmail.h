// The dialogs' test e-mails: one message sent on a worker while the dialog waits, then a result box.
//
// The exchange may take as long as the server's time-outs, so it never runs on the main thread:
// the dialog's window is disabled (timers, repaints and runs go on), and the result box follows on
// the main thread. A refused connection, a time-out or a bad reply shows the client's message in
// an error box; the dialog stays open.
#pragma once

#include "core/mail/SendEmail.h"

#include <string>

class QWidget;

namespace qv {

class TTask;

struct TestEmailSettings {
    std::string to;
    std::string from;
    std::string subject;
    std::string host;
    int port = 25;
    bool authUse = false;
    std::string authUser;
    std::string authPassword;
    int replyTimeoutMs = kSmtpReplyTimeoutMs;
    int connectTimeoutMs = kSmtpConnectTimeoutMs;
};

// The settings a task's alert e-mails use (its stored values, or the program-wide ones when its
// e-mail group follows the defaults), sent to `address`.
TestEmailSettings taskTestEmailSettings(const TTask &task, const std::string &address);
// The program-wide e-mail settings, sent to `address`.
TestEmailSettings programTestEmailSettings(const std::string &address);

// The entries of an e-mail settings panel (the controls named EmailToEdit, EmailSMTPServerEdit,
// EmailSMTPPortUpDown ... below `panel`), confirmed or not; what its Send Test button uses.
TestEmailSettings panelTestEmailSettings(const QWidget *panel);

// The localised body of a test message.
std::string testEmailBody();

// Sends the test message while `owner`'s window waits, then shows the information or error box.
// True when the message was handed over.
bool sendTestEmail(QWidget *owner, const TestEmailSettings &settings);

} // namespace qv
