// The main window on a real X server with a tray host (trayer): the icon, a balloon, activation,
// a tray host restart, and screenshots of the four view styles.
// qv-test-labels: x11 gui
// qv-test-run: xvfb
// qv-test-timeout: 180
#include "components/MessageBox.h"
#include "components/TrayIcon.h"
#include "core/runs/BackupData.h"
#include "core/settings/Settings.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeSessionEvents.h"
#include "platform/gui/TrayService.h"
#include "ui/MainForm.h"

#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QListView>
#include <QPixmap>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

struct Trayer {
    QProcess proc;
    bool start()
    {
        proc.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                              "--height", "24", "--SetDockType", "true"});
        return proc.waitForStarted(5000) &&
               QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000);
    }
    void stop()
    {
        proc.kill();
        proc.waitForFinished(5000);
    }
    ~Trayer() { stop(); }
};

std::unique_ptr<qv::TTask> task(const std::string &name, const std::string &group, const std::string &src,
                                const std::string &dst)
{
    auto t = std::make_unique<qv::TTask>();
    t->Name = name;
    t->BelongToGroup = group;
    t->Source = src;
    t->DestLocal = dst;
    return t;
}

// The first item below `parent` (depth first) whose text is `text`.
QModelIndex findText(const QAbstractItemModel *model, const QModelIndex &parent, const QString &text)
{
    for (int row = 0; model != nullptr && row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (index.data().toString() == text) {
            return index;
        }
        const QModelIndex below = findText(model, index, text);
        if (below.isValid()) {
            return below;
        }
    }
    return {};
}

// The visible item view of the window that lists the tasks (not the log).
QAbstractItemView *visibleTaskView(QWidget &form)
{
    for (auto *view : form.findChildren<QAbstractItemView *>()) {
        if (view->isVisible() && findText(view->model(), QModelIndex(), "Reports").isValid()) {
            return view;
        }
    }
    return nullptr;
}

TEST(MainFormX11, TrayIconBalloonActivationAndRestart)
{
    QV_REQUIRE_TOOL("trayer");
    QV_REQUIRE_TOOL("xdotool");
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    qv::ResetSettingsToDefaults();
    qv::FirstStart = false;
    qv::StartupRunMinimized = true;
    qv::MessageBoxSeam::clear();
    Trayer trayer;
    ASSERT_TRUE(trayer.start()) << "trayer did not start";
    qv::TBackupData data;
    qv::BackupData = &data;
    qv::FakeHotKeys keys;
    qv::FakeSessionEvents session;
    qv::TMainForm::Services s;
    s.hotKeys = &keys;
    s.sessionEvents = &session;
    // The control for the wait below: a window started normally shows within it.
    {
        qv::StartupRunMinimized = false;
        qv::TMainForm::Services cs;
        cs.hotKeys = &keys;
        cs.sessionEvents = &session;
        qv::TMainForm shown(&data, std::move(cs));
        QTest::qWait(300);
        ASSERT_TRUE(shown.isVisible()) << "a normal start did not show the window within the wait";
        qv::StartupRunMinimized = true;
    }
    auto form = std::make_unique<qv::TMainForm>(&data, std::move(s));
    qv::TrayService *service = form->trayIcon()->service();
    ASSERT_TRUE(QTest::qWaitFor([&] { return service->iconGeometry().isValid(); }, 5000))
        << "the icon did not appear in the tray";
    // Started minimised into the tray.
    QTest::qWait(300);
    EXPECT_TRUE(form->isHidden());

    // A balloon: Qt shows its own balloon window when no notification service is around.
    EXPECT_TRUE(form->trayIcon()->ShowBalloonHint("Quorvellant", "Backup finished.", 1, 5));
    bool balloon = QTest::qWaitFor(
        [] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (QString(w->metaObject()->className()) == "QBalloonTip" && w->isVisible()) {
                    return true;
                }
            }
            return false;
        },
        3000);
    EXPECT_TRUE(balloon);

    // A double click on the icon runs the menu's default item: the window shows.
    const QPoint c = service->iconGeometry().center();
    auto r = qvtest::runCommand({"xdotool", "mousemove", std::to_string(c.x()), std::to_string(c.y()), "click",
                                 "--repeat", "2", "--delay", "80", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->isVisible(); }, 3000));

    // The tray host restarts: a visible icon comes back.
    trayer.stop();
    QTest::qWait(500);
    ASSERT_TRUE(trayer.start());
    EXPECT_TRUE(QTest::qWaitFor([&] { return service->iconGeometry().isValid(); }, 8000))
        << "the icon did not come back after the tray restarted";
    // A hidden icon stays away after the next restart. A second icon, shown, must come back: the
    // tray is up again and icons re-dock, so the hidden one had its chance.
    auto control = qv::createSystemTrayService();
    QPixmap red(16, 16);
    red.fill(Qt::red);
    ASSERT_TRUE(control->showIcon(QIcon(red), "control"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->iconGeometry().isValid(); }, 8000));
    // The window's tray watch sees the tray go and come back, so the step that puts icons back
    // has run when the hidden one is checked.
    form->trayIcon()->HideIcon();
    trayer.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service->isAvailable(); }, 8000))
        << "the tray watch did not see the tray go";
    ASSERT_TRUE(trayer.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return service->isAvailable(); }, 8000))
        << "the tray watch did not see the tray come back";
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->iconGeometry().isValid(); }, 8000))
        << "the control icon did not come back after the tray restarted";
    EXPECT_FALSE(service->isIconShown());
    EXPECT_FALSE(service->iconGeometry().isValid());
    form.reset();
    qv::BackupData = nullptr;
}

