// Sending mail against a scripted SMTP server on 127.0.0.1 that checks the exact exchange.
// qv-test-labels: unit interop
#include "core/mail/SendEmail.h"

#include "support/ScriptedSmtpServer.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QByteArray>


#include <cstring>

using namespace qv;
using qvtest::ScriptedSmtpServer;

namespace {

std::string b64(const std::string &s)
{
    return QByteArray::fromStdString(s).toBase64().toStdString();
}

const std::string kEhlo = "EHLO " + SmtpClient::localName();
const std::string kHelo = "HELO " + SmtpClient::localName();

} // namespace

TEST(SmtpExchange, AuthenticatedDeliveryToTwoRecipients)
{
    ScriptedSmtpServer server("220 mail.test ESMTP ready",
                          {"250-mail.test greets you\r\n250-SIZE 1000000\r\n250-AUTH PLAIN LOGIN CRAM-MD5\r\n250 OK",
                           "250 reset", "334 VXNlcm5hbWU6", "334 UGFzc3dvcmQ6", "235 welcome", "250 sender ok",
                           "250 ok", "251 will forward", "354 go ahead", "250 queued"});
    bool sent = SendEmail("ann@example.org, \"Bob B\" <bob@example.org>", "Backup <backup@example.org>",
                          "Backup finished", "All done.\n.hidden line\nlast", server.port(), "127.0.0.1", true,
                          "backup-user", "s3cr\xC3\xA9t pass");
    EXPECT_TRUE(sent);
    EXPECT_EQ(server.lines(), (std::vector<std::string>{
                                  kEhlo, "RSET", "AUTH LOGIN", b64("backup-user"), b64("s3cr\xC3\xA9t pass"),
                                  "MAIL FROM:<backup@example.org>", "RCPT TO:<ann@example.org>",
                                  "RCPT TO:<bob@example.org>", "DATA", "."}));
    std::string msg = server.message();
    EXPECT_NE(msg.find("\r\nSubject: Backup finished\r\n"), std::string::npos) << msg;
    EXPECT_NE(msg.find("\r\nFrom: \"Backup\" <backup@example.org>\r\n"), std::string::npos) << msg;
    // Dot-stuffed on the wire: the server received the doubled dot.
    EXPECT_NE(msg.find("\r\n\r\nAll done.\r\n..hidden line\r\nlast\r\n"), std::string::npos) << msg;
}

TEST(SmtpExchange, AuthEqualsFormIsUnderstood)
{
    ScriptedSmtpServer server("220 old server", {"250-old\r\n250 AUTH=LOGIN", "250 ok", "334 x", "334 y", "235 ok",
                                             "250 ok", "250 ok", "354 send", "250 ok"});
    EXPECT_TRUE(SendEmail("a@b.c", "x@y.z", "s", "b", server.port(), "127.0.0.1", true, "u", "p"));
    EXPECT_EQ(server.lines()[2], "AUTH LOGIN");
}

TEST(SmtpExchange, WithoutAuthOfferTheMailGoesUnauthenticated)
{
    ScriptedSmtpServer server("220 hi", {"250-hi\r\n250 8BITMIME", "250 ok", "250 ok", "250 ok", "354 go", "250 ok"});
    EXPECT_TRUE(SendEmail("a@b.c", "x@y.z", "s", "b", server.port(), "127.0.0.1", true, "user", "pw"));
    EXPECT_EQ(server.lines(), (std::vector<std::string>{kEhlo, "RSET", "MAIL FROM:<x@y.z>", "RCPT TO:<a@b.c>", "DATA", "."}));
}

TEST(SmtpExchange, HeloFallbackWhenEhloIsRefused)
{
    ScriptedSmtpServer server("220 ancient", {"502 what?", "250 hello", "250 ok", "250 ok", "250 ok", "354 go", "250 ok"});
    EXPECT_TRUE(SendEmail("a@b.c", "x@y.z", "s", "b", server.port(), "127.0.0.1", true, "user", "pw"));
    EXPECT_EQ(server.lines(),
              (std::vector<std::string>{kEhlo, kHelo, "RSET", "MAIL FROM:<x@y.z>", "RCPT TO:<a@b.c>", "DATA", "."}));
}

