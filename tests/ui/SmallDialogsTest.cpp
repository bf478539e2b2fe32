// The small dialogs offscreen: group name and order, shortcut, about, advanced FTP, exit
// confirmation and the task password prompt; their rules from tables; translation; installation.
// qv-test-labels: gui
#include "ui/SmallDialogs.h"
#include "components/FolderPicker.h"
#include "components/MessageBox.h"
#include "components/RangedField.h"
#include "core/settings/Settings.h"
#include "core/runs/Task.h"
#include "core/task/TaskTypes.h"
#include "core/text/Language.h"
#include "core/util/Product.h"
#include "core/util/Utils.h"
#include "platform/fake/FakeDesktop.h"
#include "ui/AboutForm.h"
#include "ui/GroupPropForm.h"
#include "ui/GroupsOrderForm.h"
#include "ui/Help.h"
#include "ui/MainFormDialogs.h"
#include "ui/PasswordForm.h"
#include "ui/ShortcutForm.h"
#include "ui/ShutdownForm.h"
#include "ui/SmallDialogRules.h"
#include "ui/TaskFTPAdvForm.h"

#include "support/DesktopEntryParse.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "support/DialogTestSupport.h"

#include <gtest/gtest.h>

using namespace qv;

namespace {

using qvtest::NextModal;
using qvtest::child;

class SmallDialogs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettingsToDefaults();
        MessageBoxSeam::clear();
    }
    void TearDown() override
    {
        MessageBoxSeam::clear();
        SetLanguageFile(nullptr);
        setShortcutProgramPath({});
    }
};

// ---- rules --------------------------------------------------------------------------------------

