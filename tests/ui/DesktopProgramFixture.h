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
#include <string>
#include <vector>

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

    // xdotool's output, or empty when it failed.
    std::string xdo(const std::vector<std::string> &args, int timeout = 20)
    {
        std::vector<std::string> cmd = {"xdotool"};
        cmd.insert(cmd.end(), args.begin(), args.end());
        const auto r = qvtest::runCommand(cmd, timeout);
        return r.exitCode == 0 ? r.output : std::string();
    }
    // The first visible window whose title matches, waiting for it up to `seconds`.
    std::string window(const std::string &titleRegex, int seconds = 30)
    {
        for (int i = 0; i < seconds * 5; ++i) {
            const std::string out = xdo({"search", "--onlyvisible", "--name", titleRegex});
            if (!out.empty()) {
                return out.substr(0, out.find('\n'));
            }
            std::this_thread::sleep_for(200ms);
        }
        return {};
    }
    // Whether no visible window's title matches, waiting up to 10 s for it to go.
    bool gone(const std::string &titleRegex)
    {
        for (int i = 0; i < 100; ++i) {
            if (xdo({"search", "--onlyvisible", "--name", titleRegex}).empty()) {
                return true;
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    std::string title(const std::string &win)
    {
        const std::string t = xdo({"getwindowname", win});
        return t.substr(0, t.find('\n'));
    }
    // Keys to a window the user has clicked into first.
    void keys(const std::string &win, const std::vector<std::string> &k)
    {
        xdo({"windowactivate", "--sync", win});
        std::vector<std::string> args = {"key", "--delay", "100"};
        args.insert(args.end(), k.begin(), k.end());
        xdo(args);
    }

    QProcess windowManager;
    QProcess trayer;
};
