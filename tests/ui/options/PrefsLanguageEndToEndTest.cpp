// The interface language chosen in the options dialog, through the main window's command: the
// dialog opened again is translated at once, the main window only after a restart.
// qv-test-labels: gui
#include "ui/MainFormCommandFixture.h"

#include "core/text/Language.h"
#include "ui/options/PrefsForm.h"
#include "ui/PasswordForm.h"
#include "ui/taskprops/ProjectPropertiesForm.h"
#include "ui/options/PrefsLanguagePage.h"
#include "ui/options/PrefsLogDisplayPage.h"
#include "ui/ActivityLogView.h"

#include "support/DialogTestSupport.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace {

// Acts on the modal dialog named `name` once it is open (checked every 10 ms, at most 5 s).
struct WhenModal {
    bool ran = false;
    QTimer timer;
    WhenModal(const QString &name, std::function<void(QDialog *)> act)
    {
        int tries = 0;
        QObject::connect(&timer, &QTimer::timeout, [this, name, act, tries]() mutable {
            auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (d != nullptr && d->objectName() == name) {
                timer.stop();
                ran = true;
                act(d);
            } else if (++tries > 500) {
                timer.stop();
            }
        });
        timer.start(10);
    }
};

class PrefsLanguageEndToEnd : public qvtest::MainFormCommandFixture
{
protected:
    void SetUp() override
    {
        qv::SetLanguageFile(nullptr);
        qv::ResetPreferencesMemory();
        langDir = qgetenv("XDG_DATA_HOME").toStdString() + "/quorvellant/lang";
        QDir(QString::fromStdString(langDir)).removeRecursively();
        QDir().mkpath(QString::fromStdString(langDir));
        MainFormCommandFixture::SetUp();
        makeRealForm();
    }
    void TearDown() override
    {
        MainFormCommandFixture::TearDown();
        qv::SetLanguageFile(nullptr);
    }
    // The window as the program builds it: the real options dialog behind its commands.
    void makeRealForm()
    {
        form.reset();
        TMainFormServices s;
        s.tray = std::make_unique<qv::FakeTrayService>();
        s.hotKeys = &hotKeys;
        s.sessionEvents = &session;
        s.exitDrainMs = 10000;
        s.hardExit = [] {};
        s.dialogs = dialogs.make();
        qv::installPreferencesDialog(s.dialogs);
        if (realTaskDialog) {
            qv::installTaskPropertiesDialog(s.dialogs);
        }
        form = std::make_unique<qv::TMainForm>(data.get(), std::move(s));
    }
    // What a program start does with the saved settings.
    void restart()
    {
        form.reset();
        qv::SetLanguageFile(nullptr);
        qv::ResetSettingsToDefaults();
        qv::LoadSettings();
        if (!qv::Language.empty()) {
            qv::SetLanguageFile(qv::LoadLanguageFile(qv::Language));
        }
        makeRealForm();
    }
    // Runs a main-window command that opens the options dialog, choosing `caption` and pressing OK.
    void chooseLanguage(const QString &caption)
    {
        qvtest::NextModal next([&](QDialog *d) {
            auto *f = qobject_cast<qv::TPrefsForm *>(d);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->MainPageControl->currentIndex(), qv::TPrefsForm::LanguagePage);
            auto found = f->LanguageTabSheet->LanguageListView->findItems(caption, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1);
            f->LanguageTabSheet->LanguageListView->setCurrentItem(found.first());
            f->OkButton->click();
        });
        act("actOptionsInterfaceLanguage")->trigger();
        EXPECT_TRUE(next.ran);
    }
    QString optionsCaption()
    {
        QString title;
        qvtest::NextModal next([&](QDialog *d) {
            title = d->windowTitle();
            d->reject();
        });
        act("actOptionsPreferences")->trigger();
        EXPECT_TRUE(next.ran);
        return title;
    }
    QString taskMenuTitle() const
    {
        auto *menu = form->findChild<QMenu *>(QStringLiteral("mnuTask"));
        return menu == nullptr ? QString() : menu->title();
    }
    std::string langDir;
    bool realTaskDialog = false;
};

} // namespace