TEST(SmallDialogRules, GroupOrderButtons)
{
    struct Case
    {
        int count, selected;
        GroupsOrderButtons expected;
    };
    const Case cases[] = {
        {0, -1, {false, false}}, {3, -1, {false, false}}, {1, 0, {false, false}}, {3, 0, {false, true}},
        {3, 1, {true, true}},    {3, 2, {true, false}},   {3, 3, {false, false}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(groupsOrderButtons(c.count, c.selected), c.expected) << c.count << " " << c.selected;
    }
}

TEST(SmallDialogRules, GroupNamesAndFtpEnablingAndVersionLine)
{
    for (const char *bad : {"", " ", "\t  "}) {
        EXPECT_FALSE(isValidGroupName(QString::fromLatin1(bad))) << "'" << bad << "'";
    }
    for (const char *good : {"Photos", " Work ", "1"}) {
        EXPECT_TRUE(isValidGroupName(QString::fromLatin1(good))) << good;
    }
    EXPECT_EQ(ftpAdvancedEnabling(false, false), (FtpAdvancedEnabling{false, false, false}));
    EXPECT_EQ(ftpAdvancedEnabling(false, true), (FtpAdvancedEnabling{false, false, false}));
    EXPECT_EQ(ftpAdvancedEnabling(true, false), (FtpAdvancedEnabling{true, true, false}));
    EXPECT_EQ(ftpAdvancedEnabling(true, true), (FtpAdvancedEnabling{true, true, true}));
    EXPECT_EQ(aboutVersionLine("2.1.0.417", "Build", "417"), "2.1.0.417 (Build: 417)");
}

TEST(SmallDialogRules, ShortcutArgumentsAndFolders)
{
    EXPECT_EQ(shortcutArguments("ID1", false), (std::vector<std::string>{"/RunProjectById=ID1"}));
    EXPECT_EQ(shortcutArguments("ID1", true),
              (std::vector<std::string>{"/RunProjectById=ID1", "/ExitWhenIdle"}));
    const std::string data = qgetenv("XDG_DATA_HOME").toStdString();
    const std::string config = qgetenv("XDG_CONFIG_HOME").toStdString();
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(shortcutFolder(spStartMenu, ""), data + "/applications");
    EXPECT_EQ(shortcutFolder(spPrograms, ""), data + "/applications");
    EXPECT_EQ(shortcutFolder(spAutoRun, ""), config + "/autostart");
    EXPECT_EQ(shortcutFolder(spDesktop, ""), QDir::homePath().toStdString() + "/Desktop");
    EXPECT_EQ(shortcutFolder(spOther, "  /srv/links  "), "/srv/links");
    EXPECT_EQ(shortcutFolder(spOther, "   "), "");
    EXPECT_TRUE(shortcutIsExecutable(spDesktop));
    EXPECT_FALSE(shortcutIsExecutable(spOther));
    EXPECT_TRUE(shortcutFolderIsCreated(spDesktop));
    EXPECT_FALSE(shortcutFolderIsCreated(spOther));
    EXPECT_TRUE(shortcutFolderIsCreated(spAutoRun));
}

// ---- group name and order -----------------------------------------------------------------------

TEST_F(SmallDialogs, GroupNameBlankIsRefusedAndTheDialogStaysOpen)
{
    const std::pair<const char *, bool> cases[] = {
        {"", false}, {"   ", false}, {"Photos", true}, {" Work", true}};
    for (const auto &[typed, accepted] : cases) {
        MessageBoxSeam::clear();
        QString name = QStringLiteral("Old");
        bool result = false;
        NextModal modal([&, typed = typed](QDialog *d) {
            child<QLineEdit>(d, "NameEdit")->setText(QString::fromLatin1(typed));
            child<QPushButton>(d, "OKButton")->click();
            EXPECT_EQ(d->isVisible(), !accepted) << typed;
            if (d->isVisible()) {
                d->reject();
            }
        });
        result = ShowGroupProperties(nullptr, name);
        EXPECT_TRUE(modal.ran);
        EXPECT_EQ(result, accepted) << typed;
        EXPECT_EQ(name,
                  accepted ? QString::fromLatin1(typed) : QStringLiteral("Old")); // as typed, not trimmed
        EXPECT_EQ(MessageBoxSeam::shown().size(), accepted ? 0u : 1u) << typed;
    }
}

TEST_F(SmallDialogs, GroupOrderEnablingAndMoves)
{
    GroupsOrderForm form;
    form.setGroups({"A", "B", "C"});
    EXPECT_FALSE(form.moveUpButton()->isEnabled());
    EXPECT_FALSE(form.moveDownButton()->isEnabled());
    form.groupsListBox()->setCurrentRow(0);
    EXPECT_FALSE(form.moveUpButton()->isEnabled());
    EXPECT_TRUE(form.moveDownButton()->isEnabled());
    form.moveDownButton()->click();
    EXPECT_EQ(form.groups(), (QStringList{"B", "A", "C"}));
    EXPECT_EQ(form.groupsListBox()->currentRow(), 1);
    EXPECT_TRUE(form.moveUpButton()->isEnabled());
    form.moveDownButton()->click();
    EXPECT_EQ(form.groups(), (QStringList{"B", "C", "A"}));
    EXPECT_FALSE(form.moveDownButton()->isEnabled());
    form.moveUpButton()->click();
    form.moveUpButton()->click();
    EXPECT_EQ(form.groups(), (QStringList{"A", "B", "C"}));
    EXPECT_FALSE(form.moveUpButton()->isEnabled());

    QStringList groups{"X", "Y"};
    NextModal modal([](QDialog *d) {
        child<QListWidget>(d, "GroupsListBox")->setCurrentRow(1);
        child<QPushButton>(d, "MoveUpButton")->click();
        child<QPushButton>(d, "OKButton")->click();
    });
    EXPECT_TRUE(ShowGroupsOrder(nullptr, groups));
    EXPECT_EQ(groups, (QStringList{"Y", "X"}));
    NextModal cancel([](QDialog *d) {
        child<QListWidget>(d, "GroupsListBox")->setCurrentRow(1);
        child<QPushButton>(d, "MoveUpButton")->click();
        child<QPushButton>(d, "CancelButton")->click();
    });
    EXPECT_FALSE(ShowGroupsOrder(nullptr, groups));
    EXPECT_EQ(groups, (QStringList{"Y", "X"}));
}

// ---- shortcut -----------------------------------------------------------------------------------

TEST_F(SmallDialogs, ShortcutFormStartsWithTheTaskAndEnablesTheOtherFolder)
{
    TTask task;
    task.Name = "Photos";
    task.ID = "AbCdEfGhIjKlMnOpQrStU";
    ShortcutForm form;
    form.setTask(task);
    EXPECT_EQ(form.EditShortcutName->text(), "Start Photos");
    EXPECT_TRUE(form.RadioButtonDesktop->isChecked());
    EXPECT_FALSE(form.EditOtherFolder->isEnabled());
    EXPECT_FALSE(form.BrowseOtherFolderButton->isEnabled());
    form.RadioButtonOther->setChecked(true);
    EXPECT_TRUE(form.EditOtherFolder->isEnabled());
    EXPECT_TRUE(form.BrowseOtherFolderButton->isEnabled());
    FakeFolderPicker picker;
    picker.answers = {QStringLiteral("/srv/chosen"), std::nullopt};
    form.EditOtherFolder->setText("/start/here");
    form.BrowseOtherFolderButton->click();
    EXPECT_EQ(form.EditOtherFolder->text(), "/srv/chosen");
    form.BrowseOtherFolderButton->click(); // cancelled: the edit keeps its text
    EXPECT_EQ(form.EditOtherFolder->text(), "/srv/chosen");
    EXPECT_EQ(picker.requests, (std::vector<QString>{"/start/here", "/srv/chosen"}));
    EXPECT_EQ(form.place(), spOther);
    form.RadioButtonAutoRun->setChecked(true);
    EXPECT_EQ(form.place(), spAutoRun);
    EXPECT_FALSE(form.EditOtherFolder->isEnabled());
    form.CheckBoxShutdown->setChecked(true);
    EXPECT_EQ(form.arguments(),
              (std::vector<std::string>{"/RunProjectById=AbCdEfGhIjKlMnOpQrStU", "/ExitWhenIdle"}));
}

TEST_F(SmallDialogs, ShortcutOnePerPlaceReadsBackAndValidates)
{
    const std::string program = qvtest::makeTempDir("prog dir") + "/quor vellant";
    setShortcutProgramPath(program);
    ASSERT_TRUE(QDir().mkpath(QDir::homePath() + "/Desktop"));
    const std::string other = qvtest::makeTempDir("other");
    TTask task;
    task.Name = "Backup 1.2";
    task.ID = "AbCdEfGhIjKlMnOpQrStU";
    for (int place : {spDesktop, spStartMenu, spAutoRun, spPrograms, spOther}) {
        SCOPED_TRACE(place);
        ShortcutForm form;
        form.setTask(task);
        form.findChildren<QRadioButton *>()[place]->setChecked(true);
        form.EditOtherFolder->setText(QString::fromStdString(other));
        form.CheckBoxShutdown->setChecked(true);
        MessageBoxSeam::presetAnswers({IDYES}); // start and programs menus share a folder: replace
        form.accept();
        EXPECT_EQ(form.result(), QDialog::Accepted);
        const std::string path = form.createdPath();
        EXPECT_EQ(path, shortcutFolder(place, other) + "/Start Backup 1.2.desktop");
        EXPECT_EQ(
            qvtest::parseExec(qvtest::execValue(path)),
            (std::vector<std::string>{program, "/RunProjectById=AbCdEfGhIjKlMnOpQrStU", "/ExitWhenIdle"}));
        EXPECT_EQ(QFileInfo(QString::fromStdString(path)).isExecutable(), place == spDesktop);
        if (qvtest::haveTool("desktop-file-validate")) {
            const qvtest::CommandResult r = qvtest::runCommand({"desktop-file-validate", path});
            EXPECT_EQ(r.exitCode, 0) << r.output;
        }
    }
    QV_REQUIRE_TOOL("desktop-file-validate"); // the validation above needed it
}

// The desktop is the folder xdg-user-dir names (a localised one here), made when it is missing.
TEST_F(SmallDialogs, DesktopShortcutGoesToTheUserDesktopFolderAndCreatesIt)
{
    const std::string dirs = qgetenv("XDG_CONFIG_HOME").toStdString() + "/user-dirs.dirs";
    const std::string desktop = QDir::homePath().toStdString() + "/Schreib tisch";
    qvtest::writeFile(dirs, "XDG_DESKTOP_DIR=\"$HOME/Schreib tisch\"\n");
    QDir(QString::fromStdString(desktop)).removeRecursively();
    std::string peer;
    if (qvtest::haveTool("xdg-user-dir")) {
        peer = qvtest::runCommand({"xdg-user-dir", "DESKTOP"}).output;
    }
    setShortcutProgramPath("/usr/bin/quorvellant");
    std::string path, error;
    try {
        path = CreateShortcut("Start Docs", {"/RunProjectById=ID"}, spDesktop, "");
    } catch (const std::exception &e) {
        error = e.what();
    }
    std::remove(dirs.c_str());
    EXPECT_EQ(error, "");
    EXPECT_EQ(path, desktop + "/Start Docs.desktop");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(path)).isExecutable());
    QV_REQUIRE_TOOL("xdg-user-dir");
    EXPECT_EQ(peer, desktop + "\n");
}

