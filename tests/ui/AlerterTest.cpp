// The alert dispatcher's mail against a scripted SMTP server, and alerts of real runs.
// qv-test-labels: gui interop
// qv-test-timeout: 180
#include "ui/Alerter.h"

#include "components/TrayIcon.h"
#include "platform/gui/FakeTrayService.h"

#include "core/RunsTestSupport.h"
#include "core/mail/MailQueue.h"
#include "core/mail/SendEmail.h"
#include "core/runs/TaskRunFlags.h"
#include "support/ScriptedSmtpServer.h"

#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

using namespace qv;
using qvtest::ScriptedSmtpServer;
using runstest::waitFor;

// A server that takes one message.
ScriptedSmtpServer acceptingServer()
{
    return ScriptedSmtpServer("220 hi", {"250 hi", "250 ok", "250 ok", "250 ok", "354 go", "250 ok"});
}

class AlerterTest : public runstest::RunsFixture
{
protected:
    void SetUp() override
    {
        RunsFixture::SetUp();
        setAlerter(&dispatcher);
    }
    void TearDown() override
    {
        waitFor([] { return MailQueue::instance().pending() == 0; }, 30000);
        SilentMode = false;
        RunsFixture::TearDown();
    }
    // A task whose every alert is off but the e-mail of `event` (mode by its start), to `port`.
    static void mailOnly(TTask &task, AlertMode mode, AlertEvent event, int port, bool sendLog = false)
    {
        for (const TaskAlertSetting &row : taskAlertTable()) {
            if (!row.isString()) {
                task.EventAlerts.*row.boolField = false;
            }
        }
        task.EventAlerts.UseDefault = false;
        task.EmailSettings.UseDefault = false;
        task.EmailSettings.SmtpServer = "127.0.0.1";
        task.EmailSettings.SmtpServerPort = port;
        task.EmailSettings.From = "backup@example.org";
        task.EmailSettings.Subject = "Nightly report";
        for (AlertItem item : {AlertItem::EmailUse, AlertItem::Email, AlertItem::EmailSendLog}) {
            if (const TaskAlertSetting *row = findTaskAlert(mode, event, item)) {
                if (row->isString()) {
                    task.EventAlerts.*row->stringField = "ops@example.org";
                } else {
                    task.EventAlerts.*row->boolField = item != AlertItem::EmailSendLog || sendLog;
                }
            }
        }
    }
    // The alert's mail with short time-outs, so a stalled server fails within seconds.
    static bool quickSend(const std::string &to, const std::string &from, const std::string &subject,
                          const std::string &body, int port, const std::string &host, bool auth,
                          const std::string &user, const std::string &password)
    {
        return SendEmail(to, from, subject, body, port, host, auth, user, password, nullptr, 2000, 500);
    }

    TAlerter dispatcher{{{}, false, quickSend}};
};

TEST_F(AlerterTest, StartMailNamesTheStartMode)
{
    struct Case {
        bool silent;
        std::uint8_t start;
        AlertMode mode;
        const char *line;
    };
    const Case cases[] = {{true, kStartByHand, AlertMode::Silent, "The Task started in Silent mode."},
                          {false, kStartByHand, AlertMode::Manual, "The Task started Manually."},
                          {false, kStartAutomatic, AlertMode::Scheduled, "The Task started by Schedule."}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        ScriptedSmtpServer server = acceptingServer();
        auto task = makeTask("Nightly", "/nonexistent", "/nonexistent2");
        mailOnly(*task, c.mode, AlertEvent::Start, server.port());
        SilentMode = c.silent;
        task->StartMode = c.start;
        AlertAnswer answer = dispatcher.AlertWithMail(*task, akStart, "Backup started.", "CS");
        EXPECT_EQ(answer.answer, 0);
        ASSERT_TRUE(answer.mail);
        EXPECT_EQ(answer.mail(), "");
        const std::string msg = server.message();
        EXPECT_NE(msg.find("\r\nSubject: Nightly report (Backup Startup)\r\n"), std::string::npos) << msg;
        const std::string body = msg.substr(msg.find("\r\n\r\n") + 4);
        EXPECT_EQ(body.substr(0, 19), "Task name: Nightly\r");
        EXPECT_NE(body.find(": Backup started.\r\n" + std::string(c.line) + "\r\n"), std::string::npos) << body;
    }
}

// A run that fails its check raises the error alert: its balloon carries the error icon, the
// start's the information one.
TEST_F(AlerterTest, ErrorBalloonOfAFailedCheckCarriesTheErrorIcon)
{
    QWidget window;
    auto fakeOwned = std::make_unique<FakeTrayService>();
    FakeTrayService *fake = fakeOwned.get();
    auto *tray = new TTrayIcon(&window, std::move(fakeOwned));
    tray->ShowIcon();
    TAlerter withTray{{[tray] { return tray; }, false, quickSend}};
    setAlerter(&withTray);
    auto task = makeTask("Nightly", "/nonexistent", "/nonexistent2");
    for (const TaskAlertSetting &row : taskAlertTable()) {
        if (!row.isString()) {
            task->EventAlerts.*row.boolField = false;
        }
    }
    task->EventAlerts.UseDefault = false;
    for (AlertEvent event : {AlertEvent::Start, AlertEvent::Error}) {
        task->EventAlerts.*findTaskAlert(AlertMode::Manual, event, AlertItem::Balloon)->boolField = true;
    }
    task->Run(kStartByHand);
    setAlerter(&dispatcher);
    ASSERT_EQ(fake->messages.size(), 2u);
    EXPECT_EQ(fake->messages[0].icon, TrayService::BalloonInfo);
    EXPECT_EQ(fake->messages[1].icon, TrayService::BalloonError);
    EXPECT_TRUE(fake->messages[1].text.contains("Invalid source folder")) << fake->messages[1].text.toStdString();
}

