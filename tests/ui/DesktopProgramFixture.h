// The real program on a user's desktop session: the display passed to it, a window manager (openbox)
// and, where a test needs one, a tray host (trayer), as a user's session has them; the program's log
// in the message of a failure.
#pragma once

#include "ProgramProcessFixture.h"

#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

#include <cstdio>
#include <initializer_list>

class DesktopProgramFixture : public ProgramProcessFixture
{
protected:
    void SetUp() override
    {
        ProgramProcessFixture::SetUp();
        for (const char *name : {"DISPLAY", "XAUTHORITY"}) {
            if (const char *v = std::getenv(name)) {
                env.push_back(std::string(name) + "=" + v);
            }
        }
    }
    void TearDown() override
    {
        if (HasFailure()) {
            std::fprintf(stderr, "program log:\n%s\n", qvtest::readFile(home + "/program.log").c_str());
        }
        ProgramProcessFixture::TearDown();
        for (QProcess *p : {&trayer, &windowManager}) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    // The window manager, and the tray host when `withTray`; the test is skipped when one of `tools`
    // is not installed (callers return on IsSkipped() or HasFatalFailure()).
    void startDesktop(bool withTray, std::initializer_list<const char *> tools)
    {
        const char *display = std::getenv("DISPLAY");
        ASSERT_TRUE(display != nullptr && *display != '\0') << "runs under xvfb-run";
        for (const char *tool : tools) {
            if (!qvtest::haveTool(tool)) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        windowManager.start("openbox", {});
        ASSERT_TRUE(windowManager.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor(
            [] { return qvtest::runCommand({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).output.find(
                            "window id") != std::string::npos; },
            10000))
            << "openbox did not come up";
        if (!withTray) {
            return;
        }
        trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                                "--height", "24", "--SetDockType", "true"});
        ASSERT_TRUE(trayer.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000))
            << "trayer did not come up";
    }

    QProcess windowManager;
    QProcess trayer;
};