TEST_F(SmallDialogs, ShortcutFailuresKeepTheDialogOpenAndReplaceOnlyAfterYes)
{
    setShortcutProgramPath("/usr/bin/quorvellant");
    TTask task;
    task.Name = "Docs";
    task.ID = "ID";
    ShortcutForm form;
    form.setTask(task);
    form.RadioButtonOther->setChecked(true);
    form.setResult(0);
    // No folder given, then a missing folder: an error box each, nothing accepted.
    const std::pair<QString, const char *> failures[] = {
        {"", "no folder"},
        {QString::fromStdString(qvtest::testHome()) + "/missing", "No such file or directory"}};
    for (const auto &[folder, reason] : failures) {
        MessageBoxSeam::clear();
        form.EditOtherFolder->setText(folder);
        form.accept();
        EXPECT_EQ(form.result(), 0);
        ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
        EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains(QString::fromLatin1(reason)))
            << MessageBoxSeam::shown()[0].text.toStdString();
        EXPECT_EQ(MessageBoxSeam::shown()[0].flags & 0xF0u, unsigned(MB_ICONERROR));
    }
    // Another program's entry of that name: No keeps it and the dialog open, Yes replaces it.
    const std::string folder = qvtest::makeTempDir("other");
    const std::string existing = folder + "/Start Docs.desktop";
    qvtest::writeFile(existing, "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n");
    form.EditOtherFolder->setText(QString::fromStdString(folder));
    MessageBoxSeam::clear();
    MessageBoxSeam::presetAnswers({IDNO});
    form.accept();
    EXPECT_EQ(form.result(), 0);
    EXPECT_EQ(qvtest::execValue(existing), "other");
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].flags, unsigned(MB_YESNO | MB_ICONWARNING));
    MessageBoxSeam::presetAnswers({IDYES});
    form.accept();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(qvtest::parseExec(qvtest::execValue(existing)),
              (std::vector<std::string>{"/usr/bin/quorvellant", "/RunProjectById=ID"}));
}

