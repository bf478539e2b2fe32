// A small SMTP client on a blocking QSslSocket: just the exchange the alert e-mails need.
//
// Every reply has a time-out, so a server that stops answering ends the exchange with an error
// instead of hanging the program; lines go out with CR LF; the message body is dot-stuffed. The
// client works without an event loop and may be used on any one thread.
//
// The connection is encrypted with TLS from the first byte on the implicit-TLS port (465), and
// with STARTTLS whenever a server elsewhere offers it; the server's certificate must be valid for
// the name the user gave. A password only travels over an encrypted connection or to this machine.
#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslSocket>

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv {

// A failed exchange: no connection, a time-out, or a reply the exchange did not expect.
class SmtpError : public std::runtime_error
{
public:
    explicit SmtpError(const std::string &message, int replyCode = 0)
        : std::runtime_error(message), m_replyCode(replyCode)
    {
    }
    // The server's reply code, 0 when the failure was not a reply.
    int replyCode() const { return m_replyCode; }

private:
    int m_replyCode;
};

struct SmtpReply {
    int code = 0;
    std::vector<std::string> lines; // the text after the code and its separator
    std::string text() const;       // the reply as the server sent it (lines joined by " | ")
};

// How the connection is protected. The defaults are the program's own.
struct SmtpSecurity {
    // The certificate authorities trusted instead of the system's store (tests bring their own).
    QList<QSslCertificate> caCertificates;
    // The port where TLS starts before the greeting.
    int implicitTlsPort = 465;
    // A loopback address is this machine: plain text there never leaves it, so the exchange stays
    // unencrypted (a local relay's certificate is seldom one anybody can verify). Tests of the
    // encrypted exchange set it false.
    bool loopbackIsLocal = true;
};

class SmtpClient
{
public:
    SmtpClient(int connectTimeoutMs, int replyTimeoutMs, SmtpSecurity security = {});
    ~SmtpClient();
    SmtpClient(const SmtpClient &) = delete;
    SmtpClient &operator=(const SmtpClient &) = delete;

    // Connects (with TLS at once on the implicit-TLS port), reads the greeting (220) and
    // introduces itself with EHLO, or HELO when EHLO is refused. When the server lists STARTTLS,
    // and it is not this machine, the connection is encrypted and EHLO sent again. Throws
    // SmtpError, also for a certificate that cannot be trusted.
    void open(const std::string &host, int port);
    bool isConnected() const;
    bool isEncrypted() const;

    // Authentication schemes the server listed in its EHLO reply (upper case, each once).
    const std::vector<std::string> &authSchemes() const { return m_authSchemes; }

    // Sends one command line and reads the reply; throws SmtpError unless its code is one of
    // `expected` (an empty list accepts any reply). The error names the command by `shownAs` when
    // given, so that credentials never appear in a message.
    SmtpReply command(const std::string &line, std::initializer_list<int> expected, const char *shownAs = nullptr);

    // Sends the message text (lines separated by CR LF) after a 354, dot-stuffed, then the final
    // "." line, and expects 250. Throws SmtpError.
    void sendMessageText(const std::string &text);

    // AUTH LOGIN with `user` and `password`. Refused (SmtpError, before anything is sent) when the
    // connection is neither encrypted nor to this machine.
    void authLogin(const std::string &user, const std::string &password);

    // The name this computer gives in EHLO/HELO.
    static std::string localName();

private:
    void greet();
    void startTls();
    SmtpReply readReply();
    void writeRaw(const std::string &data);
    [[noreturn]] void fail(const std::string &what, int code = 0);

    QSslSocket m_socket;
    int m_connectTimeoutMs;
    int m_replyTimeoutMs;
    SmtpSecurity m_security;
    std::string m_host;
    std::string m_server;
    bool m_local = false; // the peer is this machine
    bool m_offersStartTls = false;
    std::vector<std::string> m_authSchemes;
};

} // namespace qv
