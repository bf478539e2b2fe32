// The options dialog offscreen: page memory, the language list, colours, tray, autostart, hot key,
// and every control name of its pages.
// qv-test-labels: gui
#include "components/AlphaImageList.h"
#include "components/TColorButton.h"
#include "components/TColorButtonPalette.h"
#include "components/MessageBox.h"
#include "components/TrayIcon.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "core/runs/BackupData.h"
#include "core/text/Language.h"
#include "core/util/Utils.h"
#include "platform/Autostart.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/gui/FakeTrayService.h"
#include "ui/ActivityLogModel.h"
#include "ui/Help.h"
#include "ui/HelpWindow.h"
#include "ui/options/PrefsDefaultsPage.h"
#include "ui/options/PrefsForm.h"
#include "ui/options/PrefsLanguagePage.h"
#include "ui/options/PrefsLogDisplayPage.h"
#include "ui/options/PrefsStartupPage.h"
#include "ui/taskprops/HotKeyEdit.h"

#include "support/DialogTestSupport.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

using namespace qv;
using qvtest::NextModal;

namespace {

std::string langDir()
{
    return qgetenv("XDG_DATA_HOME").toStdString() + "/quorvellant/lang";
}

class PrefsForm : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettingsToDefaults();
        ResetPreferencesMemory();
        SetLanguageFile(nullptr);
        MessageBoxSeam::clear();
        TSafeRegistry().DeleteKey(RegKeyRoot);
        QDir(QString::fromStdString(langDir())).removeRecursively();
        QDir().mkpath(QString::fromStdString(langDir()));
        const QString autostart = QString::fromStdString(Autostart::entryPath());
        QFile::remove(autostart);
        QDir().rmdir(QFileInfo(autostart).path());
        QFile::remove(QFileInfo(autostart).path());
        BackupData = nullptr;
    }
    void TearDown() override
    {
        SetLanguageFile(nullptr);
        MessageBoxSeam::clear();
        BackupData = nullptr;
    }
    void writeLanguage(const std::string &name, const std::string &text)
    {
        qvtest::writeFile(langDir() + "/" + name, text);
    }
    // Opens the dialog on `page`, runs `act` in it, returns ShowPreferences' result.
    bool run(int page, const std::function<void(TPrefsForm *)> &act, TTrayIcon *tray = nullptr)
    {
        NextModal next([&](QDialog *d) {
            auto *form = qobject_cast<TPrefsForm *>(d);
            if (form == nullptr) {
                ADD_FAILURE() << "the open dialog is not the options dialog";
                d->reject();
                return;
            }
            act(form);
            if (form->isVisible()) {
                form->reject();
            }
        });
        const bool ok = ShowPreferences(page, tray);
        EXPECT_TRUE(next.ran);
        return ok;
    }
    static void ok(TPrefsForm *f) { f->OkButton->click(); }
    static void cancel(TPrefsForm *f) { f->CancelButton->click(); }
    static QStringList captions(TPrefsForm *f)
    {
        QStringList out;
        for (int i = 0; i < f->LanguageTabSheet->LanguageListView->count(); ++i) {
            out << f->LanguageTabSheet->LanguageListView->item(i)->text();
        }
        return out;
    }
    static void selectLanguage(TPrefsForm *f, const QString &caption)
    {
        QListWidget *list = f->LanguageTabSheet->LanguageListView;
        const auto found = list->findItems(caption, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << caption.toStdString();
        list->setCurrentItem(found.first());
    }
};

} // namespace