// ---- about --------------------------------------------------------------------------------------

TEST_F(SmallDialogs, AboutShowsNameVersionWithBuildAndOpensItsLinks)
{
    FakeDesktop desktop;
    AboutForm form;
    ReadVersionInfo();
    EXPECT_EQ(form.LabelProgramName->text().toStdString(), VersionProductName);
    EXPECT_EQ(form.LabelProgramVersion->text().toStdString(),
              VersionProductVersion + " (Build: " + VersionBuildOf(VersionFileVersion) + ")");
    EXPECT_EQ(form.LabelProgramDescription->text().toStdString(), VersionFileDescription);
    form.show();
    QTest::mouseClick(form.LabelUrl, Qt::LeftButton);
    QTest::mouseClick(form.LabelEmail, Qt::LeftButton);
    EXPECT_EQ(desktop.opened,
              (std::vector<std::string>{kProjectUrl, std::string("mailto:") + kSupportEmail}));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(form.LabelUrl, &enter);
    EXPECT_TRUE(form.LabelUrl->font().underline());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form.LabelUrl, &leave);
    EXPECT_FALSE(form.LabelUrl->font().underline());
}

// ---- advanced FTP -------------------------------------------------------------------------------

TEST_F(SmallDialogs, FtpEnablingFollowsTheCheckBoxes)
{
    TaskFTPAdvForm form;
    TFtpServerConnection c;
    form.load(c);
    EXPECT_FALSE(form.ProxyAddressEdit->isEnabled());
    EXPECT_FALSE(form.ProxyPortEdit->isEnabled());
    EXPECT_FALSE(form.ProxyAuthUseCheckBox->isEnabled());
    EXPECT_FALSE(form.ProxyAuthLoginEdit->isEnabled());
    form.ProxyUseCheckBox->click();
    EXPECT_TRUE(form.ProxyAddressEdit->isEnabled());
    EXPECT_TRUE(form.ProxyPortLabel->isEnabled());
    EXPECT_TRUE(form.ProxyAuthUseCheckBox->isEnabled());
    EXPECT_FALSE(form.ProxyAuthPasswordEdit->isEnabled());
    form.ProxyAuthUseCheckBox->click();
    EXPECT_TRUE(form.ProxyAuthPasswordEdit->isEnabled());
    EXPECT_TRUE(form.ProxyAuthLoginLabel->isEnabled());
    form.ProxyUseCheckBox->click();
    EXPECT_FALSE(form.ProxyAuthPasswordEdit->isEnabled());
    EXPECT_FALSE(form.ProxyAuthUseCheckBox->isEnabled());
}