TEST_F(AlerterTest, FinishMailCarriesEveryLineOfTheLog)
{
    ScriptedSmtpServer server = acceptingServer();
    auto task = makeTask("Nightly", "/nonexistent", "/nonexistent2");
    mailOnly(*task, AlertMode::Scheduled, AlertEvent::Finish, server.port(), true);
    task->Logger->Add(kLogStarted, {});
    task->Logger->Add(kLogFile, "Copied a.txt");
    task->Logger->Add(kLogFile, ".dotted\n.line");
    task->Logger->Add(kLogWarning, "careful");
    AlertAnswer answer = dispatcher.AlertWithMail(*task, akFinish, "Backup finished.", "O");
    ASSERT_TRUE(answer.mail);
    EXPECT_EQ(answer.mail(), "");
    const std::string msg = server.message();
    EXPECT_NE(msg.find("\r\nSubject: Nightly report (Backup Finished)\r\n"), std::string::npos) << msg;
    std::string log;
    for (std::size_t i = 0; i < task->Logger->Count(); ++i) {
        log += task->Logger->GetEventText(i) + "\r\n";
    }
    const std::string marker = "Backup finished.\r\n\r\n\r\nDetailed backup log: \r\n";
    const auto at = msg.find(marker);
    ASSERT_NE(at, std::string::npos) << msg;
    EXPECT_EQ(msg.substr(at + marker.size()), log); // nothing after the last line, not even an empty line
}

TEST_F(AlerterTest, FileAlertsNeverMailAndOthersOnlyWhenAsked)
{
    auto task = makeTask("T", "/nonexistent", "/nonexistent2");
    mailOnly(*task, AlertMode::Manual, AlertEvent::Error, 1);
    task->StartMode = kStartByHand;
    task->EventAlerts.ManualFileDialog = false;
    EXPECT_FALSE(dispatcher.AlertWithMail(*task, akFile, "x", "CS").mail);
    EXPECT_FALSE(dispatcher.AlertWithMail(*task, akFolder, "x", "CS").mail);
    EXPECT_FALSE(dispatcher.AlertWithMail(*task, akWarning, "x", "CS").mail);
    EXPECT_TRUE(dispatcher.AlertWithMail(*task, akError, "x", "S").mail);
}

TEST_F(AlerterTest, MainThreadGoesOnWhileAServerStalls)
{
    ScriptedSmtpServer stalls("220 slow", {}); // greets, then never answers
    auto task = makeTask("T", "/nonexistent", "/nonexistent2");
    mailOnly(*task, AlertMode::Scheduled, AlertEvent::Finish, stalls.port());
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(20);
    EXPECT_EQ(dispatcher.Alert(*task, akFinish, "Backup finished.", "O"), 0); // returns at once
    EXPECT_EQ(MailQueue::instance().pending(), 1);
    ASSERT_TRUE(waitFor([] { return MailQueue::instance().pending() == 0; }, 30000));
    EXPECT_GT(ticks, 10); // the timer kept ticking during the stall (2 s reply time-out)
    ASSERT_EQ(countKind(*task, kLogError), 1);
    EXPECT_EQ(task->Logger->Item(task->Logger->Count() - 1).Text.rfind("ERROR: Alert email can't be sent (", 0), 0u)
        << joined(events(*task));
}

TEST_F(AlerterTest, ARefusedEndMailLeavesTheRunFinishedWithOneErrorLine)
{
    const std::string src = qvtest::makeTempDir("src");
    const std::string dst = qvtest::makeTempDir("dst");
    qvtest::writeFile(src + "/a.txt", "alpha");
    ScriptedSmtpServer refuses("554 go away", {"221 bye"});
    auto task = makeTask("Refused", src, dst);
    mailOnly(*task, AlertMode::Manual, AlertEvent::Finish, refuses.port());
    task->Run(kStartByHand);
    ASSERT_TRUE(waitFor([&] { return !task->Running; }));
    ASSERT_TRUE(waitFor([] { return MailQueue::instance().pending() == 0; }, 30000));
    EXPECT_EQ(qvtest::readFile(dst + "/a.txt"), "alpha");
    const std::vector<std::string> lines = events(*task);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "1 Backup finished.") << joined(lines);
    EXPECT_EQ(lines.back().rfind("7 ERROR: Alert email can't be sent (", 0), 0u) << joined(lines);
    EXPECT_EQ(countKind(*task, kLogError), 1);
    EXPECT_EQ(countKind(*task, kLogAborted), 0);
}

} // namespace