TEST_F(PrefsForm, PageAndNodeAreRememberedOnlyByOk)
{
    int shown = -1;
    run(-1, [&](TPrefsForm *f) {
        shown = f->MainPageControl->currentIndex();
        f->MainPageControl->setCurrentIndex(TPrefsForm::LanguagePage);
        ok(f);
    });
    EXPECT_EQ(shown, TPrefsForm::StartupPage);
    run(-1, [&](TPrefsForm *f) {
        shown = f->MainPageControl->currentIndex();
        f->MainPageControl->setCurrentIndex(TPrefsForm::PerformancePage);
        cancel(f);
    });
    EXPECT_EQ(shown, TPrefsForm::LanguagePage);
    run(-1, [&](TPrefsForm *f) { shown = f->MainPageControl->currentIndex(); });
    EXPECT_EQ(shown, TPrefsForm::LanguagePage);
    // An explicit page opens that page and does not change the memory until OK.
    run(TPrefsForm::LogDisplayPage, [&](TPrefsForm *f) { shown = f->MainPageControl->currentIndex(); });
    EXPECT_EQ(shown, TPrefsForm::LogDisplayPage);
    EXPECT_EQ(rememberedPreferencesPage(), TPrefsForm::LanguagePage);

    // The tree node: OK on node 7 of the defaults page, then Cancel on node 2.
    int node = -1;
    run(TPrefsForm::TaskDefaultsPage, [&](TPrefsForm *f) {
        node = f->TaskDefaultsTabSheet->selectedNode();
        f->TaskDefaultsTabSheet->selectNode(PrefsDefaultsPage::PerformanceNode);
        ok(f);
    });
    EXPECT_EQ(node, 0);
    run(-1, [&](TPrefsForm *f) {
        shown = f->MainPageControl->currentIndex();
        node = f->TaskDefaultsTabSheet->selectedNode();
        f->TaskDefaultsTabSheet->selectNode(PrefsDefaultsPage::DialNode);
        cancel(f);
    });
    EXPECT_EQ(shown, TPrefsForm::TaskDefaultsPage);
    EXPECT_EQ(node, PrefsDefaultsPage::PerformanceNode);
    run(-1, [&](TPrefsForm *f) {
        node = f->TaskDefaultsTabSheet->selectedNode();
        EXPECT_TRUE(f->TaskDefaultsTabSheet->panel(PrefsDefaultsPage::PerformanceNode)->isVisibleTo(f));
        EXPECT_FALSE(f->TaskDefaultsTabSheet->panel(PrefsDefaultsPage::DialNode)->isVisibleTo(f));
    });
    EXPECT_EQ(node, PrefsDefaultsPage::PerformanceNode);
}

TEST_F(PrefsForm, LanguageListWithoutFiles)
{
    run(TPrefsForm::LanguagePage, [&](TPrefsForm *f) {
        EXPECT_EQ(captions(f), QStringList{"English (Default)"});
        EXPECT_EQ(f->LanguageTabSheet->selectedIndex(), 0);
        ok(f);
    });
    EXPECT_EQ(Language, "");
    EXPECT_EQ(LanguageFile(), nullptr);
}

TEST_F(PrefsForm, LanguageKeptWhenOkChangesNothing)
{
    writeLanguage("GERMAN.LNG", "[Misc]\nstrError=Fehler\n");
    writeLanguage(".hidden.lng", "[Misc]\n");
    Language = "german.lng";
    auto table = LoadLanguageFile(Language);
    ASSERT_NE(table, nullptr);
    SetLanguageFile(table);
    run(TPrefsForm::LanguagePage, [&](TPrefsForm *f) {
        EXPECT_EQ(captions(f), (QStringList{"English (Default)", "German"}));
        EXPECT_EQ(f->LanguageTabSheet->selectedIndex(), 1);
        ok(f);
    });
    // Neither reloaded nor rewritten.
    EXPECT_EQ(Language, "german.lng");
    EXPECT_EQ(LanguageFile().get(), table.get());
}

