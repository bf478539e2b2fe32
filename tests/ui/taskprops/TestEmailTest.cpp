// Test e-mails of the dialogs against a scripted SMTP server on 127.0.0.1.
// qv-test-labels: gui
#include "components/MessageBox.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "ui/taskprops/TestEmail.h"

#include "support/ScriptedSmtpServer.h"

#include <QByteArray>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

using namespace qv;
using qvtest::ScriptedSmtpServer;

namespace {

std::string b64(const std::string &s)
{
    return QByteArray::fromStdString(s).toBase64().toStdString();
}

const std::deque<std::string> kAuthScript = {"250-mail.test\r\n250 AUTH LOGIN", "250 reset", "334 VXNlcm5hbWU6",
                                             "334 UGFzc3dvcmQ6", "235 welcome", "250 sender ok", "250 ok",
                                             "354 go ahead", "250 queued"};

// A port on 127.0.0.1 where nothing listens.
int closedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

struct BoxSeam {
    BoxSeam() { MessageBoxSeam::clear(); }
    ~BoxSeam() { MessageBoxSeam::clear(); }
};

} // namespace

TEST(TestEmail, SendsTheExactExchangeAndShowsTheInformationBox)
{
    BoxSeam seam;
    ScriptedSmtpServer server("220 mail.test ESMTP", kAuthScript);
    TestEmailSettings s;
    s.to = "ops@example.org";
    s.from = "Backups <backup@example.org>";
    s.subject = "Automatic Backup Notification";
    s.host = "127.0.0.1";
    s.port = server.port();
    s.authUse = true;
    s.authUser = "backup-user";
    s.authPassword = "pa55 w\xC3\xB6rd";
    QWidget dialog;
    EXPECT_TRUE(sendTestEmail(&dialog, s));
    const std::vector<std::string> lines = server.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("EHLO ", 0), 0u) << lines[0];
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{"RSET", "AUTH LOGIN", b64("backup-user"), b64("pa55 w\xC3\xB6rd"),
                                        "MAIL FROM:<backup@example.org>", "RCPT TO:<ops@example.org>", "DATA",
                                        "."}));
    EXPECT_NE(server.message().find("test message from Quorvellant delivered successfully!"), std::string::npos);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].flags & 0xF0, unsigned(MB_ICONINFORMATION));
    EXPECT_EQ(MessageBoxSeam::shown()[0].text,
              "Email sent: Please check your mailbox using your favorite email client!");
    EXPECT_TRUE(dialog.isEnabled());
}

TEST(TestEmail, AClosedPortGivesTheErrorBoxAndTheDialogStays)
{
    BoxSeam seam;
    TestEmailSettings s;
    s.to = "ops@example.org";
    s.from = "backup@example.org";
    s.host = "127.0.0.1";
    s.port = closedPort();
    QWidget dialog;
    EXPECT_FALSE(sendTestEmail(&dialog, s));
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    const ShownMessageBox &box = MessageBoxSeam::shown()[0];
    EXPECT_EQ(box.flags & 0xF0, unsigned(MB_ICONERROR));
    EXPECT_TRUE(box.text.startsWith("Email can't be sent!")) << box.text.toStdString();
    EXPECT_GT(box.text.size(), QString("Email can't be sent!").size()) << "the client's reason follows";
    EXPECT_TRUE(dialog.isEnabled());
}

TEST(TestEmail, AStalledServerEndsAtTheTimeOutWhileTheMainThreadRuns)
{
    BoxSeam seam;
    ScriptedSmtpServer server("220 slow", {}); // greets, then never answers
    TestEmailSettings s;
    s.to = "ops@example.org";
    s.from = "backup@example.org";
    s.host = "127.0.0.1";
    s.port = server.port();
    s.replyTimeoutMs = 400;
    QWidget dialog;
    dialog.show();
    int ticks = 0;
    int ticksWhileDisabled = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (!dialog.isEnabled()) {
            ++ticksWhileDisabled;
        }
    });
    timer.start(20);
    EXPECT_FALSE(sendTestEmail(&dialog, s));
    timer.stop();
    EXPECT_GT(ticksWhileDisabled, 0) << "the main thread kept running while the dialog waited without input";
    EXPECT_TRUE(dialog.isEnabled());
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].flags & 0xF0, unsigned(MB_ICONERROR));
    EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains("no reply"))
        << MessageBoxSeam::shown()[0].text.toStdString();
}

TEST(TestEmail, TaskSettingsFollowTheGroupsDefaultChoice)
{
    ResetSettingsToDefaults();
    EmailSmtpServer = "smtp.program.test";
    EmailSmtpServerPort = 2525;
    EmailFrom = "program@example.org";
    TTask task;
    task.EmailSettings.UseDefault = true;
    task.EmailSettings.SmtpServer = "smtp.task.test";
    task.EmailSettings.SmtpServerPort = 587;
    task.EmailSettings.From = "task@example.org";
    task.EmailSettings.SmtpServerAuthUse = true;
    TestEmailSettings s = taskTestEmailSettings(task, "a@b.c");
    EXPECT_EQ(s.host, "smtp.program.test");
    EXPECT_EQ(s.port, 2525);
    EXPECT_EQ(s.from, "program@example.org");
    EXPECT_FALSE(s.authUse);
    task.EmailSettings.UseDefault = false;
    s = taskTestEmailSettings(task, "a@b.c");
    EXPECT_EQ(s.host, "smtp.task.test");
    EXPECT_EQ(s.port, 587);
    EXPECT_EQ(s.from, "task@example.org");
    EXPECT_TRUE(s.authUse);
    EXPECT_EQ(s.to, "a@b.c");
    EXPECT_EQ(programTestEmailSettings("x@y.z").host, "smtp.program.test");
    ResetSettingsToDefaults();
}