TEST_F(SmallDialogs, FtpCancelLeavesTheRecordAndOkKeepsAStored8080)
{
    TFtpServerConnection stored;
    stored.ProxyUse = true;
    stored.ProxyAddress = "proxy.example";
    stored.ProxyPort = 8080;
    stored.ProxyAuthUse = true;
    stored.ProxyAuthLogin = "ann";
    stored.ProxyAuthPassword = "secret";
    stored.ReconnectRetries = 40000; // above the field's range: shown as 32767, kept unless edited
    TFtpServerConnection c = stored;
    NextModal cancel([](QDialog *d) {
        child<QLineEdit>(d, "ProxyAddressEdit")->setText("changed");
        child<QPushButton>(d, "CancelButton")->click();
    });
    EXPECT_FALSE(ShowFtpAdvancedSettings(nullptr, c));
    EXPECT_EQ(c, stored);
    NextModal ok([](QDialog *d) {
        EXPECT_EQ(child<RangedField>(d, "ProxyPortEdit")->text(), "8080");
        EXPECT_EQ(child<RangedField>(d, "ReconnectRetriesEdit")->text(), "32767");
        child<QPushButton>(d, "OKButton")->click();
    });
    EXPECT_TRUE(ShowFtpAdvancedSettings(nullptr, c));
    EXPECT_EQ(c, stored);
    NextModal edit([](QDialog *d) {
        auto *retries = child<RangedField>(d, "TimeOutEdit");
        retries->selectAll();
        QTest::keyClicks(retries, "90");
        child<QCheckBox>(d, "ProxyAuthUseCheckBox")->click();
        child<QPushButton>(d, "OKButton")->click();
    });
    EXPECT_TRUE(ShowFtpAdvancedSettings(nullptr, c));
    EXPECT_EQ(c.TimeOut, 90);
    EXPECT_FALSE(c.ProxyAuthUse);
    EXPECT_EQ(c.ProxyPort, 8080);
    EXPECT_EQ(c.ReconnectRetries, 40000);
}

// ---- exit confirmation --------------------------------------------------------------------------

TEST_F(SmallDialogs, ConfirmExitAndDontShowAgain)
{
    StartupConfirmShutdown = true;
    NextModal no([](QDialog *d) {
        EXPECT_EQ(d->objectName(), "ShutdownForm");
        EXPECT_EQ(d->windowTitle(), "Quorvellant Shutdown");
        EXPECT_EQ(child<QCheckBox>(d, "DontShowAgainCheckBox")->text(), "Don't show this message again");
        EXPECT_FALSE(child<QCheckBox>(d, "DontShowAgainCheckBox")->isChecked());
        EXPECT_TRUE(child<QLabel>(d, "TextLabel")->text().contains("systemd user timers"));
        child<QPushButton>(d, "NoButton")->click();
    });
    EXPECT_FALSE(ConfirmExit(nullptr));
    EXPECT_TRUE(no.ran);
    EXPECT_TRUE(StartupConfirmShutdown);
    NextModal yes([](QDialog *d) { child<QPushButton>(d, "YesButton")->click(); });
    EXPECT_TRUE(ConfirmExit(nullptr));
    EXPECT_TRUE(StartupConfirmShutdown);
    NextModal dontAsk([](QDialog *d) {
        child<QCheckBox>(d, "DontShowAgainCheckBox")->setChecked(true);
        child<QPushButton>(d, "YesButton")->click();
    });
    EXPECT_TRUE(ConfirmExit(nullptr));
    EXPECT_FALSE(StartupConfirmShutdown);
    // The next exit asks nothing: no dialog may open.
    QTimer::singleShot(0, [] { EXPECT_EQ(QApplication::activeModalWidget(), nullptr); });
    EXPECT_TRUE(ConfirmExit(nullptr));
    QApplication::processEvents();
}