TEST_F(PrefsForm, LanguageChoicesStoreRealNames)
{
    writeLanguage("GERMAN.LNG", "[Misc]\nstrError=Fehler\n");
    writeLanguage("pt.br.lng", "[Misc]\nstrError=Erro\n");
    run(TPrefsForm::LanguagePage, [&](TPrefsForm *f) {
        EXPECT_EQ(captions(f), (QStringList{"English (Default)", "German", "Pt.br"}));
        selectLanguage(f, "Pt.br");
        ok(f);
    });
    EXPECT_EQ(Language, "pt.br.lng");
    ASSERT_NE(LanguageFile(), nullptr);
    EXPECT_EQ(GetLangString("Error", "strError"), "Erro");

    run(TPrefsForm::LanguagePage, [&](TPrefsForm *f) {
        EXPECT_EQ(f->LanguageTabSheet->selectedIndex(), 2);
        selectLanguage(f, "German");
        ok(f);
    });
    EXPECT_EQ(Language, "GERMAN.LNG");
    EXPECT_EQ(GetLangString("Error", "strError"), "Fehler");

    // The default line empties the setting and releases the file.
    run(TPrefsForm::LanguagePage, [&](TPrefsForm *f) {
        selectLanguage(f, "English (Default)");
        ok(f);
    });
    EXPECT_EQ(Language, "");
    EXPECT_EQ(LanguageFile(), nullptr);
    EXPECT_EQ(GetLangString("Error", "strError"), "Error");
    EXPECT_TRUE(MessageBoxSeam::shown().empty());
}

TEST_F(PrefsForm, LanguageFileDeletedBeforeOk)
{
    writeLanguage("GERMAN.LNG", "[Misc]\nstrError=Fehler\n");
    writeLanguage("dutch.lng", "[Misc]\nstrError=Fout\n");
    Language = "GERMAN.LNG";
    auto table = LoadLanguageFile(Language);
    SetLanguageFile(table);
    MessageBoxSeam::presetAnswers({});
    run(TPrefsForm::LanguagePage, [&](TPrefsForm *f) {
        selectLanguage(f, "Dutch");
        QFile::remove(QString::fromStdString(langDir() + "/dutch.lng"));
        ok(f);
    });
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_TRUE(MessageBoxSeam::shown()[0].text.contains("dutch.lng")) << MessageBoxSeam::shown()[0].text.toStdString();
    EXPECT_EQ(Language, "GERMAN.LNG");
    EXPECT_EQ(LanguageFile().get(), table.get());
    EXPECT_EQ(GetLangString("Error", "strError"), "Fehler");
}

TEST_F(PrefsForm, ColoursKeepStoredValuesAndTakePicks)
{
    ASSERT_EQ(LogFilesColorBg, 0xFF000005u); // a system colour
    run(TPrefsForm::LogDisplayPage, [&](TPrefsForm *f) {
        // The palette's second cell is red.
        f->LogDisplayTabSheet->LogDisplaySummaryColorBG->SelectIndex(2);
        EXPECT_EQ(f->LogDisplayTabSheet->LogDisplaySummaryColorBG->Color(), 0x000000FFu);
        ok(f);
    });
    EXPECT_EQ(LogSummaryColorBg, 0x000000FFu);
    EXPECT_EQ(LogFilesColorBg, 0xFF000005u);
    EXPECT_EQ(LogErrorsColorBg, 0x007575FFu);
}

TEST_F(PrefsForm, SampleRowsUseTheButtonsColours)
{
    run(TPrefsForm::LogDisplayPage, [&](TPrefsForm *f) {
        PrefsLogDisplayPage *page = f->LogDisplayTabSheet;
        page->LogDisplayErrorsColorBG->SetColor(0x0000FF00u); // green
        page->LogDisplaySkippingColorFG->SetColor(0x00FF0000u); // blue
        auto *model = page->LogDisplaySampleLogView->model();
        ASSERT_EQ(model->rowCount(), 7);
        EXPECT_EQ(model->index(3, 4).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(0, 255, 0));
        EXPECT_EQ(model->index(1, 4).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 0, 255));
        // Rows 0, 5 and 6 share the summary pair.
        page->LogDisplaySummaryColorBG->SetColor(0x00123456u);
        for (int row : {0, 5, 6}) {
            EXPECT_EQ(model->index(row, 4).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(0x56, 0x34, 0x12))
                << row;
        }
        cancel(f);
    });
    EXPECT_EQ(LogErrorsColorBg, 0x007575FFu); // Cancel stores nothing
}