TEST_F(PrefsLanguageEndToEnd, ChosenLanguageTranslatesNewWindowsAndTheMainWindowAfterRestart)
{
    qvtest::writeFile(langDir + "/Testsprache.lng",
                      "[MainForm]\nMainForm.Caption=Quorvellant Testsprache\nMainForm.mnuTask.Caption=&Aufgabe\n"
                      "[PrefsForm]\nPrefsForm.Caption=Quorvellant Einstellungen\n");
    const QString title = form->windowTitle();
    const QString menu = taskMenuTitle();
    ASSERT_EQ(title, "Quorvellant");
    ASSERT_FALSE(menu.isEmpty());
    EXPECT_EQ(optionsCaption(), "Quorvellant Preferences");

    chooseLanguage("Testsprache");
    EXPECT_EQ(qv::Language, "Testsprache.lng");
    EXPECT_EQ(optionsCaption(), "Quorvellant Einstellungen");
    // The open main window keeps its texts.
    EXPECT_EQ(form->windowTitle(), title);
    EXPECT_EQ(taskMenuTitle(), menu);

    // The command saved the settings: a restart comes up translated.
    restart();
    EXPECT_EQ(qv::Language, "Testsprache.lng");
    EXPECT_EQ(form->windowTitle(), "Quorvellant Testsprache");
    EXPECT_EQ(taskMenuTitle(), "&Aufgabe");

    chooseLanguage("English (Default)");
    EXPECT_EQ(qv::Language, "");
    EXPECT_EQ(optionsCaption(), "Quorvellant Preferences");
    restart();
    EXPECT_EQ(form->windowTitle(), "Quorvellant");
    EXPECT_EQ(taskMenuTitle(), menu);
}

TEST_F(PrefsLanguageEndToEnd, ALanguageSwitchChangesTextsNotStoredSettings)
{
    qvtest::writeFile(langDir + "/Testsprache.lng",
                      "[Misc]\nstrRasNoneSelected=\xC3\x84\xC3\x96 [none]\nstrAllTasks=Alle Aufgaben\n");
    // The status bar counts the tasks of the group shown, whose caption changes with the language.
    auto statusCount = [this] {
        for (QLabel *label : form->statusBar()->findChildren<QLabel *>()) {
            if (label->text().endsWith(QLatin1String("Task(s)"))) {
                return label->text();
            }
        }
        return QString();
    };
    ASSERT_EQ(statusCount(), "4 Task(s)");
    for (const char *caption : {"Testsprache", "English (Default)", "Testsprache"}) {
        SCOPED_TRACE(caption);
        chooseLanguage(QString::fromUtf8(caption));
        EXPECT_EQ(statusCount(), "4 Task(s)");
        // What the store holds, as the next start reads it.
        restart();
        EXPECT_EQ(qv::DialEntry, "") << "no connection, whatever the language it was shown in";
    }
}

TEST_F(PrefsLanguageEndToEnd, LogViewTakesNewColoursAndFontAtOk)
{
    auto *view = form->findChild<qv::ActivityLogView *>();
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->logModel()->logFont().pointSize(), 17);
    qvtest::NextModal next([&](QDialog *d) {
        auto *f = qobject_cast<qv::TPrefsForm *>(d);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->MainPageControl->currentIndex(), qv::TPrefsForm::LogDisplayPage);
        f->LogDisplayTabSheet->LogDisplayFontSizeLabel->setText("17");
        f->OkButton->click();
    });
    act("actOptionsLogDisplay")->trigger();
    ASSERT_TRUE(next.ran);
    EXPECT_EQ(qv::LogFontSize, 17);
    EXPECT_EQ(view->logModel()->logFont().pointSize(), 17);
}

TEST_F(PrefsLanguageEndToEnd, DefaultPasswordIsAskedForByATaskThatUsesIt)
{
    realTaskDialog = true;
    makeRealForm();
    qvtest::NextModal options([&](QDialog *d) {
        auto *f = qobject_cast<qv::TPrefsForm *>(d);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->MainPageControl->currentIndex(), qv::TPrefsForm::TaskDefaultsPage);
        qvtest::child<QCheckBox>(f, "TaskPasswordChangeCheckBox")->click();
        qvtest::child<QLineEdit>(f, "TaskPasswordNewEdit")->setText("s3cret");
        qvtest::child<QLineEdit>(f, "TaskPasswordConfirmEdit")->setText("s3cret");
        f->OkButton->click();
    });
    act("actOptionsTasksDefaults")->trigger();
    ASSERT_TRUE(options.ran);
    EXPECT_EQ(qv::Password, "s3cret");
    ASSERT_TRUE(taskNamed("Reports")->Protection.UseDefault);

    qv::MessageBoxSeam::presetAnswers({});
    for (const char *typed : {"wrong", "s3cret"}) {
        ASSERT_TRUE(selectByName("Reports"));
        WhenModal ask(QStringLiteral("PasswordForm"), [&](QDialog *d) {
            qvtest::child<QLineEdit>(d, "PasswordEdit")->setText(QString::fromLatin1(typed));
            d->accept();
        });
        WhenModal properties(QStringLiteral("ProjectPropertiesForm"), [](QDialog *p) { p->reject(); });
        act("actTaskProperties")->trigger();
        EXPECT_TRUE(ask.ran) << typed;
        // Only the right password opens the task's properties.
        EXPECT_EQ(properties.ran, std::string(typed) == "s3cret") << typed;
    }
    ASSERT_EQ(qv::MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(qv::MessageBoxSeam::shown()[0].text, "Invalid password.");
}