TEST(MainFormX11, ScreenshotsOfTheViewStyles)
{
    qv::ResetSettingsToDefaults();
    qv::FirstStart = false;
    qv::StartupRunMinimized = false;
    qv::TBackupData data;
    qv::BackupData = &data;
    data.Groups = {"Photos", "Work"};
    data.Tasks.Add(task("Camera roll", "Photos", "/home/user/Pictures/", "/media/user/USB/Pictures/"));
    data.Tasks.Add(task("Reports", "Work", "/home/user/Documents/Reports/", "/srv/backup/reports/"));
    data.Tasks.Add(task("Dotfiles", "", "/home/user/.config/", "/srv/backup/config/"));
    qv::FakeHotKeys keys;
    qv::FakeSessionEvents session;
    qv::TMainForm::Services s;
    s.hotKeys = &keys;
    s.sessionEvents = &session;
    auto form = std::make_unique<qv::TMainForm>(&data, std::move(s));
    form->resize(900, 560);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    const char *styles[] = {"actViewLargeIcons", "actViewSmallIcons", "actViewList", "actViewReport"};
    std::vector<QImage> shots;
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(styles[i]);
        form->action(styles[i])->trigger();
        QTest::qWait(100);
        // The view of this style is on screen and shows every task inside its visible area.
        QAbstractItemView *view = visibleTaskView(*form);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(qobject_cast<QTreeView *>(view) != nullptr, i == 3);
        if (auto *list = qobject_cast<QListView *>(view)) {
            EXPECT_EQ(list->viewMode(), i == 0 ? QListView::IconMode : QListView::ListMode);
        }
        for (const char *name : {"Camera roll", "Reports", "Dotfiles"}) {
            const QModelIndex index = findText(view->model(), QModelIndex(), name);
            ASSERT_TRUE(index.isValid()) << name;
            EXPECT_TRUE(view->viewport()->rect().intersects(view->visualRect(index))) << name;
        }
        shots.push_back(form->grab().toImage());
        const QString file = QStringLiteral("%1/mainwindow-%2.png").arg(dir).arg(QString(styles[i]).mid(7));
        ASSERT_TRUE(shots.back().save(file)) << file.toStdString();
    }
    for (std::size_t a = 0; a < shots.size(); ++a) {
        for (std::size_t b = a + 1; b < shots.size(); ++b) {
            EXPECT_NE(shots[a], shots[b]) << styles[a] << " looks like " << styles[b];
        }
    }
    form.reset();
    qv::BackupData = nullptr;
}

} // namespace
