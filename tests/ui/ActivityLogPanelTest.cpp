// The activity log panel in the main window: the selected task's events, the pop-up menu's
// commands, search and search again, and screenshots.
// qv-test-labels: gui
// qv-test-timeout: 180
#include "components/MessageBox.h"
#include "core/settings/Settings.h"
#include "core/runs/BackupData.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeSessionEvents.h"
#include "platform/gui/FakeTrayService.h"
#include "support/TestEnv.h"
#include "ui/ActivityLogView.h"
#include "ui/LogFindDialog.h"
#include "ui/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace qv;

class ActivityLogPanel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettingsToDefaults();
        FirstStart = false;
        StartupRunMinimized = false;
        ExitWhenIdle = false;
        MessageBoxSeam::clear();
        data = std::make_unique<TBackupData>();
        BackupData = data.get();
        for (const char *name : {"Photos", "Reports"}) {
            auto t = std::make_unique<TTask>();
            t->Name = name;
            t->Log.UseDefault = false;
            t->Log.Enabled = false;
            data->Tasks.Add(std::move(t));
        }
        TMainForm::Services s;
        s.tray = std::make_unique<FakeTrayService>();
        s.hotKeys = &hotKeys;
        s.sessionEvents = &session;
        s.exitDrainMs = 10000;
        s.hardExit = [] {};
        form = std::make_unique<TMainForm>(data.get(), std::move(s));
        form->resize(900, 600);
        form->show();
        view = form->logView();
    }
    void TearDown() override
    {
        form.reset();
        BackupData = nullptr;
        data.reset();
        MessageBoxSeam::clear();
    }
    TTask &task(int i) { return *data->Tasks[i]; }
    void select(int i)
    {
        ASSERT_TRUE(form->selectTask(task(i).ID));
        form->CheckState();
        QApplication::processEvents();
    }
    QAction *menuAction(const char *name) { return view->popupMenu()->findChild<QAction *>(name) ? view->popupMenu()->findChild<QAction *>(name) : view->findChild<QAction *>(name); }

    std::unique_ptr<TBackupData> data;
    std::unique_ptr<TMainForm> form;
    FakeHotKeys hotKeys;
    FakeSessionEvents session;
    ActivityLogView *view = nullptr;
};

TEST_F(ActivityLogPanel, ShowsTheSelectedTasksEventsAndClearsOnlyThatTask)
{
    task(0).Logger->Add(kLogInformation, "photos one");
    task(0).Logger->Add(kLogInformation, "photos two");
    task(1).Logger->Add(kLogInformation, "reports one");
    select(0);
    EXPECT_EQ(view->logModel()->rowCount(), 2);
    EXPECT_EQ(view->logModel()->eventText(1), "photos two");
    select(1);
    EXPECT_EQ(view->logModel()->rowCount(), 1);
    task(1).Logger->Add(kLogWarning, "late");
    for (int i = 0; i < 1000 && view->logModel()->syncPending(); ++i) {
        QTest::qWait(10); // the list catches up within its coalescing interval
    }
    EXPECT_EQ(view->logModel()->rowCount(), 2);
    menuAction("actOtherLogClear")->trigger();
    EXPECT_EQ(view->logModel()->rowCount(), 0);
    EXPECT_EQ(task(1).Logger->Count(), 0u);
    EXPECT_EQ(task(0).Logger->Count(), 2u);
}

TEST_F(ActivityLogPanel, MenuCommandsAndSearchAgain)
{
    QMenu *menu = view->popupMenu();
    EXPECT_EQ(menu->objectName(), "LogPopupMenu");
    QStringList names;
    for (QAction *a : menu->actions()) {
        if (!a->isSeparator()) {
            names << a->objectName();
        }
    }
    EXPECT_EQ(names, (QStringList{"actOtherLogSearch", "actOtherLogSearchAgain", "actOtherLogSaveAs",
                                  "actOtherLogClear", "actOtherLogOptions", "actOtherLogHide"}));
    EXPECT_FALSE(menuAction("actOtherLogOptions")->isEnabled()); // no options dialog installed

    for (const char *line : {"Backup started.", "Copied a.txt", "ERROR: disk full", "Copied b.txt", "ERROR: again"}) {
        task(0).Logger->Add(kLogInformation, line);
    }
    select(0);
    QAction *again = form->action("actOtherLogSearchAgain");
    EXPECT_FALSE(again->isEnabled());
    EXPECT_EQ(again->shortcut(), QKeySequence(Qt::Key_F3));
    view->setCurrentIndex({});
    view->find({"error", false, false, true}); // from before the first line
    EXPECT_EQ(view->currentIndex().row(), 2);
    EXPECT_TRUE(again->isEnabled());
    again->trigger();
    EXPECT_EQ(view->currentIndex().row(), 4);
    EXPECT_TRUE(MessageBoxSeam::shown().empty());
    again->trigger(); // down from the last match: nothing more
    ASSERT_EQ(MessageBoxSeam::shown().size(), 1u);
    EXPECT_EQ(MessageBoxSeam::shown()[0].text, "Search finished.");

    // The find dialog's Find Next searches with its options.
    view->search();
    LogFindDialog *dialog = view->findDialog();
    EXPECT_EQ(dialog->objectName(), "LogFindDialog");
    dialog->findEdit()->setText("copied");
    dialog->findChild<QCheckBox *>("MatchCaseCheckBox")->setChecked(false);
    view->setCurrentIndex(view->logModel()->index(0, 0));
    dialog->findNextButton()->click();
    EXPECT_EQ(view->currentIndex().row(), 1);
    dialog->close();

    ASSERT_TRUE(form->action("actViewLog")->isChecked());
    menuAction("actOtherLogHide")->trigger();
    EXPECT_FALSE(form->action("actViewLog")->isChecked());
    EXPECT_TRUE(form->logPanel()->isHidden());
}

TEST_F(ActivityLogPanel, ScreenshotsOfThePanelAndTheFindDialog)
{
    const char *lines[] = {"", "", "", "Scanning sources", "Copied /home/ann/Photos/IMG_0001.jpg",
                           "Skipped /home/ann/Photos/.thumbs (unchanged)", "destination is nearly full", "cannot read IMG_0002.jpg"};
    task(0).Logger->Add(kLogStarted, {});
    for (int kind = 3; kind < kLogKindCount; ++kind) {
        task(0).Logger->Add(kind, lines[kind]);
    }
    task(0).Logger->Add(kLogFinished, {});
    task(0).Logger->Add(kLogAborted, {});
    select(0);
    QApplication::processEvents();
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    EXPECT_TRUE(form->grab().save(dir + "/log-panel.png"));
    view->search();
    view->findDialog()->findEdit()->setText("error");
    QApplication::processEvents();
    EXPECT_TRUE(view->findDialog()->grab().save(dir + "/log-find.png"));
    view->findDialog()->close();
}

} // namespace
