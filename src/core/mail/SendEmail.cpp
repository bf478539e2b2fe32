// Sending one plain-text e-mail over SMTP: the message and the fixed exchange.
//
// The exchange is greeting, EHLO (or HELO), STARTTLS and EHLO again when offered, RSET, AUTH LOGIN
// when asked for and offered, MAIL FROM, RCPT TO for each recipient and DATA. No QUIT follows: the
// connection is simply closed.
#include "core/mail/SendEmail.h"

#include <QByteArray>
#include <QDateTime>
#include <QRandomGenerator>
#include <QString>

namespace qv {
namespace mail {
namespace {

bool isPlainAscii(const std::string &s)
{
    for (unsigned char c : s) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

std::string trimmed(const std::string &s)
{
    const char *ws = " \t\r\n";
    std::size_t a = s.find_first_not_of(ws);
    if (a == std::string::npos) {
        return {};
    }
    return s.substr(a, s.find_last_not_of(ws) - a + 1);
}

std::string withoutLineBreaks(std::string s)
{
    for (auto &c : s) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return s;
}

// Chunks of at most `max` bytes that never split a UTF-8 sequence.
std::vector<std::string> utf8Chunks(const std::string &s, std::size_t max)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t end = std::min(s.size(), i + max);
        while (end < s.size() && end > i && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) {
            --end;
        }
        if (end == i) {
            end = std::min(s.size(), i + max);
        }
        out.push_back(s.substr(i, end - i));
        i = end;
    }
    return out;
}

std::string normalisedLines(const std::string &body)
{
    std::string out;
    out.reserve(body.size() + body.size() / 40);
    for (std::size_t i = 0; i < body.size(); ++i) {
        char c = body[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < body.size() && body[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool fitsSevenBit(const std::string &crlfText)
{
    std::size_t lineLength = 0;
    for (std::size_t i = 0; i < crlfText.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(crlfText[i]);
        if (c == '\r' && i + 1 < crlfText.size() && crlfText[i + 1] == '\n') {
            lineLength = 0;
            ++i;
            continue;
        }
        if (c >= 0x80 || c == 0 || c == '\r' || c == '\n' || ++lineLength > 998) {
            return false;
        }
    }
    return true;
}

} // namespace

Address parseAddress(const std::string &textIn)
{
    std::string text = trimmed(textIn);
    Address a;
    std::size_t lt = text.rfind('<');
    if (lt != std::string::npos && !text.empty() && text.back() == '>') {
        a.address = trimmed(text.substr(lt + 1, text.size() - lt - 2));
        std::string name = trimmed(text.substr(0, lt));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            std::string unquoted;
            for (std::size_t i = 1; i + 1 < name.size(); ++i) {
                if (name[i] == '\\' && i + 2 < name.size()) {
                    ++i;
                }
                unquoted += name[i];
            }
            name = unquoted;
        }
        a.name = withoutLineBreaks(name);
    } else {
        a.address = text;
    }
    bool bad = a.address.empty();
    for (unsigned char c : a.address) {
        if (c <= 0x20 || c == 0x7F || c == '<' || c == '>' || c == ',') {
            bad = true;
        }
    }
    if (bad) {
        throw SmtpError("\"" + withoutLineBreaks(textIn) + "\" is not a valid e-mail address");
    }
    return a;
}

std::vector<Address> parseAddressList(const std::string &text)
{
    std::vector<Address> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!trimmed(item).empty()) {
            out.push_back(parseAddress(item));
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (out.empty()) {
        throw SmtpError("no recipient address given");
    }
    return out;
}

std::string encodeHeaderText(const std::string &textIn)
{
    std::string text = withoutLineBreaks(textIn);
    if (isPlainAscii(text)) {
        return text;
    }
    // Invalid UTF-8 would make the charset label a lie: such bytes become U+FFFD.
    std::string utf8 = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8().toStdString();
    std::string out;
    for (const auto &chunk : utf8Chunks(utf8, 45)) {
        if (!out.empty()) {
            out += "\r\n ";
        }
        out += "=?UTF-8?B?" + QByteArray::fromStdString(chunk).toBase64().toStdString() + "?=";
    }
    return out;
}

std::string formatAddress(const Address &a)
{
    if (a.name.empty()) {
        return "<" + a.address + ">";
    }
    if (!isPlainAscii(a.name)) {
        return encodeHeaderText(a.name) + " <" + a.address + ">";
    }
    std::string quoted = "\"";
    for (char c : a.name) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\" <" + a.address + ">";
}

std::string buildMessage(const Address &from, const std::vector<Address> &to, const std::string &subject,
                         const std::string &body)
{
    std::string toLine;
    for (const auto &a : to) {
        toLine += (toLine.empty() ? "" : ",\r\n ") + formatAddress(a);
    }
    std::string domain = from.address.substr(from.address.find('@') == std::string::npos ? from.address.size()
                                                                                          : from.address.find('@') + 1);
    if (domain.empty()) {
        domain = SmtpClient::localName();
    }
    std::string messageId = std::to_string(QDateTime::currentMSecsSinceEpoch()) + "." +
                            std::to_string(QRandomGenerator::global()->generate64()) + "@" + domain;
    std::string text = normalisedLines(body);
    bool sevenBit = fitsSevenBit(text);
    std::string msg;
    msg += "Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toStdString() + "\r\n";
    msg += "From: " + formatAddress(from) + "\r\n";
    msg += "To: " + toLine + "\r\n";
    msg += "Subject: " + encodeHeaderText(subject) + "\r\n";
    msg += "Message-ID: <" + messageId + ">\r\n";
    msg += "MIME-Version: 1.0\r\n";
    msg += "Content-Type: text/plain; charset=UTF-8\r\n";
    msg += std::string("Content-Transfer-Encoding: ") + (sevenBit ? "7bit" : "base64") + "\r\n";
    msg += "\r\n";
    if (sevenBit) {
        msg += text;
    } else {
        std::string b64 = QByteArray::fromStdString(text).toBase64().toStdString();
        for (std::size_t i = 0; i < b64.size(); i += 76) {
            msg += b64.substr(i, 76) + "\r\n";
        }
    }
    return msg;
}

} // namespace mail

bool SendEmail(const std::string &recipients, const std::string &from, const std::string &subject,
               const std::string &body, int port, const std::string &host, bool useAuth, const std::string &username,
               const std::string &password, QObject *owner, int replyTimeoutMs, int connectTimeoutMs,
               const SmtpSecurity &security)
{
    (void)owner;
    mail::Address sender = mail::parseAddress(from);
    std::vector<mail::Address> to = mail::parseAddressList(recipients);
    std::string message = mail::buildMessage(sender, to, subject, body);

    SmtpClient client(connectTimeoutMs, replyTimeoutMs, security);
    client.open(host, port);
    if (!client.isConnected()) {
        return false;
    }
    client.command("RSET", {});
    const auto &schemes = client.authSchemes();
    if (useAuth && std::find(schemes.begin(), schemes.end(), "LOGIN") != schemes.end()) {
        client.authLogin(username, password);
    }
    client.command("MAIL FROM:<" + sender.address + ">", {250});
    for (const auto &r : to) {
        client.command("RCPT TO:<" + r.address + ">", {250, 251});
    }
    client.sendMessageText(message);
    return true;
}

} // namespace qv