// The sample is drawn in the kinds' colours, and follows a colour changed on the page.
TEST_F(PrefsForm, LogSampleIsDrawnInTheChosenColours)
{
    LogErrorsColorBg = 0x000000FFu; // red (0x00BBGGRR)
    run(TPrefsForm::LogDisplayPage, [&](TPrefsForm *f) {
        QTreeView *view = f->LogDisplayTabSheet->LogDisplaySampleLogView;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f, 5000));
        // The error row (the fourth), near the right edge of its date cell: ground, not text.
        auto groundOfErrorRow = [view] {
            const QRect cell = view->visualRect(view->model()->index(3, ActivityLogModel::ColDate));
            return view->viewport()->grab().toImage().pixelColor(cell.right() - 3, cell.center().y());
        };
        EXPECT_EQ(groundOfErrorRow(), QColor(255, 0, 0));
        f->LogDisplayTabSheet->LogDisplayErrorsColorBG->SetColor(0x0000FF00u); // green
        EXPECT_EQ(groundOfErrorRow(), QColor(0, 255, 0));
        cancel(f);
    });
}

TEST_F(PrefsForm, EmptyFontNameBecomesTheDesktopFont)
{
    LogFontName = "";
    LogFontSize = 11;
    run(TPrefsForm::LogDisplayPage, [&](TPrefsForm *f) {
        EXPECT_EQ(f->LogDisplayTabSheet->LogDisplayFontNameLabel->text(), QString::fromStdString(desktopFontFamily()));
        EXPECT_EQ(f->LogDisplayTabSheet->LogDisplayFontSizeLabel->text(), "11");
        EXPECT_EQ(f->LogDisplayTabSheet->LogDisplaySampleLogView->font().pointSize(), 11);
        ok(f);
    });
    EXPECT_EQ(LogFontName, QFontDatabase::systemFont(QFontDatabase::GeneralFont).family().toStdString());
    EXPECT_FALSE(LogFontName.empty());
    EXPECT_EQ(LogFontSize, 11);
}

TEST_F(PrefsForm, TrayIconFollowsTheBoxAtOk)
{
    QWidget owner;
    owner.show();
    auto service = std::make_unique<FakeTrayService>();
    FakeTrayService *fake = service.get();
    TTrayIcon tray(&owner, std::move(service));
    tray.setIconVisible(true);
    ASSERT_TRUE(fake->shown);
    run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        f->StartupTabSheet->StartupHideTrayIconCheckBox->setChecked(true);
        ok(f);
    }, &tray);
    EXPECT_FALSE(fake->shown);
    EXPECT_TRUE(StartupHideTrayIcon);
    // Nothing was saved: the caller saves.
    EXPECT_FALSE(TSafeRegistry().KeyExists(std::string(RegKeyRoot) + RegKeyStartupAndShutdown));

    // Without a tray host the choice is stored and the window stays shown.
    fake->setAvailable(false);
    StartupHideTrayIcon = false;
    run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        f->StartupTabSheet->StartupHideTrayIconCheckBox->setChecked(true);
        ok(f);
    }, &tray);
    EXPECT_TRUE(StartupHideTrayIcon);
    EXPECT_TRUE(owner.isVisible());
}

TEST_F(PrefsForm, AutostartWrittenOrDeletedOnEveryOkOnly)
{
    const QString entry = QString::fromStdString(Autostart::entryPath());
    run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        EXPECT_FALSE(f->StartupTabSheet->StartupCheckBoxRunAtSystemStartup->isChecked());
        f->StartupTabSheet->StartupCheckBoxRunAtSystemStartup->setChecked(true);
        ok(f);
    });
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(IsAutoStartRegistered());
    // Cancel never touches it.
    run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        EXPECT_TRUE(f->StartupTabSheet->StartupCheckBoxRunAtSystemStartup->isChecked());
        f->StartupTabSheet->StartupCheckBoxRunAtSystemStartup->setChecked(false);
        cancel(f);
    });
    EXPECT_TRUE(QFile::exists(entry));
    // OK writes it again even unchanged: a removed entry comes back.
    QFile::remove(entry);
    run(TPrefsForm::PerformancePage, [&](TPrefsForm *f) {
        EXPECT_FALSE(f->StartupTabSheet->StartupCheckBoxRunAtSystemStartup->isChecked());
        f->StartupTabSheet->StartupCheckBoxRunAtSystemStartup->setChecked(true);
        ok(f);
    });
    EXPECT_TRUE(QFile::exists(entry));
    run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        f->StartupTabSheet->StartupCheckBoxRunAtSystemStartup->setChecked(false);
        ok(f);
    });
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(MessageBoxSeam::shown().empty());
}

