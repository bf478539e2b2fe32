// The tray icon component over a fake desktop tray.
// qv-test-labels: gui
#include "components/AlphaImageList.h"
#include "components/TrayIcon.h"
#include "platform/gui/FakeTrayService.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

using qv::FakeTrayService;
using qv::TrayService;
using qv::TTrayIcon;

struct TrayFixture : ::testing::Test {
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        auto fakeOwned = std::make_unique<FakeTrayService>();
        fake = fakeOwned.get();
        tray = new TTrayIcon(window.get(), std::move(fakeOwned));
    }
    std::unique_ptr<QWidget> window;
    FakeTrayService *fake = nullptr;
    TTrayIcon *tray = nullptr; // owned by the window
};

TEST_F(TrayFixture, HintIsCutAndHidden)
{
    tray->setHint(QString(200, QLatin1Char('x')));
    EXPECT_EQ(fake->toolTip.size(), 127);
    tray->setShowHint(false);
    EXPECT_TRUE(fake->toolTip.isEmpty());
    tray->setShowHint(true);
    tray->setHint("Quorvellant");
    EXPECT_EQ(fake->toolTip, "Quorvellant");
}

TEST_F(TrayFixture, StartMinimizedKeepsTheOwnerHidden)
{
    for (bool minimized : {true, false}) {
        SCOPED_TRACE(minimized);
        window->hide();
        tray->StartMinimized = minimized;
        tray->Loaded();
        QApplication::processEvents();
        EXPECT_EQ(window->isVisible(), !minimized);
    }
}

TEST_F(TrayFixture, BalloonLimitsAndDisabledIcon)
{
    tray->ShowIcon();
    EXPECT_TRUE(tray->ShowBalloonHint(QString(70, 'T'), QString(300, 'm'), TrayService::BalloonWarning, 10));
    ASSERT_EQ(fake->messages.size(), 1u);
    EXPECT_EQ(fake->messages[0].timeoutMs, 10000);
    // Cut to their limits, and a cut shows: the last character is an ellipsis.
    EXPECT_EQ(fake->messages[0].title, QString(62, 'T') + QChar(0x2026));
    EXPECT_EQ(fake->messages[0].text, QString(254, 'm') + QChar(0x2026));
    EXPECT_EQ(fake->messages[0].icon, 2);
    // What fits is shown whole.
    EXPECT_TRUE(tray->ShowBalloonHint(QString(63, 'T'), QString(255, 'm'), TrayService::BalloonInfo, 10));
    ASSERT_EQ(fake->messages.size(), 2u);
    EXPECT_EQ(fake->messages[1].title, QString(63, 'T'));
    EXPECT_EQ(fake->messages[1].text, QString(255, 'm'));
    tray->setEnabled(false);
    EXPECT_TRUE(tray->ShowBalloonHint("t", "m", 1, 5));
    EXPECT_EQ(fake->messages.size(), 2u);
    // A refused balloon reports failure.
    tray->setEnabled(true);
    fake->refuse = true;
    EXPECT_FALSE(tray->ShowBalloonHint("t", "m", 1, 5));
}

