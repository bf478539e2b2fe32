// Sending mail over TLS to a real TLS server (Python's ssl module) that records every byte it
// receives on the wire: STARTTLS, TLS from the first byte, certificates it trusts and does not.
// qv-test-labels: unit interop
#include "core/mail/SendEmail.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <thread>

using namespace qv;
using qvtest::runCommand;

namespace {

const std::string kPassword = "s3cret-Pa55";

std::string b64(const std::string &s)
{
    return QByteArray::fromStdString(s).toBase64().toStdString();
}

// A certificate authority the tests trust, a server certificate it signed for "localhost", one it
// signed for another name, and a self-signed one for "localhost" nobody trusts.
class SmtpTls : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!qvtest::haveTool("openssl") || !qvtest::haveTool("python3")) {
            return;
        }
        s_dir = qvtest::makeTempDir("smtp-tls");
        const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
        const std::string script =
            "set -e; cd '" + s_dir + "'\n" +
            "openssl req -x509 " + ec + " -keyout ca.key -out ca.pem -subj /CN=Test-CA"
            " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign\n"
            "sign() { openssl req " + ec + " -keyout $1.key -out $1.csr -subj /CN=$2\n"
            "  printf 'subjectAltName=DNS:%s\\nextendedKeyUsage=serverAuth\\n' $2 > $1.ext\n"
            "  openssl x509 -req -in $1.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
            " -extfile $1.ext -out $1.pem; }\n"
            "sign trusted localhost; sign othername other.invalid\n"
            "openssl req -x509 " + ec + " -keyout selfsigned.key -out selfsigned.pem -subj /CN=localhost"
            " -addext subjectAltName=DNS:localhost\n";
        const qvtest::CommandResult r = qvtest::runShell(script, 60);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    void SetUp() override
    {
        QV_REQUIRE_TOOL("openssl");
        QV_REQUIRE_TOOL("python3");
        ASSERT_FALSE(s_dir.empty());
    }

    SmtpSecurity trustingTheTestCa() const
    {
        SmtpSecurity security;
        security.caCertificates = QSslCertificate::fromPath(QString::fromStdString(s_dir + "/ca.pem"));
        security.loopbackIsLocal = false; // the server counts as another machine
        return security;
    }

    struct Seen {
        bool sent = false;
        std::string error; // the client's
        std::vector<std::string> lines;
        std::string wire;
        bool tls = false;
    };

    // Starts the server in `mode` with certificate `cert`, sends one authenticated mail to it.
    Seen exchange(const std::string &mode, const std::string &cert, SmtpSecurity security,
                  bool implicit = false)
    {
        const std::string script =
            std::string(std::getenv("QV_SOURCE_DIR")) + "/tests/core/mail/smtp-tls-server.py";
        const std::string portFile = qvtest::makeTempDir("port") + "/port";
        qvtest::CommandResult server;
        std::thread serverThread([&] {
            const std::string files = s_dir + "/" + cert;
            server = runCommand({"python3", script, mode, files + ".pem", files + ".key", portFile}, 30);
        });
        int port = 0;
        for (int i = 0; i < 200 && port == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (QFile::exists(QString::fromStdString(portFile))) {
                port = std::stoi(qvtest::readFile(portFile));
            }
        }
        Seen seen;
        if (implicit) {
            security.implicitTlsPort = port;
        }
        try {
            seen.sent = port != 0 && SendEmail("ann@example.org", "backup@example.org", "s", "body", port,
                                               "localhost", true, "backup-user", kPassword, nullptr, 5000,
                                               2000, security);
        } catch (const SmtpError &e) {
            seen.error = e.what();
        }
        serverThread.join();
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(server.output)).object();
        EXPECT_FALSE(o.isEmpty()) << "server said: " << server.output;
        for (const auto &l : o.value("lines").toArray()) {
            seen.lines.push_back(l.toString().toStdString());
        }
        seen.wire = QByteArray::fromHex(o.value("wire").toString().toLatin1()).toStdString();
        seen.tls = o.value("tls").toBool();
        return seen;
    }

    static std::string s_dir;
};

std::string SmtpTls::s_dir;

const std::string kEhlo = "EHLO " + SmtpClient::localName();
const std::vector<std::string> kAfterGreeting = {
    "RSET", "AUTH LOGIN", b64("backup-user"), b64(kPassword), "MAIL FROM:<backup@example.org>",
    "RCPT TO:<ann@example.org>", "DATA", "."};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool holdsPassword(const std::string &wire)
{
    return wire.find(kPassword) != std::string::npos || wire.find(b64(kPassword)) != std::string::npos;
}

} // namespace

TEST_F(SmtpTls, TrustedServersGetThePasswordOnlyEncrypted)
{
    struct Case {
        const char *mode;
        bool implicit;
        std::vector<std::string> lines;
        bool ehloInClear; // the wire shows the first EHLO, before encryption
    };
    const Case cases[] = {
        {"starttls", false, concat({kEhlo, "STARTTLS", kEhlo}, kAfterGreeting), true},
        {"implicit", true, concat({kEhlo}, kAfterGreeting), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        const Seen seen = exchange(c.mode, "trusted", trustingTheTestCa(), c.implicit);
        EXPECT_TRUE(seen.sent) << seen.error;
        EXPECT_TRUE(seen.tls);
        EXPECT_EQ(seen.lines, c.lines);
        EXPECT_FALSE(holdsPassword(seen.wire));
        EXPECT_EQ(seen.wire.find("AUTH"), std::string::npos);
        EXPECT_EQ(seen.wire.find(kEhlo) != std::string::npos, c.ehloInClear);
    }
}

TEST_F(SmtpTls, UntrustedCertificatesAndPlainServersGetNoPassword)
{
    struct Case {
        const char *mode;
        const char *cert;
        bool implicit;
        const char *errorWords;
    };
    const Case cases[] = {
        {"starttls", "selfsigned", false, "certificate cannot be trusted for \"localhost\""},
        {"implicit", "selfsigned", true, "certificate cannot be trusted for \"localhost\""},
        {"starttls", "othername", false, "certificate cannot be trusted for \"localhost\""},
        {"plain", "trusted", false, "password is not sent, since the connection is not encrypted"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.cert);
        const Seen seen = exchange(c.mode, c.cert, trustingTheTestCa(), c.implicit);
        EXPECT_FALSE(seen.sent);
        EXPECT_NE(seen.error.find(c.errorWords), std::string::npos) << seen.error;
        EXPECT_NE(seen.error.find("localhost:"), std::string::npos) << seen.error;
        EXPECT_FALSE(holdsPassword(seen.wire));
        for (const std::string &line : seen.lines) {
            EXPECT_NE(line, "AUTH LOGIN");
        }
    }
}

TEST_F(SmtpTls, ThisMachineMayTakeThePasswordUnencrypted)
{
    // To a loopback address the exchange stays plain, STARTTLS offered or not; the capture sees
    // the password (the control for the checks above).
    for (const char *mode : {"plain", "starttls"}) {
        SCOPED_TRACE(mode);
        const Seen seen = exchange(mode, "selfsigned", SmtpSecurity{});
        EXPECT_TRUE(seen.sent) << seen.error;
        EXPECT_FALSE(seen.tls);
        EXPECT_EQ(seen.lines, concat({kEhlo}, kAfterGreeting));
        EXPECT_TRUE(holdsPassword(seen.wire));
    }
}