TEST_F(SmallDialogs, ConfirmExitWithoutADisplayAnswersYes)
{
    StartupConfirmShutdown = true;
    MessageBoxSeam::setHeadless(true);
    const bool result = ConfirmExit(nullptr);
    MessageBoxSeam::setHeadless(false);
    EXPECT_TRUE(result);
    EXPECT_TRUE(StartupConfirmShutdown);
}

// ---- task password ------------------------------------------------------------------------------

TEST_F(SmallDialogs, PasswordPromptTable)
{
    struct Case
    {
        const char *name;
        bool task;
        const char *password;
        const char *typed; // nullptr: Cancel
        bool expected;
        bool prompt;
        int errorBoxes;
    };
    const Case cases[] = {
        {"no task", false, "", nullptr, false, false, 0},
        {"no password", true, "", nullptr, true, false, 0},
        {"right", true, "Secret", "Secret", true, true, 0},
        {"wrong case", true, "Secret", "secret", false, true, 1},
        {"wrong", true, "Secret", "nope", false, true, 1},
        {"cancel", true, "Secret", nullptr, false, true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MessageBoxSeam::clear();
        TTask task;
        task.Protection = {false, c.password, "a hint"};
        bool prompted = false;
        QTimer::singleShot(0, [&] {
            auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (d == nullptr) {
                return;
            }
            prompted = true;
            EXPECT_EQ(d->objectName(), "PasswordForm");
            EXPECT_EQ(child<QLineEdit>(d, "PasswordEdit")->echoMode(), QLineEdit::Password);
            if (c.typed == nullptr) {
                child<QPushButton>(d, "CancelButton")->click();
            } else {
                QTest::keyClicks(child<QLineEdit>(d, "PasswordEdit"), c.typed);
                child<QPushButton>(d, "OKButton")->click();
            }
        });
        EXPECT_EQ(CheckTaskPassword(nullptr, c.task ? &task : nullptr), c.expected);
        QApplication::processEvents();
        EXPECT_EQ(prompted, c.prompt);
        ASSERT_EQ(MessageBoxSeam::shown().size(), std::size_t(c.errorBoxes));
        if (c.errorBoxes == 1) {
            EXPECT_EQ(MessageBoxSeam::shown()[0].text, "Invalid password.");
            EXPECT_EQ(MessageBoxSeam::shown()[0].title, "Error");
        }
    }
}

TEST_F(SmallDialogs, PasswordReminderButton)
{
    PasswordForm form;
    form.setReminder(QString());
    EXPECT_FALSE(form.ReminderButton->isEnabled());
    form.setReminder("The cat's name");
    ASSERT_TRUE(form.ReminderButton->isEnabled());
    form.ReminderButton->click();
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].text, "The cat's name");
    EXPECT_EQ(MessageBoxSeam::shown()[0].title, "Information");
}

// ---- translation and installation ---------------------------------------------------------------

