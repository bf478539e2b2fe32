// The task properties dialog in the real program on an X server, driven with xdotool as a new user
// would: a new task typed in and started copies its files; its properties read back through the
// clipboard; OK and Cancel without changes leave its stored key byte-identical.
// qv-test-labels: x11 gui slow
// qv-test-run: xvfb
// qv-test-timeout: 300
#include "../ProgramProcessFixture.h"

#include <QDir>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";

class TaskPropertiesX11 : public ProgramProcessFixture
{
protected:
    std::vector<std::string> envOf() const
    {
        std::vector<std::string> e = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                                      "XDG_DATA_HOME=" + home + "/data", "XDG_CACHE_HOME=" + home + "/cache",
                                      "XDG_RUNTIME_DIR=" + home + "/run", "PATH=" + std::string(std::getenv("PATH"))};
        for (const char *name : {"DISPLAY", "XAUTHORITY"}) {
            if (const char *v = std::getenv(name)) {
                e.push_back(std::string(name) + "=" + v);
            }
        }
        for (const std::string &option : qvtest::sanitizerEnvironment()) {
            e.push_back(option);
        }
        return e;
    }
    qvtest::CommandResult in(std::vector<std::string> argv, int timeout = 60)
    {
        std::vector<std::string> cmd = {"env"};
        const auto e = envOf();
        cmd.insert(cmd.end(), e.begin(), e.end());
        cmd.insert(cmd.end(), argv.begin(), argv.end());
        return qvtest::runCommand(cmd, timeout);
    }
    std::string xdo(const std::vector<std::string> &args, int timeout = 20)
    {
        std::vector<std::string> cmd = {"xdotool"};
        cmd.insert(cmd.end(), args.begin(), args.end());
        const auto r = qvtest::runCommand(cmd, timeout);
        return r.exitCode == 0 ? r.output : std::string();
    }
    std::string window(const std::string &titleRegex)
    {
        std::string out = xdo({"search", "--sync", "--onlyvisible", "--name", titleRegex}, 30);
        return out.substr(0, out.find('\n'));
    }
    bool gone(const std::string &titleRegex)
    {
        for (int i = 0; i < 50; ++i) {
            if (xdo({"search", "--onlyvisible", "--name", titleRegex}).empty()) {
                return true;
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    void keys(const std::string &win, const std::vector<std::string> &k)
    {
        xdo({"windowfocus", "--sync", win});
        std::vector<std::string> args = {"key", "--delay", "80"};
        args.insert(args.end(), k.begin(), k.end());
        xdo(args);
    }
    void typeText(const std::string &text)
    {
        xdo({"key", "ctrl+a"});
        xdo({"type", "--delay", "20", text});
    }
    std::string clipboardOfFocused(const std::string &win)
    {
        keys(win, {"ctrl+a", "ctrl+c"});
        std::this_thread::sleep_for(200ms);
        return qvtest::runCommand({"xclip", "-o", "-selection", "clipboard"}, 10).output;
    }
    std::string exportTasks()
    {
        const std::string file = home + "/tasks.reg";
        const auto r = in({qvtest::binPath("qv-regtool"), "export", file, kKey + "\\Tasks"});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return qvtest::readFile(file);
    }
    void shoot(const std::string &win, const std::string &name)
    {
        const std::string dir = qvtest::binPath("../screenshots");
        QDir().mkpath(QString::fromStdString(dir));
        qvtest::runCommand({"import", "-window", win, dir + "/TaskPropertiesX11-" + name + ".png"});
    }
    // Properties of the selected task; returns the dialog's window.
    // Right after a run the task may still be ending (its log, its summary) when its files are all
    // in place: the program then says that a running task cannot be changed. As a user would, the
    // message is closed and Properties asked again, for up to 40 s.
    std::string openProperties(const std::string &main)
    {
        const auto deadline = std::chrono::steady_clock::now() + 40s;
        keys(main, {"alt+Return"});
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string dlg = xdo({"search", "--onlyvisible", "--name", "^Quorvellant Task Properties - \\["});
            if (!dlg.empty()) {
                return dlg.substr(0, dlg.find('\n'));
            }
            const std::string refused = xdo({"search", "--onlyvisible", "--name", "^Error$"});
            if (!refused.empty()) {
                keys(refused.substr(0, refused.find('\n')), {"Return"});
                EXPECT_TRUE(gone("^Error$"));
                std::this_thread::sleep_for(500ms);
                keys(main, {"alt+Return"});
            }
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }
    std::string home;
};

TEST_F(TaskPropertiesX11, NewTaskTypedInRunsAndReopensUnchanged)
{
    const char *display = std::getenv("DISPLAY");
    ASSERT_TRUE(display != nullptr && *display != '\0') << "runs under xvfb-run";
    for (const char *tool : {"xdotool", "xclip", "diff"}) {
        if (!qvtest::haveTool(tool)) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    home = qvtest::makeTempDir("taskprops-x11");
    qvtest::runShell("mkdir -p '" + home + "/run' && chmod 700 '" + home + "/run'");
    const std::string reg = "REGEDIT4\r\n\r\n[" + kKey + "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n\r\n[" + kKey +
                            "\\Startup and Shutdown]\r\n\"StartupShowSplash\"=dword:00000000\r\n";
    qvtest::writeFile(home + "/quiet.reg", reg);
    ASSERT_EQ(in({qvtest::binPath("qv-regtool"), "import", home + "/quiet.reg"}).exitCode, 0);
    const std::string src = home + "/Documents";
    const std::string dest = home + "/Backup";
    qvtest::writeFile(src + "/a.txt", "alpha");
    qvtest::writeFile(src + "/sub/b.txt", "beta");

    const pid_t p = spawn({"/SHOW"}, "program.log", envOf());
    const std::string main = window("^Quorvellant");
    ASSERT_FALSE(main.empty()) << qvtest::readFile(home + "/program.log");

    // New task: the tree has the focus on the first node; Source is two nodes down, Local/Lan two more.
    keys(main, {"ctrl+n"});
    std::string dlg = window("^Quorvellant Task Properties - \\[");
    ASSERT_FALSE(dlg.empty()) << "Ctrl+N opened no task dialog";
    keys(dlg, {"Down", "Down", "Tab"});
    typeText(src);
    keys(dlg, {"shift+Tab", "Down", "Down", "Tab"});
    typeText(dest);
    shoot(dlg, "NewTask");
    keys(dlg, {"Return"});
    ASSERT_TRUE(gone("^Quorvellant Task Properties")) << "Return (OK) closes the dialog";
    shoot(main, "AfterOk");

    const std::string exported = exportTasks();
    EXPECT_NE(exported.find("\"Source\"=\"" + src + "\""), std::string::npos) << exported;
    EXPECT_NE(exported.find("\"DestLocal\"=\"" + dest + "\""), std::string::npos) << exported;

    // Task > Start: the files arrive.
    keys(main, {"alt+t", "s"});
    bool same = false;
    for (int i = 0; i < 100 && !same; ++i) {
        std::this_thread::sleep_for(200ms);
        same = qvtest::runCommand({"diff", "-r", src, dest}, 10).exitCode == 0;
    }
    EXPECT_TRUE(same) << qvtest::runCommand({"diff", "-r", src, dest}, 10).output;
    shoot(main, "AfterRun");

    // Properties shows the same values.
    // The dialog opens on the page of the last OK; Home goes back to the first node.
    dlg = openProperties(main);
    ASSERT_FALSE(dlg.empty());
    keys(dlg, {"Home", "Down", "Down", "Tab"});
    EXPECT_EQ(clipboardOfFocused(dlg), src);
    keys(dlg, {"shift+Tab", "Down", "Down", "Tab"});
    EXPECT_EQ(clipboardOfFocused(dlg), dest);
    shoot(dlg, "Reopened");
    keys(dlg, {"Escape"});
    ASSERT_TRUE(gone("^Quorvellant Task Properties"));

    // OK and Cancel without changes keep the key byte-identical.
    const std::string before = exportTasks();
    dlg = openProperties(main);
    keys(dlg, {"Return"});
    ASSERT_TRUE(gone("^Quorvellant Task Properties"));
    EXPECT_EQ(exportTasks(), before) << "Properties then Return";
    dlg = openProperties(main);
    keys(dlg, {"Escape"});
    ASSERT_TRUE(gone("^Quorvellant Task Properties"));
    EXPECT_EQ(exportTasks(), before) << "Properties then Escape";

    const auto quit = in({program, "/EXITNOW"}, 30);
    EXPECT_EQ(quit.exitCode, 0) << quit.output;
    EXPECT_EQ(waitFor(p, 30), 0) << qvtest::readFile(home + "/program.log");
}

} // namespace