TEST_F(PrefsForm, AutostartFailureIsReportedAndTheRestStored)
{
    // A file where the autostart folder should be: no one, root included, can create the entry.
    const QString folder = QFileInfo(QString::fromStdString(Autostart::entryPath())).path();
    qvtest::writeFile(folder.toStdString(), "not a folder");
    MessageBoxSeam::presetAnswers({});
    const bool result = run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        f->StartupTabSheet->StartupCheckBoxRunAtSystemStartup->setChecked(true);
        f->StartupTabSheet->StartupShowSplashCheckBox->setChecked(false);
        f->PerformanceCheckBoxDisallowSimultaneousBackup->setChecked(true);
        f->MainPageControl->setCurrentIndex(TPrefsForm::PerformancePage);
        ok(f);
    });
    EXPECT_TRUE(result); // the caller saves the other choices
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_FALSE(MessageBoxSeam::shown()[0].text.isEmpty());
    EXPECT_EQ(MessageBoxSeam::shown()[0].flags & 0xF0u, unsigned(MB_ICONERROR));
    EXPECT_FALSE(StartupShowSplash);
    EXPECT_TRUE(DisallowSimultaneousBackup);
    EXPECT_EQ(rememberedPreferencesPage(), TPrefsForm::PerformancePage);
    QFile::remove(folder);
}

TEST_F(PrefsForm, ResetHotKeyReleasesItAtOnce)
{
    FakeHotKeys keys;
    TBackupData data;
    data.SetHotKeyLayer(&keys);
    BackupData = &data;
    StartupHotKeyUse = true;
    StartupHotKey = 0x4000 | 'K'; // Ctrl+K
    ASSERT_TRUE(data.RegisterShowWindowHotKey(StartupHotKeyUse, StartupHotKey));
    ASSERT_EQ(keys.registered.count(kShowWindowHotKeyId), 1u);
    // Cancel keeps it.
    run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        EXPECT_TRUE(f->StartupTabSheet->StartupShowWindowHotkey->isEnabled());
        f->StartupTabSheet->StartupHotkeyResetButton->click();
        cancel(f);
    });
    EXPECT_EQ(StartupHotKey, 0x4000 | 'K');
    EXPECT_EQ(keys.registered.count(kShowWindowHotKeyId), 1u);
    run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        f->StartupTabSheet->StartupHotkeyResetButton->click();
        EXPECT_EQ(f->StartupTabSheet->hotKey(), 0);
        ok(f);
    });
    EXPECT_EQ(StartupHotKey, 0);
    EXPECT_EQ(keys.registered.count(kShowWindowHotKeyId), 0u);
    data.SetHotKeyLayer(nullptr);
}

TEST_F(PrefsForm, TypedChordIsRegisteredAtOk)
{
    FakeHotKeys keys;
    TBackupData data;
    data.SetHotKeyLayer(&keys);
    BackupData = &data;
    run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        f->StartupTabSheet->StartupShowWindowHotkeyUseCheckBox->setChecked(true);
        QTest::keyClick(f->StartupTabSheet->StartupShowWindowHotkey, Qt::Key_K,
                        Qt::ControlModifier | Qt::ShiftModifier);
        ok(f);
    });
    EXPECT_TRUE(StartupHotKeyUse);
    EXPECT_EQ(StartupHotKey, 0x4000 | 0x2000 | 'K');
    EXPECT_EQ(keys.registered.count(kShowWindowHotKeyId), 1u);
    data.SetHotKeyLayer(nullptr);
}

