// A new user's sessions on a desktop with a window manager (openbox) and a tray (trayer), driven from
// outside with real keys and clicks: the first start shows the window; a task made in the dialog
// copies a tree with blanks and non-ASCII letters in its names; Help comes up over the modal task
// dialog and takes typing; the tray menu's Exit ends the program; each restart finds the task and
// the pane sizes as they were left, maximised or not.
// qv-test-labels: x11 gui slow
// qv-test-run: xvfb
// qv-test-timeout: 420
#include "DesktopProgramFixture.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sstream>

namespace {

const std::string kMainKey = "\\Software\\Tavimundrelo\\Quorvellant\\Main";
const std::string kTaskName = "Tägliche Sicherung";

class DesktopSessionX11 : public DesktopProgramFixture
{
protected:
    void TearDown() override
    {
        if (HasFailure()) {
            shoot("root", "failure"); // what the screen showed
        }
        DesktopProgramFixture::TearDown();
    }
    std::string activeWindow()
    {
        std::string w = xdo({"getactivewindow"});
        return w.substr(0, w.find('\n'));
    }
    void typeText(const std::string &text) { xdo({"type", "--delay", "30", text}); }
    // Text with letters the keyboard map lacks goes in through the clipboard (Ctrl+V): xdotool
    // types them by remapping a key for an instant, which a busy program may read too late.
    void pasteText(const std::string &win, const std::string &text)
    {
        const std::string file = home + "/clip.txt";
        qvtest::writeFile(file, text);
        ASSERT_EQ(qvtest::runShell("xclip -selection clipboard -i '" + file + "' >/dev/null 2>&1").exitCode, 0);
        keys(win, {"ctrl+v"});
    }
    std::string stored(const std::string &value)
    {
        const auto r = qvtest::runCommand([&] {
            std::vector<std::string> cmd = {"env"};
            cmd.insert(cmd.end(), env.begin(), env.end());
            cmd.insert(cmd.end(), {qvtest::binPath("qv-regtool"), "get", kMainKey, value});
            return cmd;
        }());
        return r.output.substr(0, r.output.find('\n'));
    }
    // The pane sizes and the placement as the program last stored them.
    std::string layout()
    {
        std::string s;
        for (const char *v : {"GroupsPanelWidth", "LogPanelHeight", "WindowShowCmd", "WindowNormalPositionLeft",
                              "WindowNormalPositionTop", "WindowNormalPositionRight", "WindowNormalPositionBottom"}) {
            s += std::string(v) + "=" + stored(v) + " ";
        }
        return s;
    }
    // The tray icon: the program's window that the tray host holds.
    QPoint trayIconCentre()
    {
        for (int i = 0; i < 100; ++i) {
            std::istringstream ids(xdo({"search", "--class", "quorvellant"}));
            for (std::string id; std::getline(ids, id);) {
                const std::string g = xdo({"getwindowgeometry", "--shell", id});
                int x = 0, y = 0, w = 0, h = 0;
                if (std::sscanf(g.c_str(), "WINDOW=%*d\nX=%d\nY=%d\nWIDTH=%d\nHEIGHT=%d", &x, &y, &w, &h) == 4 &&
                    y < 24 && x >= 1280 - 120 && w > 4 && w <= 32 && h > 4 && h <= 32) {
                    return {x + w / 2, y + h / 2};
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }
    void clickAt(QPoint p, const std::string &button, int repeat = 1)
    {
        // A move to where the pointer already is would wait for a motion that never comes.
        int x = -1, y = -1;
        const std::string at = xdo({"getmouselocation", "--shell"});
        if (std::sscanf(at.c_str(), "X=%d\nY=%d", &x, &y) != 2 || x != p.x() || y != p.y()) {
            xdo({"mousemove", "--sync", std::to_string(p.x()), std::to_string(p.y())});
        }
        xdo({"click", "--repeat", std::to_string(repeat), "--delay", "120", button});
    }
    void exitThroughTray(pid_t pid)
    {
        const QPoint icon = trayIconCentre();
        ASSERT_FALSE(icon.isNull()) << "no tray icon";
        std::string confirm;
        // A menu that opened too late for the keys is closed and opened again.
        for (int attempt = 0; attempt < 3 && confirm.empty(); ++attempt) {
            clickAt(icon, "3");
            std::this_thread::sleep_for(500ms);
            xdo({"key", "--delay", "120", "Up", "Return"}); // the menu's last item: Exit
            confirm = window("^Quorvellant Shutdown$", 10);
            if (confirm.empty()) {
                xdo({"key", "Escape"});
            }
        }
        ASSERT_FALSE(confirm.empty()) << "Exit asks first";
        keys(confirm, {"Return"});
        EXPECT_EQ(waitFor(pid, 40), 0) << qvtest::readFile(home + "/program.log");
    }
    // Shows the window hidden in the tray (a double click on the icon) and checks the task is there:
    // the dialog of the selected task carries its name; Escape leaves it and stores the layout.
    std::string showFromTrayAndFindTheTask()
    {
        clickAt(trayIconCentre(), "1", 2);
        const std::string main = window("^Quorvellant$", 15);
        EXPECT_FALSE(main.empty()) << "a double click on the tray icon shows the window\n"
                                   << programWindows();
        if (main.empty()) {
            return main;
        }
        const std::string dlg = openProperties(main);
        EXPECT_EQ(title(dlg), "Quorvellant Task Properties - [" + kTaskName + "]");
        keys(dlg, {"Escape"});
        EXPECT_TRUE(gone("^Quorvellant Task Properties"));
        return main;
    }
    // The program's windows: their map state, title and the window manager's state, for a failure.
    std::string programWindows()
    {
        std::string out;
        std::istringstream ids(xdo({"search", "--any", "--class", "--name", "quorvellant"}));
        for (std::string id; std::getline(ids, id);) {
            const std::string info = qvtest::runCommand({"xwininfo", "-id", id}).output;
            const auto map = info.find("Map State:");
            const std::string state = map == std::string::npos ? "" : info.substr(map, info.find('\n', map) - map);
            out += id + " \"" + title(id) + "\" " + state + " " +
                   qvtest::runCommand({"xprop", "-id", id, "WM_STATE", "_NET_WM_STATE"}).output;
        }
        return out;
    }
    // The window's client area on the screen (xwininfo reads it through the window manager's frame);
    // remembers the height of the frame's title bar above it.
    QRect placement(const std::string &win)
    {
        const std::string info = qvtest::runCommand({"xwininfo", "-id", win}).output;
        auto number = [&](const std::string &label) {
            const auto at = info.find(label);
            return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + label.size());
        };
        m_titleHeight = number("Relative upper-left Y:");
        return {number("Absolute upper-left X:"), number("Absolute upper-left Y:"), number("Width:"),
                number("Height:")};
    }
    int m_titleHeight = 0;

    // Properties of the selected task; while its run is finishing the program says so, and the
    // user tries again.
    std::string openProperties(const std::string &main)
    {
        for (int attempt = 0; attempt < 30; ++attempt) {
            keys(main, {"alt+Return"});
            for (int i = 0; i < 50; ++i) {
                const std::string dlg = xdo({"search", "--onlyvisible", "--name", "^Quorvellant Task Properties - \\["});
                if (!dlg.empty()) {
                    return dlg.substr(0, dlg.find('\n'));
                }
                const std::string refused = xdo({"search", "--onlyvisible", "--name", "^Error$"});
                if (!refused.empty()) {
                    keys(refused.substr(0, refused.find('\n')), {"Return"});
                    gone("^Error$");
                    std::this_thread::sleep_for(500ms);
                    break;
                }
                std::this_thread::sleep_for(200ms);
            }
        }
        return {};
    }

    QImage grab(const std::string &win)
    {
        const std::string file = home + "/grab.png";
        qvtest::runCommand({"import", "-window", win, file});
        return QImage(QString::fromStdString(file));
    }
    void shoot(const std::string &win, const std::string &name)
    {
        const std::string dir = qvtest::binPath("../screenshots");
        QDir().mkpath(QString::fromStdString(dir));
        qvtest::runCommand({"import", "-window", win, dir + "/DesktopSessionX11-" + name + ".png"});
    }

    // Whether the window's frame (its client area and the title bar above it) lies wholly on the
    // 1280 x 1024 screen.
    bool whollyOnScreen(const std::string &win, std::string &where)
    {
        const QRect client = placement(win);
        const QRect frame = client.adjusted(0, -m_titleHeight, 0, 0);
        where = std::to_string(frame.x()) + "," + std::to_string(frame.y()) + " " + std::to_string(frame.width()) +
                "x" + std::to_string(frame.height());
        return client.isValid() && QRect(0, 0, 1280, 1024).contains(frame);
    }
};

TEST_F(DesktopSessionX11, FirstStartTaskHelpTrayExitAndRestarts)
{
    startDesktop(true, {"openbox", "trayer", "xdotool", "xclip", "xwininfo", "xprop", "import", "diff"});
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const std::string src = home + "/Meine Dokumente";
    const std::string dest = home + "/Sicherung Ziel";
    qvtest::writeFile(src + "/Berichte 2026/Q1 final/Zusammenfassung März.txt", "erste Zeile\n");
    qvtest::writeFile(src + "/Berichte 2026/leer bis auf/eine Datei.txt", "x");
    qvtest::writeFile(src + "/Fotos/Sommer am Meer/Strand 01.jpg", std::string(70000, '\x7f'));
    qvtest::writeFile(src + "/oben.txt", "top");

    // First start, nothing stored: the window shows although "Run minimized" is on by default.
    pid_t p = spawn({}, "program.log", env);
    std::string main = window("^Quorvellant$");
    ASSERT_FALSE(main.empty()) << qvtest::readFile(home + "/program.log");
    const std::string quickStart = window("^Quorvellant Help - Quick start$", 10);
    ASSERT_FALSE(quickStart.empty()) << "the first start opens the quick start";
    keys(quickStart, {"alt+F4"});
    ASSERT_TRUE(gone("^Quorvellant Help"));

    // A new task: name, source (Down x2), destination's Local/Lan page (Down x2 more), OK.
    keys(main, {"ctrl+n"});
    std::string dlg = window("^Quorvellant Task Properties - \\[");
    ASSERT_FALSE(dlg.empty()) << "Ctrl+N opened no task dialog";
    keys(dlg, {"Tab", "ctrl+a"});
    pasteText(dlg, kTaskName);
    keys(dlg, {"shift+Tab", "Down", "Down", "Tab"});
    typeText(src);
    keys(dlg, {"shift+Tab", "Down", "Down", "Tab"});
    typeText(dest);
    EXPECT_EQ(title(dlg), "Quorvellant Task Properties - [" + kTaskName + "]");
    keys(dlg, {"Return"});
    ASSERT_TRUE(gone("^Quorvellant Task Properties")) << "Return (OK) closes the dialog";

    // Task > Start from the window: the tree arrives whole.
    keys(main, {"alt+t", "s"});
    bool same = false;
    for (int i = 0; i < 150 && !same; ++i) {
        std::this_thread::sleep_for(200ms);
        same = qvtest::runCommand({"diff", "-r", src, dest}, 10).exitCode == 0;
    }
    EXPECT_TRUE(same) << qvtest::runCommand({"diff", "-r", src, dest}, 10).output;

    // F1 in the modal task dialog: Help comes up in front, on the page shown, and takes typing in
    // its index while the dialog stays open.
    dlg = openProperties(main);
    ASSERT_FALSE(dlg.empty());
    keys(dlg, {"Home", "F1"});
    const std::string help = window("^Quorvellant Help - Task name$", 10);
    ASSERT_FALSE(help.empty()) << "F1 on the name page opens its topic";
    EXPECT_TRUE(QTest::qWaitFor([&] { return activeWindow() == help; }, 5000)) << "Help is not in front";
    xdo({"key", "--delay", "100", "alt+i"});
    std::this_thread::sleep_for(300ms);
    const QImage before = grab(help);
    xdo({"type", "--delay", "60", "timer"});
    std::this_thread::sleep_for(500ms);
    const QImage after = grab(help);
    ASSERT_FALSE(before.isNull());
    EXPECT_NE(before, after) << "typing into the help's index changed nothing: the help is blocked";
    EXPECT_FALSE(window("^Quorvellant Task Properties - \\[", 1).empty()) << "the dialog stays open";
    shoot("root", "HelpOverTaskDialog");
    keys(help, {"alt+F4"});
    ASSERT_TRUE(gone("^Quorvellant Help"));
    keys(dlg, {"Escape"}); // Cancel stores the layout too
    ASSERT_TRUE(gone("^Quorvellant Task Properties"));
    const std::string firstLayout = layout();

    exitThroughTray(p);

    // Second start: in the tray ("Run minimized"); the task and the layout are back. Maximised
    // with a double click on the title bar, it stores the maximised layout.
    p = spawn({}, "program.log", env);
    main = showFromTrayAndFindTheTask();
    ASSERT_FALSE(main.empty());
    EXPECT_EQ(layout(), firstLayout);
    const QRect normal = placement(main);
    ASSERT_TRUE(normal.isValid());
    clickAt({normal.center().x(), normal.top() - m_titleHeight / 2}, "1", 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return placement(main).width() > 1200; }, 5000))
        << "the window did not maximise";
    std::this_thread::sleep_for(300ms);
    ASSERT_FALSE(openProperties(main).empty());
    xdo({"key", "Escape"});
    ASSERT_TRUE(gone("^Quorvellant Task Properties"));
    const std::string maximisedLayout = layout();
    EXPECT_NE(maximisedLayout.find("WindowShowCmd=03,"), std::string::npos) << maximisedLayout;
    exitThroughTray(p);
    EXPECT_EQ(layout(), maximisedLayout);

