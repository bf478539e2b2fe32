// The Event Alerts page: the group's default/custom pair over the alerts editor, Send Test with the
// task's stored e-mail settings, the link to the e-mail page.
// qv-test-labels: gui
#include "TaskPageTestSupport.h"

#include "components/MessageBox.h"
#include "ui/taskprops/AlertsEditor.h"
#include "ui/taskprops/LinkLabel.h"
#include "ui/taskprops/TaskEventsPage.h"

#include "support/ScriptedSmtpServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using taskpagetest::FakeTaskContext;

TEST(TaskEventsPage, DefaultAndCustomAndTheValuesRoundTrip)
{
    TaskSettings s;
    s.EventAlerts.UseDefault = false;
    s.EventAlerts.ManualErrorSound = true;
    s.EventAlerts.ManualErrorSoundFile = "/snd/error.wav";
    TaskEventsPage page;
    page.load(s);
    EXPECT_TRUE(page.EventsUseCustomRadioButton->isChecked());
    EXPECT_TRUE(page.editor()->comboBox()->isEnabled());
    page.EventsUseDefaultRadioButton->setChecked(true);
    EXPECT_FALSE(page.editor()->comboBox()->isEnabled());
    TaskSettings out;
    page.store(out);
    EXPECT_TRUE(out.EventAlerts.UseDefault);
    EXPECT_TRUE(out.EventAlerts.ManualErrorSound);
    EXPECT_EQ(out.EventAlerts.ManualErrorSoundFile, "/snd/error.wav");
    EXPECT_EQ(static_cast<const TEventAlertValues &>(out.EventAlerts),
              static_cast<const TEventAlertValues &>(s.EventAlerts));
}

TEST(TaskEventsPage, TheFinishLinkAsksForTheEmailPage)
{
    TaskEventsPage page;
    page.load(TaskSettings{});
    QSignalSpy spy(&page, &TaskPropertiesPage::pageRequested);
    emit static_cast<LinkLabel *>(page.editor()->panel(AlertEvent::Finish).settingsLink)->clicked();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), "EmailTabSheet");
}

TEST(TaskEventsPage, SendTestUsesTheStoredSettingsNotThePagesEdits)
{
    qvtest::ScriptedSmtpServer server("220 stored.test", {"250 hi", "250 ok", "250 ok", "250 ok", "354 go", "250 ok"});
    TTask task;
    task.EmailSettings.UseDefault = false;
    task.EmailSettings.SmtpServer = "127.0.0.1";
    task.EmailSettings.SmtpServerPort = server.port();
    task.EmailSettings.From = "stored@example.org";
    FakeTaskContext context(&task);
    context.draft().EmailSettings.SmtpServerPort = 1; // an unconfirmed edit on the Email Settings page
    context.draft().EmailSettings.From = "edited@example.org";
    context.draft().EventAlerts.UseDefault = false;
    context.draft().EventAlerts.ScheduledErrorEmailUse = true;
    context.draft().EventAlerts.ScheduledErrorEmail = "ops@example.org";
    TaskEventsPage page;
    page.setContext(&context);
    page.load(context.draft());
    MessageBoxSeam::presetAnswers({});
    QTest::mouseClick(page.editor()->panel(AlertEvent::Error).test, Qt::LeftButton);
    const std::vector<std::string> lines = server.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "MAIL FROM:<stored@example.org>");
    EXPECT_EQ(lines[3], "RCPT TO:<ops@example.org>");
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].flags & 0xF0, unsigned(MB_ICONINFORMATION));
    MessageBoxSeam::clear();
}