TEST_F(PrefsForm, HotKeyFieldFollowsItsBox)
{
    run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
        PrefsStartupPage *p = f->StartupTabSheet;
        for (bool on : {true, false, true}) {
            p->StartupShowWindowHotkeyUseCheckBox->setChecked(on);
            EXPECT_EQ(p->StartupShowWindowHotkey->isEnabled(), on);
            EXPECT_EQ(p->StartupHotkeyResetButton->isEnabled(), on);
        }
    });
}

TEST_F(PrefsForm, StartupSettingsRoundTrip)
{
    struct Row {
        bool minimized, hideTray, splash, closeExits, confirm, hotKeyUse, disallow;
    } rows[] = {{true, false, true, false, true, false, false}, {false, true, false, true, false, true, true}};
    for (const Row &r : rows) {
        run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
            PrefsStartupPage *p = f->StartupTabSheet;
            p->StartupRunMinimizedCheckBox->setChecked(r.minimized);
            p->StartupHideTrayIconCheckBox->setChecked(r.hideTray);
            p->StartupShowSplashCheckBox->setChecked(r.splash);
            p->StartupShutDownAtCloseCheckBox->setChecked(r.closeExits);
            p->StartupConfirmShutDownCheckBox->setChecked(r.confirm);
            p->StartupShowWindowHotkeyUseCheckBox->setChecked(r.hotKeyUse);
            f->PerformanceCheckBoxDisallowSimultaneousBackup->setChecked(r.disallow);
            ok(f);
        });
        EXPECT_EQ(StartupRunMinimized, r.minimized);
        EXPECT_EQ(StartupHideTrayIcon, r.hideTray);
        EXPECT_EQ(StartupShowSplash, r.splash);
        EXPECT_EQ(StartupShutDownAtClose, r.closeExits);
        EXPECT_EQ(StartupConfirmShutdown, r.confirm);
        EXPECT_EQ(StartupHotKeyUse, r.hotKeyUse);
        EXPECT_EQ(DisallowSimultaneousBackup, r.disallow);
        // And the dialog shows them again.
        run(TPrefsForm::StartupPage, [&](TPrefsForm *f) {
            EXPECT_EQ(f->StartupTabSheet->StartupRunMinimizedCheckBox->isChecked(), r.minimized);
            EXPECT_EQ(f->StartupTabSheet->StartupShutDownAtCloseCheckBox->isChecked(), r.closeExits);
            EXPECT_EQ(f->PerformanceCheckBoxDisallowSimultaneousBackup->isChecked(), r.disallow);
        });
    }
}

