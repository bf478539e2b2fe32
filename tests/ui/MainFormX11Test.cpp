// The main window on a real X server with a tray host (trayer): the icon, a balloon, activation,
// a tray host restart, and screenshots of the four view styles.
// qv-test-labels: x11 gui
// qv-test-run: xvfb
// qv-test-timeout: 180
#include "components/MessageBox.h"
#include "components/TrayIcon.h"
#include "core/task/BackupData.h"
#include "core/settings/Settings.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeSessionEvents.h"
#include "platform/gui/TrayService.h"
#include "ui/MainForm.h"

#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

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
    // A hidden icon stays away after the next restart.
    form->trayIcon()->HideIcon();
    trayer.stop();
    QTest::qWait(500);
    ASSERT_TRUE(trayer.start());
    QTest::qWait(2500);
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
    for (int i = 0; i < 4; ++i) {
        form->action(styles[i])->trigger();
        QTest::qWait(100);
        const QString file = QStringLiteral("%1/mainwindow-%2.png").arg(dir).arg(QString(styles[i]).mid(7));
        ASSERT_TRUE(form->grab().save(file)) << file.toStdString();
    }
    form.reset();
    qv::BackupData = nullptr;
}

} // namespace
