// Bringing a window to the front on a real X server (Xvfb).
// qv-test-labels: x11
// qv-test-run: xvfb
#include "platform/gui/ForegroundWindow.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

TEST(ForegroundWindowX11, HiddenMinimisedAndBehindWindowsComeToTheFront)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs an X server (runs under xvfb-run)";
    }
    QWidget main;
    main.setWindowTitle("main");
    main.resize(200, 100);
    QWidget other;
    other.setWindowTitle("other");
    other.resize(200, 100);

    // A window that was never shown (hidden into the tray) is shown and activated.
    qv::ForceForegroundWindow(&main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main, 5000));
    EXPECT_TRUE(main.isVisible());

    // Another window took the focus: ours comes back.
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other, 5000));
    qv::ForceForegroundWindow(&main);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&main, 5000));

    // A minimised window is restored.
    main.showMinimized();
    QTest::qWait(100);
    qv::ForceForegroundWindow(&main);
    EXPECT_FALSE(main.isMinimized());
    EXPECT_TRUE(main.isVisible());

    qv::ForceForegroundWindow(nullptr); // nothing to do, no crash
}
