// A small SMTP client on a blocking QSslSocket.
#include "core/mail/SmtpClient.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QSslConfiguration>

#include <algorithm>
#include <cctype>

namespace qv {
namespace {

constexpr qint64 kMaxReplyLine = 64 * 1024;

std::string upper(std::string s)
{
    for (auto &c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

// "AUTH LOGIN PLAIN" or "AUTH=LOGIN": the schemes after the keyword.
void collectSchemes(const std::string &line, std::vector<std::string> &schemes)
{
    std::string u = upper(line);
    if (u.rfind("AUTH ", 0) != 0 && u.rfind("AUTH=", 0) != 0) {
        return;
    }
    std::string rest = u.substr(5);
    std::string cur;
    auto flush = [&] {
        if (!cur.empty() && std::find(schemes.begin(), schemes.end(), cur) == schemes.end()) {
            schemes.push_back(cur);
        }
        cur.clear();
    };
    for (char c : rest) {
        if (c == ' ' || c == '=' || c == '\t') {
            flush();
        } else {
            cur += c;
        }
    }
    flush();
}

bool isStartTls(const std::string &line)
{
    const std::string u = upper(line);
    return u == "STARTTLS" || u.rfind("STARTTLS ", 0) == 0;
}

} // namespace

std::string SmtpReply::text() const
{
    std::string out = std::to_string(code);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += i == 0 ? " " : " | ";
        out += lines[i];
    }
    return out;
}

SmtpClient::SmtpClient(int connectTimeoutMs, int replyTimeoutMs, SmtpSecurity security)
    : m_connectTimeoutMs(connectTimeoutMs), m_replyTimeoutMs(replyTimeoutMs), m_security(std::move(security))
{
}

SmtpClient::~SmtpClient()
{
    m_socket.abort();
}

std::string SmtpClient::localName()
{
    std::string name = QHostInfo::localHostName().toStdString();
    std::string clean;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.') {
            clean += c;
        }
    }
    return clean.empty() ? std::string("localhost") : clean;
}

void SmtpClient::fail(const std::string &what, int code)
{
    m_socket.abort();
    throw SmtpError("SMTP server " + m_server + ": " + what, code);
}

bool SmtpClient::isConnected() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

bool SmtpClient::isEncrypted() const
{
    return m_socket.isEncrypted();
}

void SmtpClient::open(const std::string &host, int port)
{
    m_host = host;
    m_server = host + ":" + std::to_string(port);
    if (host.empty() || port <= 0 || port > 65535) {
        throw SmtpError("SMTP server \"" + m_server + "\" is not a valid server address");
    }
    // The name is looked up first, so that a slow name server does not eat the connect time-out;
    // then every address of the server is tried in turn.
    QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        fail("cannot find the server (" + info.errorString().toStdString() + ")");
    }
    std::string reason;
    for (const QHostAddress &address : info.addresses()) {
        m_socket.abort();
        m_socket.connectToHost(address, static_cast<quint16>(port));
        if (m_socket.waitForConnected(m_connectTimeoutMs)) {
            reason.clear();
            break;
        }
        reason = m_socket.error() == QAbstractSocket::SocketTimeoutError
                     ? "no connection within " + std::to_string(m_connectTimeoutMs) + " ms"
                     : m_socket.errorString().toStdString();
    }
    if (!reason.empty()) {
        fail("cannot connect (" + reason + ")");
    }
    m_local = m_security.loopbackIsLocal && m_socket.peerAddress().isLoopback();
    if (port == m_security.implicitTlsPort) {
        startTls();
    }
    SmtpReply greeting = readReply();
    if (greeting.code != 220) {
        fail("unexpected greeting \"" + greeting.text() + "\"", greeting.code);
    }
    greet();
    if (m_offersStartTls && !m_socket.isEncrypted() && !m_local) {
        command("STARTTLS", {220});
        // Whatever came with the plain answer could not be told from what comes encrypted.
        if (m_socket.bytesAvailable() > 0) {
            fail("sent more than its answer to STARTTLS");
        }
        startTls();
        greet(); // what the server offers is asked again over the encrypted connection
    }
}

void SmtpClient::greet()
{
    m_authSchemes.clear();
    m_offersStartTls = false;
    SmtpReply ehlo = command("EHLO " + localName(), {});
    if (ehlo.code == 250) {
        for (const auto &l : ehlo.lines) {
            collectSchemes(l, m_authSchemes);
            m_offersStartTls = m_offersStartTls || isStartTls(l);
        }
    } else {
        command("HELO " + localName(), {250});
    }
}

