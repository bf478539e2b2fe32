// A small SMTP client on a blocking QTcpSocket: just the exchange the alert e-mails need.
//
// Every reply has a time-out, so a server that stops answering ends the exchange with an error
// instead of hanging the program; lines go out with CR LF; the message body is dot-stuffed. The
// client works without an event loop and may be used on any one thread.
#pragma once

#include <QTcpSocket>

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

class SmtpClient
{
public:
    SmtpClient(int connectTimeoutMs, int replyTimeoutMs);
    ~SmtpClient();
    SmtpClient(const SmtpClient &) = delete;
    SmtpClient &operator=(const SmtpClient &) = delete;

    // Connects, reads the greeting (220) and introduces itself with EHLO, or HELO when EHLO is
    // refused. Throws SmtpError.
    void open(const std::string &host, int port);
    bool isConnected() const;

    // Authentication schemes the server listed in its EHLO reply (upper case, each once).
    const std::vector<std::string> &authSchemes() const { return m_authSchemes; }

    // Sends one command line and reads the reply; throws SmtpError unless its code is one of
    // `expected` (an empty list accepts any reply). The error names the command by `shownAs` when
    // given, so that credentials never appear in a message.
    SmtpReply command(const std::string &line, std::initializer_list<int> expected, const char *shownAs = nullptr);

    // Sends the message text (lines separated by CR LF) after a 354, dot-stuffed, then the final
    // "." line, and expects 250. Throws SmtpError.
    void sendMessageText(const std::string &text);

    // The name this computer gives in EHLO/HELO.
    static std::string localName();

private:
    SmtpReply readReply();
    void writeRaw(const std::string &data);
    [[noreturn]] void fail(const std::string &what, int code = 0);

    QTcpSocket m_socket;
    int m_connectTimeoutMs;
    int m_replyTimeoutMs;
    std::string m_server;
    std::vector<std::string> m_authSchemes;
};

} // namespace qv
