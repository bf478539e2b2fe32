// The options dialog's task defaults: the group panels over the "\Tasks Defaults" values, the
// default password's rules, the normalisations a stored value goes through, and the e-mail panel's
// own test message.
// qv-test-labels: gui
#include "components/MessageBox.h"
#include "components/RangedField.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "ui/options/PrefsDefaultsPage.h"
#include "ui/options/PrefsForm.h"

#include "support/DialogTestSupport.h"
#include "support/ScriptedSmtpServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <algorithm>

using namespace qv;
using qvtest::NextModal;

namespace {

class PrefsDefaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettingsToDefaults();
        ResetPreferencesMemory();
        MessageBoxSeam::clear();
        MessageBoxSeam::presetAnswers({});
        TSafeRegistry().DeleteKey(RegKeyRoot);
    }
    void TearDown() override { MessageBoxSeam::clear(); }
    // Opens the dialog on the defaults page; `act` may press OK itself. Returns whether the dialog
    // was still open after `act` (then it is cancelled) and ShowPreferences' result.
    std::pair<bool, bool> run(const std::function<void(TPrefsForm *)> &act)
    {
        bool stillOpen = false;
        NextModal next([&](QDialog *d) {
            auto *form = qobject_cast<TPrefsForm *>(d);
            ASSERT_NE(form, nullptr);
            act(form);
            stillOpen = form->isVisible();
            if (stillOpen) {
                form->reject();
            }
        });
        const bool ok = ShowPreferences(TPrefsForm::TaskDefaultsPage, nullptr);
        EXPECT_TRUE(next.ran);
        return {stillOpen, ok};
    }
    template <class W> static W *c(TPrefsForm *f, const char *name) { return qvtest::child<W>(f, name); }
    static void type(TPrefsForm *f, const char *name, const char *text)
    {
        auto *e = c<QLineEdit>(f, name);
        e->setText(QString::fromUtf8(text));
        e->setModified(true);
    }
};

} // namespace

TEST_F(PrefsDefaults, NoPasswordYetIsSetWithItsPhrase)
{
    auto [open, ok] = run([](TPrefsForm *f) {
        EXPECT_TRUE(c<QCheckBox>(f, "TaskPasswordChangeCheckBox")->isEnabled());
        EXPECT_FALSE(c<QLineEdit>(f, "TaskPasswordNewEdit")->isEnabled());
        c<QCheckBox>(f, "TaskPasswordChangeCheckBox")->click();
        EXPECT_TRUE(c<QLineEdit>(f, "TaskPasswordNewEdit")->isEnabled());
        type(f, "TaskPasswordNewEdit", "s3cret");
        type(f, "TaskPasswordConfirmEdit", "s3cret");
        type(f, "TaskPasswordReminderEdit", "the usual");
        f->OkButton->click();
    });
    EXPECT_FALSE(open);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Password, "s3cret");
    EXPECT_EQ(PasswordReminder, "the usual");
    EXPECT_TRUE(MessageBoxSeam::shown().empty());
}

TEST_F(PrefsDefaults, WrongCurrentPasswordChangesNothing)
{
    Password = "Secret";
    PasswordReminder = "hint";
    auto [open, ok] = run([](TPrefsForm *f) {
        EXPECT_FALSE(c<QCheckBox>(f, "TaskPasswordChangeCheckBox")->isEnabled());
        type(f, "TaskPasswordCurrentEdit", "secret"); // case counts
        EXPECT_FALSE(c<QCheckBox>(f, "TaskPasswordChangeCheckBox")->isEnabled());
        c<QCheckBox>(f, "TaskPasswordChangeCheckBox")->setChecked(true);
        type(f, "TaskPasswordNewEdit", "other");
        type(f, "TaskPasswordConfirmEdit", "other");
        f->OkButton->click();
    });
    EXPECT_FALSE(open);
    EXPECT_EQ(Password, "Secret");
    EXPECT_EQ(PasswordReminder, "hint");
}

TEST_F(PrefsDefaults, MismatchKeepsTheDialogOpenUntilTheBoxIsUnchecked)
{
    Password = "Secret";
    auto [open, ok] = run([](TPrefsForm *f) {
        f->MainPageControl->setCurrentIndex(TPrefsForm::StartupPage);
        type(f, "TaskPasswordCurrentEdit", "Secret");
        c<QCheckBox>(f, "TaskPasswordChangeCheckBox")->click();
        type(f, "TaskPasswordNewEdit", "one");
        type(f, "TaskPasswordConfirmEdit", "two");
        f->OkButton->click();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->MainPageControl->currentIndex(), TPrefsForm::TaskDefaultsPage);
        EXPECT_EQ(f->TaskDefaultsTabSheet->selectedNode(), PrefsDefaultsPage::PasswordNode);
        ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
        EXPECT_EQ(MessageBoxSeam::shown()[0].text.toStdString(),
                  "The two \"Tasks Protection\" passwords entries do not match. Please reenter passwords.");
        EXPECT_EQ(MessageBoxSeam::shown()[0].title, "Error");
        c<QCheckBox>(f, "TaskPasswordChangeCheckBox")->click(); // unchecked
        f->OkButton->click();
    });
    EXPECT_FALSE(open);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Password, "Secret");
}