TEST_F(SmallDialogs, EachDialogTranslatesItsCaptionAndAControl)
{
    SetLanguageFile(LanguageTable::parse("[GroupPropForm]\nGroupPropForm.Caption=Gruppe\n"
                                         "GroupPropForm.OKButton.Caption=Gut\n"
                                         "[GroupsOrderForm]\nGroupsOrderForm.Caption=Reihenfolge\n"
                                         "GroupsOrderForm.MoveUpButton.Caption=Hoch\n"
                                         "[ShortcutForm]\nShortcutForm.Caption=Verknüpfung\n"
                                         "ShortcutForm.RadioButtonDesktop.Caption=Schreibtisch\n"
                                         "[AboutForm]\nAboutForm.Caption=Über\n"
                                         "AboutForm.HelpButton.Caption=Hilfe\n"
                                         "[TaskFTPAdvForm]\nTaskFTPAdvForm.Caption=FTP erweitert\n"
                                         "TaskFTPAdvForm.ProxyUseCheckBox.Caption=Proxy benutzen\n"
                                         "[ShutdownForm]\nShutdownForm.Caption=Beenden\n"
                                         "ShutdownForm.DontShowAgainCheckBox.Caption=Nicht mehr fragen\n"
                                         "[PasswordForm]\nPasswordForm.Caption=Passwort\n"
                                         "PasswordForm.ReminderButton.Caption=Erinnerung\n"));
    const auto check = [](QWidget &form, const char *caption, const char *control, const char *text) {
        EXPECT_EQ(form.windowTitle(), QString::fromUtf8(caption));
        auto *w = form.findChild<QAbstractButton *>(QString::fromLatin1(control));
        ASSERT_NE(w, nullptr) << control;
        EXPECT_EQ(w->text(), QString::fromUtf8(text)) << control;
    };
    GroupPropForm group;
    check(group, "Gruppe", "OKButton", "Gut");
    GroupsOrderForm order;
    check(order, "Reihenfolge", "MoveUpButton", "Hoch");
    ShortcutForm shortcut;
    check(shortcut, "Verknüpfung", "RadioButtonDesktop", "Schreibtisch");
    AboutForm about;
    check(about, "Über", "HelpButton", "Hilfe");
    TaskFTPAdvForm ftp;
    check(ftp, "FTP erweitert", "ProxyUseCheckBox", "Proxy benutzen");
    ShutdownForm shutdown;
    check(shutdown, "Beenden", "DontShowAgainCheckBox", "Nicht mehr fragen");
    PasswordForm password;
    check(password, "Passwort", "ReminderButton", "Erinnerung");
}

TEST_F(SmallDialogs, HelpKeywordsFollowFromEveryControl)
{
    GroupPropForm group;
    GroupsOrderForm order;
    ShortcutForm shortcut;
    AboutForm about;
    PasswordForm password;
    const std::pair<QWidget *, const char *> cases[] = {
        {group.nameEdit(), "/files/taskgroups.html"},
        {order.groupsListBox(), "/files/taskgroups.html"},
        {shortcut.EditShortcutName, "/files/shortcut.html"},
        {about.LabelUrl, "/files/about.html"},
        {password.PasswordEdit, "/files/preferences.protection.html"},
    };
    for (const auto &[control, topic] : cases) {
        EXPECT_EQ(help::helpKeywordOf(control), QString::fromLatin1(topic))
            << control->objectName().toStdString();
        const QString page = help::topicPath(help::applicationHelpFile(), QString::fromLatin1(topic));
        EXPECT_FALSE(page.isEmpty()) << topic << " has no page";
    }
}

TEST_F(SmallDialogs, InstallFillsTheEntries)
{
    MainFormDialogs dialogs;
    EXPECT_FALSE(dialogs.hasGroupProperties() || dialogs.hasGroupsOrder() || dialogs.hasShortcutDialog() ||
                 dialogs.hasAbout() || dialogs.hasConfirmExit() || dialogs.hasCheckTaskPassword());
    installSmallDialogs(dialogs);
    EXPECT_TRUE(dialogs.hasGroupProperties() && dialogs.hasGroupsOrder() && dialogs.hasShortcutDialog() &&
                dialogs.hasAbout() && dialogs.hasConfirmExit() && dialogs.hasCheckTaskPassword());
    // The installed entry is the real prompt: a task without a password passes without a dialog.
    TTask task;
    EXPECT_TRUE(dialogs.checkTaskPassword(nullptr, task));
    task.Protection = {false, "x", ""};
    NextModal cancel([](QDialog *d) { d->reject(); });
    EXPECT_FALSE(dialogs.checkTaskPassword(nullptr, task));
    EXPECT_TRUE(cancel.ran);
}

} // namespace