TEST(SmtpExchange, RefusalsRaiseErrors)
{
    struct Case {
        const char *what;
        std::string greeting;
        std::deque<std::string> replies;
        int code;
        const char *mentions;
    };
    const Case cases[] = {
        {"recipient refused", "220 x", {"250 x", "250 ok", "250 ok", "550 no such user"}, 550, "RCPT TO:<a@b.c>"},
        {"bad greeting", "554 go away", {}, 554, "greeting"},
        {"HELO refused too", "220 x", {"502 no", "501 no"}, 501, "HELO"},
        {"password refused", "220 x", {"250-x\r\n250 AUTH LOGIN", "250 ok", "334 u", "334 p", "535 bad credentials"}, 535,
         "the password"},
        {"message refused", "220 x", {"250 x", "250 ok", "250 ok", "250 ok", "354 go", "552 too big"}, 552, "message"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedSmtpServer server(c.greeting, c.replies);
        try {
            SendEmail("a@b.c", "x@y.z", "s", "b", server.port(), "127.0.0.1", true, "user", "hunter2", nullptr, 5000);
            ADD_FAILURE() << "no error raised";
        } catch (const SmtpError &e) {
            EXPECT_EQ(e.replyCode(), c.code) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find("hunter2"), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find(b64("hunter2")), std::string::npos) << e.what();
        }
    }
}

TEST(SmtpExchange, AnswerToStartTlsWithMoreBehindItIsRefused)
{
    // Lines sent after the plain "220" could pose as answers given over the encrypted connection.
    ScriptedSmtpServer server("220 x", {"250-x\r\n250-STARTTLS\r\n250 AUTH LOGIN", "220 go ahead\r\n235 welcome"});
    SmtpSecurity remote;
    remote.loopbackIsLocal = false;
    try {
        SendEmail("a@b.c", "x@y.z", "s", "b", server.port(), "127.0.0.1", true, "user", "hunter2", nullptr, 5000, 500,
                  remote);
        ADD_FAILURE() << "no error raised";
    } catch (const SmtpError &e) {
        EXPECT_NE(std::string(e.what()).find("sent more than its answer to STARTTLS"), std::string::npos) << e.what();
    }
    EXPECT_EQ(server.lines(), (std::vector<std::string>{kEhlo, "STARTTLS"}));
}

TEST(SmtpExchange, ClosedPortAndSilentServerFail)
{
    // A port nobody listens on: bound, then closed again.
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&addr), &len);
    int closedPort = ntohs(addr.sin_port);
    ::close(s);
    EXPECT_THROW(SendEmail("a@b.c", "x@y.z", "s", "b", closedPort, "127.0.0.1", false, "", ""), SmtpError);

    // Accepts the connection and never greets: the reply time-out (1 s here) ends it.
    {
        ScriptedSmtpServer silent("", {});
        try {
            SendEmail("a@b.c", "x@y.z", "s", "b", silent.port(), "127.0.0.1", false, "", "", nullptr, 1000);
            ADD_FAILURE() << "no error raised";
        } catch (const SmtpError &e) {
            EXPECT_NE(std::string(e.what()).find("no reply"), std::string::npos) << e.what();
        }
    }
    // Greets, then falls silent after MAIL FROM.
    {
        ScriptedSmtpServer stalls("220 x", {"250 x", "250 ok"});
        EXPECT_THROW(SendEmail("a@b.c", "x@y.z", "s", "b", stalls.port(), "127.0.0.1", false, "", "", nullptr, 1000),
                     SmtpError);
    }
}