TEST_F(PrefsForm, EveryControlNameResolvesOnce)
{
    const char *names[] = {
        "PrefsForm", "MainPageControl", "StartupTabSheet", "PerformanceTabSheet", "LogDisplayTabSheet",
        "LanguageTabSheet", "TaskDefaultsTabSheet", "OkButton", "CancelButton", "HelpButton",
        "StartupCheckBoxRunAtSystemStartup", "StartupRunMinimizedCheckBox", "StartupHideTrayIconCheckBox",
        "StartupShowSplashCheckBox", "StartupShutDownAtCloseCheckBox", "StartupConfirmShutDownCheckBox",
        "StartupShowWindowHotkeyUseCheckBox", "StartupShowWindowHotkey", "StartupHotkeyResetButton",
        "PerformanceCheckBoxDisallowSimultaneousBackup", "LogDisplaySummaryColorBG", "LogDisplaySummaryColorFG",
        "LogDisplayFilesColorBG", "LogDisplayFilesColorFG", "LogDisplaySkippingColorBG",
        "LogDisplaySkippingColorFG", "LogDisplayWarningsColorBG", "LogDisplayWarningsColorFG",
        "LogDisplayErrorsColorBG", "LogDisplayErrorsColorFG", "LogDisplayFontNameLabel", "LogDisplayFontSizeLabel",
        "LogDisplayFontButton", "LogDisplaySampleLogView", "LanguageListView", "LanguageNoteLabel", "TaskTree",
        "TaskRunPanel", "TaskDialPanel", "TaskHardwarePanel", "TaskBandwidthPanel", "TaskPasswordPanel",
        "TaskLogPanel", "TaskEventsPanel", "TaskPerformancePanel", "TaskPowerPanel", "EmailPanel",
    };
    QStringList all;
    for (const char *name : names) {
        all << QString::fromLatin1(name);
    }
    // The task defaults panels.
    for (const char *name :
         {"TaskRunBeforeCheckBox", "TaskRunBeforeEdit", "TaskRunWaitBeforeCheckBox", "TaskRunAfterCheckBox",
          "TaskRunAfterEdit", "TaskRunWaitAfterCheckBox", "TaskDialComboBox", "TaskDialDisconnectAfterCheckBox",
          "TaskHardwareCheckListBox", "TaskBandwidthUseCheckBox", "TaskBandwidthValueUpDown", "TaskBandwidthValueEdit",
          "TaskBandwidthMeasureComboBox", "TaskPasswordCurrentEdit", "TaskPasswordChangeCheckBox",
          "TaskPasswordNewEdit", "TaskPasswordConfirmEdit", "TaskPasswordReminderEdit", "TaskLogEnabledCheckBox",
          "TaskLogFileNameEdit", "TaskLogMaxLogSizeUpDown", "TaskLogMaxLogSizeEdit", "TaskLogSummaryCheckBox",
          "TaskLogFilesCheckBox", "TaskLogSkippingCheckBox", "TaskLogWarningsCheckBox", "TaskLogErrorsCheckBox",
          "TaskPowerDontStartOnBatteriesCheckBox", "TaskPowerWakeToRunCheckBox", "EmailSMTPServerEdit",
          "EmailSMTPPortUpDown", "EmailSMTPPortEdit", "EmailSMTPAuthCheckBox", "EmailSMTPAuthUserEdit",
          "EmailSMTPAuthPasswordEdit", "EmailToEdit", "EmailFromEdit", "EmailSubjectEdit", "EmailTestButton"}) {
        all << QString::fromLatin1(name);
    }
    // The event alerts of the defaults page.
    all << "TaskEventsComboBox" << "TaskEventsScrollBox" << "TaskEventsFinishEmailLogCheckBox"
        << "TaskEventsFinishEmailSettingsLabel";
    for (const char *e : {"Start", "File", "DiskSpan", "Error", "Warning", "Finish"}) {
        for (const char *item : {"CheckBoxDialog", "CheckBoxBalloon", "CheckBoxSound", "EditSound"}) {
            all << QStringLiteral("TaskEvents%1%2").arg(QLatin1String(e), QLatin1String(item));
        }
        if (QLatin1String(e) != QLatin1String("File")) {
            for (const char *item : {"EmailUseCheckBox", "EmailEdit", "EmailTestButton"}) {
                all << QStringLiteral("TaskEvents%1%2").arg(QLatin1String(e), QLatin1String(item));
            }
        }
    }
    TPrefsForm form;
    for (const QString &name : all) {
        int count = form.objectName() == name ? 1 : 0;
        count += static_cast<int>(form.findChildren<QWidget *>(name).size());
        EXPECT_EQ(count, 1) << name.toStdString();
    }
    EXPECT_EQ(form.windowTitle(), "Quorvellant Preferences");
    const char *tabs[] = {"&Startup and Shutdown", "Global Performance", "&Log Display", "&Interface Language",
                          "Task's Defaults"};
    ASSERT_EQ(form.MainPageControl->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(form.MainPageControl->tabText(i), tabs[i]);
    }
    const char *nodes[] = {"Run Programs", "Auto Dial", "Hardware Profile", "Limit bandwidth", "Task Password",
                           "Log Settings", "Event Alerts", "CPU Performance", "Power Management", "Email Settings"};
    ASSERT_EQ(form.TaskDefaultsTabSheet->TaskTree->topLevelItemCount(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(form.TaskDefaultsTabSheet->TaskTree->topLevelItem(i)->text(0), nodes[i]);
    }
}

TEST_F(PrefsForm, ImageListsLoadAndAnEmptyOneFails)
{
    TPrefsForm form;
    EXPECT_EQ(form.tabImages()->Count(), 5);
    EXPECT_EQ(form.navigatorImages()->Count(), 10);
    EXPECT_EQ(form.languageImages()->Count(), 9);
    TAlphaImageList list(16, 16);
    try {
        loadPrefsImages(&list, QStringLiteral("ICON_NoSuchImageList_"));
        ADD_FAILURE() << "an empty list was accepted";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Application images were not loaded.");
    }
}

TEST_F(PrefsForm, TranslatedWhenCreated)
{
    writeLanguage("test.lng", "[PrefsForm]\nPrefsForm.Caption=Einstellungen\nPrefsForm.OkButton.Caption=Gut\n"
                              "PrefsForm.LogDisplayTabSheet.Caption=Protokoll\n");
    SetLanguageFile(LoadLanguageFile("test.lng"));
    TPrefsForm form;
    EXPECT_EQ(form.windowTitle(), "Einstellungen");
    EXPECT_EQ(form.OkButton->text(), "Gut");
    EXPECT_EQ(form.MainPageControl->tabText(TPrefsForm::LogDisplayPage), "Protokoll");
}

// Help on each page opens that page's topic, from the Help button and from F1 on OK, and the help
// window takes typing while the modal dialog stays open.
TEST_F(PrefsForm, HelpOpensThePageInViewAndStaysUsable)
{
    help::setApplicationHelpFile(QString::fromStdString(std::string(std::getenv("QV_SOURCE_DIR")) + "/resources/help"));
    help::installHelpKeyHandler();
    const std::pair<int, const char *> pages[] = {
        {TPrefsForm::StartupPage, "preferences.startup.html"},   {TPrefsForm::PerformancePage, "preferences.html"},
        {TPrefsForm::LogDisplayPage, "preferences.html"},        {TPrefsForm::LanguagePage, "preferences.language.html"},
        {TPrefsForm::TaskDefaultsPage, "preferences.html"},
    };
    for (const auto &[page, topic] : pages) {
        SCOPED_TRACE(topic);
        run(page, [&](TPrefsForm *f) {
            f->HelpButton->click();
            ASSERT_NE(HelpWindow::existing(), nullptr);
            EXPECT_TRUE(HelpWindow::existing()->currentTopicPath().endsWith(topic));
            delete HelpWindow::existing();
            f->OkButton->setFocus();
            QTest::keyClick(f->OkButton, Qt::Key_F1);
            HelpWindow *help = HelpWindow::existing();
            ASSERT_NE(help, nullptr);
            EXPECT_TRUE(help->currentTopicPath().endsWith(topic));
            // Keys reach the help through the window system, where a blocked window drops them.
            help->findChild<QTabWidget *>()->setCurrentIndex(1);
            for (Qt::Key k : {Qt::Key_T, Qt::Key_I, Qt::Key_M}) {
                QTest::keyClick(help->windowHandle(), k);
            }
            EXPECT_EQ(help->findChild<QLineEdit *>()->text(), "tim");
            EXPECT_TRUE(f->isVisible());
            delete help;
        });
    }
}

TEST_F(PrefsForm, TabsAndNodeLabelsAreWholeInALargerFont)
{
    const QFont before = QApplication::font();
    for (int points : {9, 20}) {
        QFont font = before;
        font.setPointSize(points);
        QApplication::setFont(font);
        run(TPrefsForm::TaskDefaultsPage, [&](TPrefsForm *f) {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(f, 5000));
            QTabBar *tabs = f->MainPageControl->tabBar();
            for (int i = 0; i < tabs->count(); ++i) {
                EXPECT_LE(tabs->tabRect(i).right(), tabs->width())
                    << points << " pt: tab " << i << " out of view";
            }
            QTreeWidget *tree = f->TaskDefaultsTabSheet->TaskTree;
            const QFontMetrics metrics(tree->font());
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                QTreeWidgetItem *item = tree->topLevelItem(i);
                const int needed = tree->visualItemRect(item).x() + tree->iconSize().width() + 8 +
                                   metrics.horizontalAdvance(item->text(0));
                EXPECT_LE(needed, tree->viewport()->width())
                    << points << " pt: \"" << item->text(0).toStdString() << '"';
            }
        });
    }
    QApplication::setFont(before);
}