    // Third start: maximised again, the same panes.
    p = spawn({}, "program.log", env);
    main = showFromTrayAndFindTheTask();
    ASSERT_FALSE(main.empty());
    EXPECT_EQ(layout(), maximisedLayout);
    shoot(main, "MaximisedMainWindow");
    exitThroughTray(p);
    EXPECT_EQ(layout(), maximisedLayout);
}

// The stored layout with a window placed low on the screen: runs that never show the window keep
// it as it is, the help over the task dialog lies wholly on the screen, and a maximised window
// hidden into the tray and shown again keeps its panes.
class DesktopLayoutX11 : public DesktopSessionX11
{
};

TEST_F(DesktopLayoutX11, RunsWithoutTheWindowKeepTheLayoutAndWindowsStayOnScreen)
{
    startDesktop(true, {"openbox", "trayer", "xdotool", "xclip", "xwininfo", "xprop", "import", "diff"});
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const std::string src = home + "/Quelle";
    const std::string dest = home + "/Ziel";
    qvtest::writeFile(src + "/eins.txt", "eins");
    const std::string key = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";
    const std::string id = "LAYOUT000000000000001";
    std::ostringstream reg;
    reg << "REGEDIT4\r\n\r\n"
        << "[" << key << "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n\"GroupsPanelWidth\"=dword:0000012c\r\n"
        << "\"LogPanelHeight\"=dword:000000fa\r\n\"WindowShowCmd\"=hex:01,00,00,00\r\n"
        << "\"CurrentProject\"=\"" << id << "\"\r\n"
        << "\"WindowNormalPositionLeft\"=dword:00000064\r\n\"WindowNormalPositionTop\"=dword:00000208\r\n"
        << "\"WindowNormalPositionRight\"=dword:0000032c\r\n\"WindowNormalPositionBottom\"=dword:000003e1\r\n\r\n"
        << "[" << key << "\\Startup and Shutdown]\r\n\"StartupShowSplash\"=dword:00000000\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "]\r\n\"Name\"=\"" << kTaskName << "\"\r\n\"ID\"=\"" << id
        << "\"\r\n\"TaskType\"=\"ttSimpleCopy\"\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "\\Source]\r\n\"Source\"=\"" << src << "\"\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "\\Destination]\r\n\"DestLocal\"=\"" << dest << "\"\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "\\Filters\\1]\r\n\"Enabled\"=dword:00000001\r\n"
        << "\"FilterType\"=\"fitInclude\"\r\n\"FilterKind\"=\"fikFileName\"\r\n\"fnKind\"=\"fnkWildcard\"\r\n"
        << "\"fnWildcard\"=\"*.*\"\r\n\r\n";
    qvtest::writeFile(home + "/layout.reg", reg.str());
    std::vector<std::string> import = {"env"};
    import.insert(import.end(), env.begin(), env.end());
    import.insert(import.end(), {qvtest::binPath("qv-regtool"), "import", home + "/layout.reg"});
    const auto imported = qvtest::runCommand(import);
    ASSERT_EQ(imported.exitCode, 0) << imported.output;
    const std::string stored = layout();
    ASSERT_NE(stored.find("GroupsPanelWidth=300 LogPanelHeight=250 "), std::string::npos) << stored;

    // Started into the tray ("Run minimized") and left from there without ever showing.
    pid_t p = spawn({}, "program.log", env);
    ASSERT_FALSE(trayIconCentre().isNull());
    exitThroughTray(p);
    EXPECT_EQ(layout(), stored) << "a run in the tray changed the stored layout";

    // What a desktop shortcut runs: the task, then the end, the window never shown.
    EXPECT_EQ(runToEnd({"/RunProject=" + kTaskName, "/ExitWhenIdle"}, 90), 0) << qvtest::readFile(home + "/second.log");
    EXPECT_EQ(qvtest::readFile(dest + "/eins.txt"), "eins"); // it ran
    EXPECT_EQ(layout(), stored) << "a command-line run changed the stored layout";

    // Shown low on the screen: Help asked from the task dialog lies wholly on the screen.
    p = spawn({}, "program.log", env);
    std::string main = showFromTrayAndFindTheTask();
    ASSERT_FALSE(main.empty());
    std::string where;
    EXPECT_TRUE(whollyOnScreen(main, where)) << "main window at " << where;
    const std::string dlg = openProperties(main);
    ASSERT_FALSE(dlg.empty());
    EXPECT_TRUE(whollyOnScreen(dlg, where)) << "task dialog at " << where;
    keys(dlg, {"F1"});
    const std::string help = window("^Quorvellant Help", 10);
    ASSERT_FALSE(help.empty()) << "F1 opened no help";
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(whollyOnScreen(help, where)) << "help window at " << where;
    keys(help, {"alt+F4"});
    ASSERT_TRUE(gone("^Quorvellant Help"));
    keys(dlg, {"Escape"});
    ASSERT_TRUE(gone("^Quorvellant Task Properties"));

    // Maximised, minimised into the tray and shown again: maximised, the same panes.
    const QRect normal = placement(main);
    clickAt({normal.center().x(), normal.top() - m_titleHeight / 2}, "1", 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return placement(main).width() > 1200; }, 5000)) << "not maximised";
    std::this_thread::sleep_for(300ms);
    ASSERT_FALSE(openProperties(main).empty());
    xdo({"key", "Escape"});
    ASSERT_TRUE(gone("^Quorvellant Task Properties"));
    const std::string maximised = layout();
    EXPECT_NE(maximised.find("WindowShowCmd=03,"), std::string::npos) << maximised;
    xdo({"windowminimize", main});
    // Minimised first (iconic), then taken into the tray by the program (withdrawn).
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::string state = qvtest::runCommand({"xprop", "-id", main, "WM_STATE"}).output;
            return state.find("Iconic") == std::string::npos && state.find("Normal") == std::string::npos;
        },
        15000))
        << "minimising hides the window into the tray";
    main = showFromTrayAndFindTheTask();
    ASSERT_FALSE(main.empty());
    EXPECT_GT(placement(main).width(), 1200) << "the window came back at its normal size";
    EXPECT_EQ(layout(), maximised) << "hiding and showing the maximised window moved its panes";
    // Hidden with the close button and shown again: the same.
    keys(main, {"alt+F4"});
    ASSERT_TRUE(gone("^Quorvellant$")) << "the close button hides the window into the tray";
    main = showFromTrayAndFindTheTask();
    ASSERT_FALSE(main.empty());
    EXPECT_EQ(layout(), maximised);
    shoot("root", "MaximisedAgain");
    exitThroughTray(p);
}