TEST(SmtpExchange, ServerNamesAreLookedUpAndEveryAddressTried)
{
    // "localhost" may give ::1 before 127.0.0.1; the server listens on 127.0.0.1 only.
    ScriptedSmtpServer server("220 hi", {"250 hi", "250 ok", "250 ok", "250 ok", "354 go", "250 ok"});
    EXPECT_TRUE(SendEmail("a@b.c", "x@y.z", "s", "b", server.port(), "localhost", false, "", ""));
    EXPECT_EQ(server.lines().back(), ".");
    try {
        SendEmail("a@b.c", "x@y.z", "s", "b", 25, "no-such-host.invalid", false, "", "");
        ADD_FAILURE() << "no error raised";
    } catch (const SmtpError &e) {
        EXPECT_NE(std::string(e.what()).find("cannot find the server"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("no-such-host.invalid"), std::string::npos) << e.what();
    }
}

TEST(SmtpExchange, BadAddressesAreRefusedBeforeConnecting)
{
    const std::pair<const char *, const char *> cases[] = {
        {"", "x@y.z"},
        {" , ", "x@y.z"},
        {"a@b.c\r\nRCPT TO:<evil@x>", "x@y.z"},
        {"a@b.c", ""},
        {"a@b.c", "Name <a b@c>"},
    };
    for (const auto &[to, from] : cases) {
        EXPECT_THROW(SendEmail(to, from, "s", "b", 1, "127.0.0.1", false, "", ""), SmtpError) << to << " / " << from;
    }
}

TEST(MailMessage, HeadersCannotBeInjectedAndNonAsciiIsEncoded)
{
    mail::Address from = mail::parseAddress("J\xC3\xBCrgen <j@example.org>");
    std::vector<mail::Address> to = mail::parseAddressList("a@example.org");
    std::string msg = mail::buildMessage(from, to, "Sicherung fertig \xE2\x9C\x94\r\nBcc: victim@example.org", "x");
    EXPECT_EQ(msg.find("\r\nBcc:"), std::string::npos) << msg;
    EXPECT_NE(msg.find("Subject: =?UTF-8?B?"), std::string::npos) << msg;
    EXPECT_NE(msg.find("From: =?UTF-8?B?" + b64("J\xC3\xBCrgen") + "?= <j@example.org>"), std::string::npos) << msg;
    // Long non-ASCII subjects are folded into several encoded words, none cut inside a character.
    std::string longSubject;
    for (int i = 0; i < 40; ++i) {
        longSubject += "\xC3\xA9t\xC3\xA9 ";
    }
    std::string enc = mail::encodeHeaderText(longSubject);
    std::string decoded;
    std::size_t pos = 0;
    while ((pos = enc.find("=?UTF-8?B?", pos)) != std::string::npos) {
        std::size_t end = enc.find("?=", pos + 10);
        std::string word = QByteArray::fromBase64(QByteArray::fromStdString(enc.substr(pos + 10, end - pos - 10))).toStdString();
        EXPECT_TRUE(QString::fromUtf8(word.c_str()).toUtf8().toStdString() == word) << "split inside a character";
        decoded += word;
        EXPECT_LE(end + 2 - pos, 75u);
        pos = end + 2;
    }
    EXPECT_EQ(decoded, longSubject);
}

TEST(MailMessage, PythonReadsTheMessageBack)
{
    QV_REQUIRE_TOOL("python3");
    const std::string subject = "R\xC3\xA9sultat de la sauvegarde";
    const std::string body = "Ligne un \xE2\x80\x94 fin.\n.point\nDerni\xC3\xA8re";
    std::string msg = mail::buildMessage(mail::parseAddress("\"Ann \\\"Q\\\" Smith\" <ann@example.org>"),
                                         mail::parseAddressList("b@example.org, c@example.org"), subject, body);
    std::string dir = qvtest::makeTempDir("mail");
    qvtest::writeFile(dir + "/msg.eml", msg);
    const char *script = "import sys, email\n"
                         "from email import policy\n"
                         "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=policy.default)\n"
                         "sys.stdout.buffer.write((m['subject'] + '\\n').encode())\n"
                         "sys.stdout.buffer.write((m['from'].addresses[0].display_name + '\\n').encode())\n"
                         "sys.stdout.buffer.write((','.join(a.addr_spec for a in m['to'].addresses) + '\\n').encode())\n"
                         "sys.stdout.buffer.write(m.get_content().encode())\n";
    qvtest::CommandResult r = qvtest::runCommand({"python3", "-c", script, dir + "/msg.eml"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::string expected = subject + "\n" + "Ann \"Q\" Smith\n" + "b@example.org,c@example.org\n" +
                           "Ligne un \xE2\x80\x94 fin.\n.point\nDerni\xC3\xA8re";
    // Text is sent in its canonical form, CR LF line ends; compare the lines.
    std::string got = r.output;
    for (std::size_t p = got.find("\r\n"); p != std::string::npos; p = got.find("\r\n", p)) {
        got.erase(p, 1);
    }
    EXPECT_EQ(got, expected);
}