TEST_F(PrefsDefaults, EmptyPhraseClearsTheReminder)
{
    Password = "Secret";
    PasswordReminder = "old hint";
    run([](TPrefsForm *f) {
        type(f, "TaskPasswordCurrentEdit", "Secret");
        c<QCheckBox>(f, "TaskPasswordChangeCheckBox")->click();
        type(f, "TaskPasswordNewEdit", "Newer");
        type(f, "TaskPasswordConfirmEdit", "Newer");
        EXPECT_EQ(c<QLineEdit>(f, "TaskPasswordReminderEdit")->text(), "");
        f->OkButton->click();
    });
    EXPECT_EQ(Password, "Newer");
    EXPECT_EQ(PasswordReminder, "");
}

TEST_F(PrefsDefaults, StoredValuesGoThroughTheirNormalisations)
{
    struct Row {
        std::uint8_t cpu;
        const char *battery;
        const char *measure;
        std::uint8_t cpuAfter;
        const char *batteryAfter;
        const char *measureAfter;
        bool noUnit;
    } rows[] = {
        {9, "X", "Bytes", 0, "C", "Bytes", true},
        {3, "A", "KBits", 3, "A", "KBits", false},
        {6, "S", "MBits", 6, "S", "MBits", false},
        {0, "", "", 0, "C", "", true},
    };
    for (const Row &r : rows) {
        CpuPerformance = r.cpu;
        PowerBatteryMode = r.battery;
        BandwidthMeasure = r.measure;
        run([&](TPrefsForm *f) {
            int checkedRadios = 0;
            for (QRadioButton *b : f->TaskDefaultsTabSheet->panel(PrefsDefaultsPage::PerformanceNode)
                                       ->findChildren<QRadioButton *>()) {
                checkedRadios += b->isChecked() ? 1 : 0;
            }
            EXPECT_EQ(checkedRadios, r.cpu > 6 ? 0 : 1) << int(r.cpu);
            EXPECT_EQ(c<QComboBox>(f, "TaskBandwidthMeasureComboBox")->currentIndex() < 0, r.noUnit) << r.measure;
            f->OkButton->click();
        });
        EXPECT_EQ(CpuPerformance, r.cpuAfter) << int(r.cpu);
        EXPECT_EQ(PowerBatteryMode, r.batteryAfter) << r.battery;
        EXPECT_EQ(BandwidthMeasure, r.measureAfter) << r.measure;
    }
}

TEST_F(PrefsDefaults, WideStoredNumbersSurviveOk)
{
    BandwidthValue = 40000;
    LogMaxSize = 40000;
    EmailSmtpServerPort = 50000;
    auto [open, ok] = run([](TPrefsForm *f) { f->OkButton->click(); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(BandwidthValue, 40000);
    EXPECT_EQ(LogMaxSize, 40000);
    EXPECT_EQ(EmailSmtpServerPort, 50000);
}

TEST_F(PrefsDefaults, GroupValuesRoundTripAndCancelKeepsThem)
{
    run([](TPrefsForm *f) {
        c<QCheckBox>(f, "TaskRunBeforeCheckBox")->setChecked(true);
        type(f, "TaskRunBeforeEdit", "/usr/bin/true");
        c<QCheckBox>(f, "TaskLogEnabledCheckBox")->setChecked(false);
        type(f, "EmailSMTPServerEdit", "mail.example.org");
        type(f, "EmailToEdit", "ops@example.org");
        f->CancelButton->click();
    });
    EXPECT_FALSE(RunBefore);
    EXPECT_EQ(EmailSmtpServer, "");
    run([](TPrefsForm *f) {
        c<QCheckBox>(f, "TaskRunBeforeCheckBox")->setChecked(true);
        type(f, "TaskRunBeforeEdit", "/usr/bin/true");
        c<QCheckBox>(f, "TaskLogEnabledCheckBox")->setChecked(false);
        type(f, "EmailSMTPServerEdit", "mail.example.org");
        type(f, "EmailToEdit", "ops@example.org");
        f->OkButton->click();
    });
    EXPECT_TRUE(RunBefore);
    EXPECT_EQ(RunBeforeProgramName, "/usr/bin/true");
    EXPECT_FALSE(LogEnabled);
    EXPECT_EQ(EmailSmtpServer, "mail.example.org");
    EXPECT_EQ(EmailTo, "ops@example.org");
}

TEST_F(PrefsDefaults, EmailPanelTestsItsOwnEntries)
{
    qvtest::ScriptedSmtpServer server("220 mail.test ESMTP", {"250 mail.test", "250 reset", "250 sender ok",
                                                               "250 ok", "354 go ahead", "250 queued"});
    EmailSmtpServer = "stored.invalid";
    EmailFrom = "stored@example.org";
    run([&](TPrefsForm *f) {
        f->TaskDefaultsTabSheet->selectNode(PrefsDefaultsPage::EmailNode);
        type(f, "EmailSMTPServerEdit", "127.0.0.1");
        c<RangedField>(f, "EmailSMTPPortUpDown")->setValue(server.port());
        type(f, "EmailFromEdit", "panel@example.org");
        type(f, "EmailToEdit", "to@example.org");
        type(f, "EmailSubjectEdit", "Panel subject");
        c<QPushButton>(f, "EmailTestButton")->click();
        f->CancelButton->click();
    });
    const std::vector<std::string> lines = server.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "MAIL FROM:<panel@example.org>"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "RCPT TO:<to@example.org>"), lines.end());
    EXPECT_NE(server.message().find("Panel subject"), std::string::npos);
    EXPECT_EQ(EmailSmtpServer, "stored.invalid"); // the test stored nothing
}
