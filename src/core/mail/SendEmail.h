// Folder core/mail: the SMTP client and SendEmail. Self-contained: it includes no other core
// folder, only Qt's network classes.
//
// Sending one plain-text e-mail over SMTP: alert e-mails and the dialogs' test messages.
#pragma once

#include "core/mail/SmtpClient.h"

#include <string>
#include <vector>

class QObject;

namespace qv {

constexpr int kSmtpConnectTimeoutMs = 500;
constexpr int kSmtpReplyTimeoutMs = 60000;

// Sends `body` with `subject` from `from` ("Name <address>" or a bare address) to `recipients`
// (addresses separated by commas) through the server `host`:`port`, encrypted as `security` says
// (see SmtpClient). With `useAuth`, logs in with AUTH LOGIN when the server offers it (and sends
// without logging in when it does not); the password never goes over an unencrypted connection to
// another machine. Blocks the calling thread for the exchange. Returns true when the message was
// handed over; throws SmtpError for a connection failure, a time-out, a certificate that cannot be
// trusted, a password that would go unencrypted, a refused command or a bad address. `owner` is
// not used.
bool SendEmail(const std::string &recipients, const std::string &from, const std::string &subject,
               const std::string &body, int port, const std::string &host, bool useAuth, const std::string &username,
               const std::string &password, QObject *owner = nullptr, int replyTimeoutMs = kSmtpReplyTimeoutMs,
               int connectTimeoutMs = kSmtpConnectTimeoutMs, const SmtpSecurity &security = {});

// The pieces of a message, exposed for tests.
namespace mail {

struct Address {
    std::string name;    // display name, may be empty
    std::string address; // the part in angle brackets
};

// "Ann Smith <ann@example.org>", "<ann@example.org>" or "ann@example.org". Throws SmtpError for an
// address that is empty or holds blanks, control characters or angle brackets.
Address parseAddress(const std::string &text);
// Comma-separated addresses; empty items are skipped. Throws SmtpError when none is left.
std::vector<Address> parseAddressList(const std::string &text);

// A header value: CR and LF become blanks; text that is not plain ASCII becomes RFC 2047 encoded
// words (UTF-8, base64), folded so that no line grows too long.
std::string encodeHeaderText(const std::string &text);
// "Name <address>" with the name quoted or encoded as needed.
std::string formatAddress(const Address &a);

// The whole message (headers, blank line, body) with CR LF line ends, before dot-stuffing.
std::string buildMessage(const Address &from, const std::vector<Address> &to, const std::string &subject,
                         const std::string &body);

} // namespace mail
} // namespace qv
