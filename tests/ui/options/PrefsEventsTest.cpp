// The options dialog's event alerts: a copy of the three modes committed by OK only, the test
// e-mails with the stored settings, and the link to the e-mail panel.
// qv-test-labels: gui
#include "components/MessageBox.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "ui/options/PrefsDefaultsPage.h"
#include "ui/options/PrefsForm.h"
#include "ui/taskprops/AlertsEditor.h"

#include "support/DialogTestSupport.h"
#include "support/ScriptedSmtpServer.h"
#include "support/TestEnv.h"

#include <QTest>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace qv;
using qvtest::NextModal;

namespace {

class PrefsEvents : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettingsToDefaults();
        ResetPreferencesMemory();
        MessageBoxSeam::clear();
        TSafeRegistry().DeleteKey(RegKeyRoot);
    }
    void TearDown() override { MessageBoxSeam::clear(); }
    bool run(const std::function<void(TPrefsForm *)> &act)
    {
        NextModal next([&](QDialog *d) {
            auto *form = qobject_cast<TPrefsForm *>(d);
            ASSERT_NE(form, nullptr);
            act(form);
            if (form->isVisible()) {
                form->reject();
            }
        });
        const bool ok = ShowPreferences(TPrefsForm::TaskDefaultsPage, nullptr);
        EXPECT_TRUE(next.ran);
        return ok;
    }
    static QCheckBox *box(TPrefsForm *f, const char *name) { return qvtest::child<QCheckBox>(f, name); }
    static QComboBox *modes(TPrefsForm *f) { return qvtest::child<QComboBox>(f, "TaskEventsComboBox"); }
    // Manual mode: Error dialog on, Start balloon on, a sound file; then back to the scheduled mode.
    static void editManualThenSwitch(TPrefsForm *f)
    {
        modes(f)->setCurrentIndex(1);
        box(f, "TaskEventsErrorCheckBoxDialog")->setChecked(true);
        box(f, "TaskEventsStartCheckBoxBalloon")->setChecked(true);
        box(f, "TaskEventsErrorCheckBoxSound")->click();
        qvtest::child<QLineEdit>(f, "TaskEventsErrorEditSound")->setText("/usr/share/sounds/error.wav");
        modes(f)->setCurrentIndex(0);
        box(f, "TaskEventsFinishCheckBoxDialog")->setChecked(true); // scheduled, still shown
    }
    std::string exportStore()
    {
        const std::string file = qvtest::makeTempDir("export") + "/all.reg";
        auto r = qvtest::runCommand({qvtest::binPath("qv-regtool"), "--db",
                                     qgetenv("XDG_CONFIG_HOME").toStdString() + "/quorvellant/registry.db", "export",
                                     file});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return qvtest::readFile(file);
    }
};

} // namespace

TEST_F(PrefsEvents, CancelDiscardsEveryModeAndTheStoreStaysByteIdentical)
{
    SaveSettings();
    const std::string before = exportStore();
    ASSERT_NE(before.find("EventsManualErrorDialog"), std::string::npos);
    EXPECT_FALSE(run([](TPrefsForm *f) {
        editManualThenSwitch(f);
        f->CancelButton->click();
    }));
    EXPECT_FALSE(EventsManualErrorDialog);
    EXPECT_FALSE(EventsManualStartBalloon);
    EXPECT_EQ(EventsManualErrorSoundFile, "");
    EXPECT_FALSE(EventsScheduledFinishDialog);
    SaveSettings(); // what the exit does
    EXPECT_EQ(exportStore(), before);
}

TEST_F(PrefsEvents, OkCommitsEveryMode)
{
    EXPECT_TRUE(run([](TPrefsForm *f) {
        editManualThenSwitch(f);
        f->OkButton->click();
    }));
    EXPECT_TRUE(EventsManualErrorDialog);
    EXPECT_TRUE(EventsManualStartBalloon);
    EXPECT_TRUE(EventsManualErrorSound);
    EXPECT_EQ(EventsManualErrorSoundFile, "/usr/share/sounds/error.wav");
    EXPECT_TRUE(EventsScheduledFinishDialog); // the mode shown at OK
    EXPECT_FALSE(EventsSilentErrorDialog);
    // And the dialog shows them again.
    run([](TPrefsForm *f) {
        EXPECT_EQ(modes(f)->currentIndex(), 0);
        EXPECT_TRUE(box(f, "TaskEventsFinishCheckBoxDialog")->isChecked());
        modes(f)->setCurrentIndex(1);
        EXPECT_TRUE(box(f, "TaskEventsErrorCheckBoxDialog")->isChecked());
        EXPECT_EQ(qvtest::child<QLineEdit>(f, "TaskEventsErrorEditSound")->text(), "/usr/share/sounds/error.wav");
    });
}

TEST_F(PrefsEvents, SendEmailToTakesTheStoredRecipient)
{
    EmailTo = "ops@example.org";
    run([](TPrefsForm *f) {
        auto *error = qvtest::child<QLineEdit>(f, "TaskEventsErrorEmailEdit");
        auto *warning = qvtest::child<QLineEdit>(f, "TaskEventsWarningEmailEdit");
        warning->setText("me@example.org");
        box(f, "TaskEventsErrorEmailUseCheckBox")->click();
        box(f, "TaskEventsWarningEmailUseCheckBox")->click();
        EXPECT_EQ(error->text(), "ops@example.org");
        EXPECT_EQ(warning->text(), "me@example.org");
    });
}

TEST_F(PrefsEvents, LinkOpensTheEmailPanel)
{
    run([](TPrefsForm *f) {
        f->TaskDefaultsTabSheet->selectNode(PrefsDefaultsPage::EventsNode);
        QLabel *link = qvtest::child<QLabel>(f, "TaskEventsFinishEmailSettingsLabel");
        ASSERT_NE(link, nullptr);
        QTest::mouseClick(link, Qt::LeftButton);
        EXPECT_EQ(f->TaskDefaultsTabSheet->selectedNode(), PrefsDefaultsPage::EmailNode);
        EXPECT_TRUE(f->TaskDefaultsTabSheet->panel(PrefsDefaultsPage::EmailNode)->isVisibleTo(f));
    });
}

TEST_F(PrefsEvents, EventTestMailUsesTheStoredSettings)
{
    qvtest::ScriptedSmtpServer server("220 mail.test ESMTP",
                                      {"250 mail.test", "250 reset", "250 sender ok", "250 ok", "354 go ahead",
                                       "250 queued"});
    EmailSmtpServer = "127.0.0.1";
    EmailSmtpServerPort = server.port();
    EmailFrom = "stored@example.org";
    EmailSubject = "Stored subject";
    MessageBoxSeam::presetAnswers({});
    run([](TPrefsForm *f) {
        modes(f)->setCurrentIndex(1);
        box(f, "TaskEventsErrorEmailUseCheckBox")->click();
        qvtest::child<QLineEdit>(f, "TaskEventsErrorEmailEdit")->setText("typed@example.org");
        qvtest::child<QPushButton>(f, "TaskEventsErrorEmailTestButton")->click();
    });
    const std::vector<std::string> lines = server.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "MAIL FROM:<stored@example.org>"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "RCPT TO:<typed@example.org>"), lines.end());
    EXPECT_NE(server.message().find("Stored subject"), std::string::npos);
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].flags & 0xF0u, unsigned(MB_ICONINFORMATION));
}