// The layout left with the tips panel hidden comes back as it was over starts and exits, maximised
// or not, and a start minimised with no tray to go into (the default "Run minimized") leaves it too.
class DesktopRestartLayoutX11 : public DesktopSessionX11
{
};

TEST_F(DesktopRestartLayoutX11, TheLayoutLeftWithTheTipsHiddenComesBackOverRestarts)
{
    startDesktop(false, {"openbox", "xdotool", "xwininfo", "xprop"});
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const std::string key = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";
    const std::string id = "LAYOUT000000000000002";
    auto import = [&](const char *showCmd, bool runMinimized) {
        std::ostringstream reg;
        reg << "REGEDIT4\r\n\r\n[" << key << "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n"
            << "\"GroupsPanelWidth\"=dword:000000c8\r\n\"LogPanelHeight\"=dword:00000096\r\n"
            << "\"TipsPanelVisible\"=dword:00000000\r\n\"WindowShowCmd\"=hex:" << showCmd << ",00,00,00\r\n"
            << "\"CurrentProject\"=\"" << id << "\"\r\n"
            << "\"WindowNormalPositionLeft\"=dword:00000064\r\n\"WindowNormalPositionTop\"=dword:00000064\r\n"
            << "\"WindowNormalPositionRight\"=dword:0000032c\r\n\"WindowNormalPositionBottom\"=dword:"
               "000002bc\r\n\r\n"
            << "[" << key << "\\Startup and Shutdown]\r\n\"StartupShowSplash\"=dword:00000000\r\n"
            << "\"StartupRunMinimized\"=dword:0000000" << (runMinimized ? 1 : 0) << "\r\n\r\n"
            << "[" << key << "\\Tasks\\" << id << "]\r\n\"Name\"=\"" << kTaskName << "\"\r\n\"ID\"=\"" << id
            << "\"\r\n\"TaskType\"=\"ttSimpleCopy\"\r\n\r\n";
        qvtest::writeFile(home + "/layout.reg", reg.str());
        std::vector<std::string> cmd = {"env"};
        cmd.insert(cmd.end(), env.begin(), env.end());
        cmd.insert(cmd.end(), {qvtest::binPath("qv-regtool"), "import", home + "/layout.reg"});
        const auto imported = qvtest::runCommand(cmd);
        ASSERT_EQ(imported.exitCode, 0) << imported.output;
    };
    // SIGTERM takes the way out every exit takes, the settings saved.
    auto end = [&](pid_t p) {
        ::kill(p, SIGTERM);
        EXPECT_EQ(waitFor(p, 40), 0);
    };
    for (const char *showCmd : {"01", "03"}) {
        SCOPED_TRACE(showCmd);
        import(showCmd, false);
        const std::string stored = layout();
        ASSERT_NE(stored.find("GroupsPanelWidth=200 LogPanelHeight=150 "), std::string::npos) << stored;
        for (int start = 1; start <= 3; ++start) {
            const pid_t p = spawn({}, "program.log", env);
            const std::string main = window("^Quorvellant$");
            ASSERT_FALSE(main.empty()) << programWindows();
            // The task's dialog answers the keys: the window has taken its stored layout.
            const std::string dlg = openProperties(main);
            ASSERT_FALSE(dlg.empty());
            keys(dlg, {"Escape"});
            ASSERT_TRUE(gone("^Quorvellant Task Properties"));
            end(p);
            EXPECT_EQ(layout(), stored) << "start " << start;
        }
    }
    // No tray: "Run minimized" shows the window minimised; its exit keeps the layout.
    import("01", true);
    const std::string stored = layout();
    const pid_t p = spawn({}, "program.log", env);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            // Of the program's windows with that title (the toolkit has a hidden one too).
            std::istringstream ids(xdo({"search", "--name", "^Quorvellant$"}));
            for (std::string id; std::getline(ids, id);) {
                if (qvtest::runCommand({"xprop", "-id", id, "WM_STATE"}).output.find("Iconic") !=
                    std::string::npos) {
                    return true;
                }
            }
            return false;
        },
        30000))
        << programWindows();
    end(p);
    EXPECT_EQ(layout(), stored);
}

} // namespace