TEST_F(TrayFixture, IconIndexBeyondTheListShowsTheLast)
{
    qv::TAlphaImageList list(16, 16);
    list.Initialize(qv::TPixelFormat::pf32bit);
    list.LoadFromResource("ICON_GroupsImageList_");
    ASSERT_EQ(list.Count(), 4);
    tray->setIconList(&list);
    tray->setIconIndex(99);
    EXPECT_EQ(tray->IconIndex(), 3);
    EXPECT_EQ(tray->Icon().pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
              list.image(3).convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST_F(TrayFixture, ClickEventOrderAndDefaultItem)
{
    std::vector<std::string> events;
    tray->OnMouseDown = [&](Qt::MouseButton b, Qt::KeyboardModifiers, QPoint) {
        events.push_back(b == Qt::LeftButton ? "down-left" : "down-other");
    };
    tray->OnMouseUp = [&](Qt::MouseButton b, Qt::KeyboardModifiers, QPoint) {
        events.push_back(b == Qt::LeftButton ? "up-left" : "up-other");
    };
    tray->OnClick = [&] { events.push_back("click"); };
    tray->OnDblClick = [&] { events.push_back("dblclick"); };
    QMenu menu;
    QAction *show = menu.addAction("Show");
    menu.addAction("Exit");
    menu.setDefaultAction(show);
    QObject::connect(show, &QAction::triggered, [&] { events.push_back("show"); });
    tray->setPopupMenu(&menu);
    EXPECT_EQ(fake->menu, &menu);

    fake->activate(TrayService::Activation::Click);
    fake->activate(TrayService::Activation::DoubleClick);
    EXPECT_EQ(events, (std::vector<std::string>{"down-left", "click", "up-left", "dblclick", "show"}));

    events.clear();
    tray->setEnabled(false);
    fake->activate(TrayService::Activation::Click);
    EXPECT_TRUE(events.empty());
}

TEST_F(TrayFixture, HidesIntoTheTrayOnlyWhenAnIconIsShown)
{
    window->show();
    tray->ShowIcon();
    tray->HideMainForm();
    EXPECT_TRUE(window->isHidden());
    tray->ShowMainForm();
    EXPECT_TRUE(window->isVisible());

    // Without a tray host the window is minimised instead, never lost.
    fake->setAvailable(false);
    tray->HideMainForm();
    EXPECT_FALSE(window->isHidden());
    EXPECT_TRUE(window->isMinimized());
}

// A maximised window minimised into the tray comes back maximised, as it went.
TEST_F(TrayFixture, AMaximisedWindowComesBackFromTheTrayMaximised)
{
    tray->MinimizeToTray = true;
    tray->ShowIcon();
    window->showMaximized();
    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->isHidden(); }, 2000)) << "not hidden into the tray";
    tray->ShowMainForm();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isMaximized());
    // A window that was not maximised comes back as it was (the control).
    window->showNormal();
    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->isHidden(); }, 2000));
    tray->ShowMainForm();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized() || window->isMaximized());
}

TEST_F(TrayFixture, TrayHostRestartRestoresOnlyAVisibleIcon)
{
    window->show();
    tray->ShowIcon();
    tray->HideMainForm();
    ASSERT_TRUE(window->isHidden());
    // The host goes away while the window is in the tray: the window comes back.
    fake->setAvailable(false);
    EXPECT_FALSE(window->isHidden());
    // The host returns: the visible icon is put back.
    int before = fake->showCalls;
    fake->setAvailable(true);
    EXPECT_EQ(fake->showCalls, before + 1);
    EXPECT_TRUE(fake->shown);
    // A hidden icon stays away.
    tray->HideIcon();
    fake->setAvailable(false);
    before = fake->showCalls;
    fake->setAvailable(true);
    EXPECT_EQ(fake->showCalls, before);
    EXPECT_FALSE(fake->shown);
}

TEST_F(TrayFixture, CyclingWalksTheList)
{
    qv::TAlphaImageList list(16, 16);
    list.Initialize(qv::TPixelFormat::pf32bit);
    list.LoadFromResource("ICON_GroupsImageList_");
    tray->setIconList(&list);
    std::vector<int> next;
    tray->OnCycle = [&](int n) { next.push_back(n); };
    tray->setCycleInterval(5);
    tray->setCycleIcons(true);
    (void)QTest::qWaitFor([&] { return next.size() >= 5; }, 2000);
    tray->setCycleIcons(false);
    ASSERT_GE(next.size(), 5u);
    EXPECT_EQ(std::vector<int>(next.begin(), next.begin() + 5), (std::vector<int>{1, 2, 3, 0, 1}));
}

} // namespace
