// A deleted task's log leaves the log panel with it, whatever is selected afterwards (nothing
// included): the panel never reads the freed lines (the address sanitizer build sees any read).
// qv-test-labels: gui
// qv-test-timeout: 120
#include "MainFormCommandFixture.h"

#include "ui/ActivityLogView.h"

#include <QAction>
#include <QTest>

namespace {

class DeletedTaskLog : public qvtest::MainFormCommandFixture
{
};

TEST_F(DeletedTaskLog, ThePanelLetsGoOfTheLogBeforeTheTaskGoes)
{
    struct Case {
        const char *what;
        const char *group;  // shown while deleting
        const char *victim;
        bool onlyTask;      // the other tasks are deleted first
        bool stillFilling;  // lines arrive just before the delete, not yet in the panel
        const char *after;  // selected afterwards
    };
    const Case cases[] = {
        {"the last row", "All Tasks", "Reports", true, false, "<none>"},
        {"the only row of a group", "Work", "Reports", false, false, "<none>"},
        {"the only row of a group, its log being filled", "Work", "Reports", false, true, "<none>"},
        {"a row with another after it (control)", "All Tasks", "Camera roll", false, true, "Dotfiles"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        if (c.onlyTask) {
            while (data->Tasks.Count() > 1) {
                ASSERT_TRUE(data->DeleteTask(data->Tasks.IndexOf(taskNamed(c.victim)) == 0 ? 1 : 0));
            }
            form->UpdateListView();
        }
        form->resize(800, 600);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(form->selectGroup(c.group));
        ASSERT_TRUE(selectByName(c.victim));
        qv::TTask *victim = taskNamed(c.victim);
        for (int i = 0; i < 40; ++i) {
            victim->Logger->Add(qv::kLogInformation, "line " + std::to_string(i) + std::string(200, 'x'));
        }
        qv::ActivityLogModel *model = form->logView()->logModel();
        if (!c.stillFilling) {
            model->sync();
            QTest::qWait(150);
            ASSERT_EQ(model->rowCount(), 40);
        }
        for (int i = 0; i < 5; ++i) {
            victim->Logger->Add(qv::kLogFile, "late " + std::to_string(i));
        }
        ASSERT_TRUE(model->syncPending());
        qv::MessageBoxSeam::presetAnswers({qv::IDYES});
        act("actTaskDelete")->trigger();
        ASSERT_EQ(taskNamed(c.victim), nullptr);
        // The panel is drawn and its pending lines fall due after the task went.
        form->logView()->viewport()->repaint();
        (void)form->grab();
        QTest::qWait(2 * qv::ActivityLogModel::kSyncIntervalMs + 100);
        for (int row = 0; row < model->rowCount(); ++row) {
            (void)model->data(model->index(row, qv::ActivityLogModel::ColEvent), Qt::DisplayRole);
        }
        qv::TTask *selected = form->CurrentTask();
        EXPECT_EQ(selected == nullptr ? std::string("<none>") : selected->Name, c.after);
        EXPECT_EQ(form->logView()->task(), selected);
        EXPECT_EQ(model->logger(), selected == nullptr ? nullptr : selected->Logger.get());
        EXPECT_EQ(model->rowCount(), selected == nullptr ? 0 : static_cast<int>(selected->Logger->Count()));
        // The log's own commands are off with no task shown.
        EXPECT_EQ(form->logView()->findChild<QAction *>("actOtherLogClear")->isEnabled(), selected != nullptr);
    }
}

} // namespace