void SmtpClient::startTls()
{
    if (!QSslSocket::supportsSsl()) {
        fail("cannot encrypt the connection: TLS is not available on this computer (Qt finds no OpenSSL)");
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    if (!m_security.caCertificates.isEmpty()) {
        config.setCaCertificates(m_security.caCertificates);
    }
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setProtocol(QSsl::TlsV1_2OrLater);
    m_socket.setSslConfiguration(config);
    m_socket.setPeerVerifyName(QString::fromStdString(m_host));
    m_socket.startClientEncryption();
    if (m_socket.waitForEncrypted(m_replyTimeoutMs)) {
        return;
    }
    const QList<QSslError> errors = m_socket.sslHandshakeErrors();
    if (errors.isEmpty()) {
        fail("cannot encrypt the connection (" + m_socket.errorString().toStdString() + ")");
    }
    std::string why;
    for (const QSslError &e : errors) {
        why += (why.empty() ? "" : "; ") + e.errorString().toStdString();
    }
    fail("its certificate cannot be trusted for \"" + m_host + "\" (" + why + "); the mail was not sent");
}

void SmtpClient::authLogin(const std::string &user, const std::string &password)
{
    if (!m_socket.isEncrypted() && !m_local) {
        fail("the password is not sent, since the connection is not encrypted: the server does not offer "
             "STARTTLS (port " + std::to_string(m_security.implicitTlsPort) + " encrypts from the start)");
    }
    command("AUTH LOGIN", {334});
    command(QByteArray::fromStdString(user).toBase64().toStdString(), {334}, "the user name");
    command(QByteArray::fromStdString(password).toBase64().toStdString(), {235}, "the password");
}

void SmtpClient::writeRaw(const std::string &data)
{
    const char *p = data.data();
    qint64 left = static_cast<qint64>(data.size());
    while (left > 0) {
        qint64 n = m_socket.write(p, left);
        if (n < 0) {
            fail("cannot send (" + m_socket.errorString().toStdString() + ")");
        }
        p += n;
        left -= n;
    }
    QDeadlineTimer deadline(m_replyTimeoutMs);
    while (m_socket.bytesToWrite() > 0) {
        if (!m_socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            fail("cannot send (" + m_socket.errorString().toStdString() + ")");
        }
    }
}

SmtpReply SmtpClient::readReply()
{
    SmtpReply reply;
    QDeadlineTimer deadline(m_replyTimeoutMs);
    for (;;) {
        while (!m_socket.canReadLine()) {
            if (m_socket.bytesAvailable() > kMaxReplyLine) {
                fail("reply line too long");
            }
            qint64 left = deadline.remainingTime();
            if (left <= 0) {
                fail("no reply within " + std::to_string(m_replyTimeoutMs / 1000.0).substr(0, 4) + " s");
            }
            if (!m_socket.waitForReadyRead(static_cast<int>(left)) && m_socket.state() != QAbstractSocket::ConnectedState) {
                fail("connection closed (" + m_socket.errorString().toStdString() + ")");
            }
        }
        QByteArray raw = m_socket.readLine(kMaxReplyLine);
        std::string line = raw.toStdString();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
            !std::isdigit(static_cast<unsigned char>(line[1])) || !std::isdigit(static_cast<unsigned char>(line[2])) ||
            (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
            fail("malformed reply \"" + line + "\"");
        }
        int code = std::stoi(line.substr(0, 3));
        if (!reply.lines.empty() && code != reply.code) {
            fail("malformed reply \"" + line + "\"");
        }
        reply.code = code;
        reply.lines.push_back(line.size() > 4 ? line.substr(4) : std::string());
        if (line.size() == 3 || line[3] == ' ') {
            return reply;
        }
    }
}

SmtpReply SmtpClient::command(const std::string &line, std::initializer_list<int> expected, const char *shownAs)
{
    writeRaw(line + "\r\n");
    SmtpReply reply = readReply();
    if (expected.size() > 0 && std::find(expected.begin(), expected.end(), reply.code) == expected.end()) {
        fail("answered \"" + reply.text() + "\" to " + (shownAs != nullptr ? std::string(shownAs) : line), reply.code);
    }
    return reply;
}

void SmtpClient::sendMessageText(const std::string &text)
{
    command("DATA", {354});
    std::string wire;
    wire.reserve(text.size() + text.size() / 64 + 8);
    std::size_t start = 0;
    while (start < text.size()) { // a final line end ends the last line: no empty line after it
        std::size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line[0] == '.') {
            wire += '.';
        }
        wire += line;
        wire += "\r\n";
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    wire += ".\r\n";
    writeRaw(wire);
    SmtpReply reply = readReply();
    if (reply.code != 250) {
        fail("answered \"" + reply.text() + "\" to the message", reply.code);
    }
}

} // namespace qv
