// The options dialog tried as a user would: the real program on an X server, driven by keys through
// xdotool, in its own HOME and XDG folders: autostart, language, a default task
// password, and alert changes dropped by Cancel across a real exit.
// qv-test-labels: x11 slow
// qv-test-run: xvfb
// qv-test-timeout: 300
#include "ProgramProcessFixture.h"

#include <sys/stat.h>

namespace {

class PrefsAcceptanceX11 : public ProgramProcessFixture
{
protected:
    void SetUp() override
    {
        ProgramProcessFixture::SetUp();
        const char *display = std::getenv("DISPLAY");
        ASSERT_TRUE(display != nullptr && *display != '\0') << "runs under xvfb-run";
        shown = env;
        shown.push_back("DISPLAY=" + std::string(display));
        if (const char *auth = std::getenv("XAUTHORITY")) {
            shown.push_back("XAUTHORITY=" + std::string(auth));
        }
        // A user past the first start: no quick-start page, no splash, the window shown.
        const std::string reg = home + "/first.reg";
        qvtest::writeFile(reg, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Main]\n"
                               "\"FirstStart\"=dword:00000000\n\n"
                               "[HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Startup and Shutdown]\n"
                               "\"StartupRunMinimized\"=dword:00000000\n\"StartupShowSplash\"=dword:00000000\n");
        ::mkdir((home + "/config").c_str(), 0700);
        ::mkdir((home + "/config/quorvellant").c_str(), 0700);
        auto r = qvtest::runCommand(
            {qvtest::binPath("qv-regtool"), "--db", home + "/config/quorvellant/registry.db", "import", reg});
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    // The id of a window whose title matches `pattern`, waiting for it ("" when none came).
    std::string waitForWindow(const std::string &pattern, int ms = 15000)
    {
        for (int i = 0; i < ms / 100; ++i) {
            auto r = qvtest::runCommand({"xdotool", "search", "--onlyvisible", "--name", pattern}, 5);
            if (r.exitCode == 0 && !r.output.empty()) {
                return r.output.substr(0, r.output.find('\n'));
            }
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }
    void keys(const std::string &window, const std::vector<std::string> &sequence)
    {
        qvtest::runCommand({"xdotool", "windowfocus", "--sync", window}, 5);
        for (const std::string &k : sequence) {
            auto r = qvtest::runCommand({"xdotool", "key", "--delay", "60", k}, 5);
            ASSERT_EQ(r.exitCode, 0) << r.output;
            std::this_thread::sleep_for(150ms);
        }
    }
    pid_t start()
    {
        const pid_t pid = spawn({}, "program.log", shown);
        main = waitForWindow("^Quorvellant");
        EXPECT_FALSE(main.empty()) << qvtest::readFile(home + "/program.log");
        return pid;
    }
    void stop(pid_t pid)
    {
        EXPECT_EQ(runToEnd({"/EXITNOW"}, 30), 0);
        EXPECT_EQ(waitFor(pid, 40), 0) << qvtest::readFile(home + "/program.log");
    }
    // Opens Options > <item> from the main window's menu and waits for the dialog.
    std::string openOptions(const std::string &itemKey)
    {
        keys(main, {"alt+o", itemKey});
        const std::string dialog = waitForWindow("^Quorvellant Preferences$|Einstellungen");
        EXPECT_FALSE(dialog.empty()) << "the options dialog did not open";
        return dialog;
    }
    // Types `text` into the focused field, one character at a time.
    void typeText(const std::string &text)
    {
        auto r = qvtest::runCommand({"xdotool", "type", "--delay", "40", text}, 20);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        std::this_thread::sleep_for(150ms);
    }
    // Waits until no visible window's title matches `pattern`.
    bool gone(const std::string &pattern)
    {
        for (int i = 0; i < 100; ++i) {
            auto r = qvtest::runCommand({"xdotool", "search", "--onlyvisible", "--name", pattern}, 5);
            if (r.exitCode != 0 || r.output.empty()) {
                return true;
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    void shoot(const std::string &window, const std::string &name)
    {
        const std::string dir = qvtest::binPath("../screenshots/options");
        qvtest::runShell("mkdir -p '" + dir + "'");
        qvtest::runCommand({"import", "-window", window, dir + "/PrefsAcceptanceX11-" + name + ".png"}, 20);
    }
    std::vector<std::string> shown;
    std::string main;
};

TEST_F(PrefsAcceptanceX11, AutostartEntryFollowsTheBox)
{
    QV_REQUIRE_TOOL("xdotool");
    QV_REQUIRE_TOOL("desktop-file-validate");
    const std::string entry = home + "/config/autostart/quorvellant.desktop";
    const pid_t pid = start();
    ASSERT_FALSE(main.empty());
    std::string dialog = openOptions("s");
    ASSERT_FALSE(dialog.empty());
    keys(dialog, {"space", "Return"});
    for (int i = 0; i < 50 && ::access(entry.c_str(), F_OK) != 0; ++i) {
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_EQ(::access(entry.c_str(), F_OK), 0) << "no autostart entry after checking the box";
    auto v = qvtest::runCommand({"desktop-file-validate", entry});
    EXPECT_EQ(v.exitCode, 0) << v.output << qvtest::readFile(entry);

    dialog = openOptions("s");
    ASSERT_FALSE(dialog.empty());
    keys(dialog, {"space", "Return"});
    for (int i = 0; i < 50 && ::access(entry.c_str(), F_OK) == 0; ++i) {
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_NE(::access(entry.c_str(), F_OK), 0) << "the autostart entry stayed after unchecking the box";
    stop(pid);
}

TEST_F(PrefsAcceptanceX11, ChosenLanguageTitlesTheWindowAfterARestart)
{
    QV_REQUIRE_TOOL("xdotool");
    const std::string lang = home + "/data/quorvellant/lang";
    qvtest::runShell("mkdir -p '" + lang + "'");
    qvtest::writeFile(lang + "/alpha.lng", "[MainForm]\nMainForm.Caption=Quorvellant Alpha\n");
    qvtest::writeFile(lang + "/Beta.lng", "[MainForm]\nMainForm.Caption=Quorvellant Beta\n");

    pid_t pid = start();
    ASSERT_FALSE(main.empty());
    std::string dialog = openOptions("i");
    ASSERT_FALSE(dialog.empty());
    keys(dialog, {"Down", "Return"}); // English (Default) -> Alpha
    stop(pid);

    pid = spawn({}, "program.log", shown);
    EXPECT_FALSE(waitForWindow("^Quorvellant Alpha$").empty()) << qvtest::readFile(home + "/program.log");
    main = waitForWindow("^Quorvellant Alpha$");
    dialog = openOptions("i");
    ASSERT_FALSE(dialog.empty());
    keys(dialog, {"Down", "Return"}); // Alpha -> Beta
    stop(pid);

    pid = spawn({}, "program.log", shown);
    EXPECT_FALSE(waitForWindow("^Quorvellant Beta$").empty()) << qvtest::readFile(home + "/program.log");
    stop(pid);
}

TEST_F(PrefsAcceptanceX11, DefaultPasswordGuardsATaskThatUsesIt)
{
    QV_REQUIRE_TOOL("xdotool");
    // One task, with every group on the program's defaults (nothing stored for its protection).
    const std::string key = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant\\Tasks\\PREFSPWD00000000001";
    qvtest::writeFile(home + "/task.reg", "REGEDIT4\n\n[" + key +
                                              "]\n\"Name\"=\"Reports\"\n\"ID\"=\"PREFSPWD00000000001\"\n"
                                              "\"TaskType\"=\"ttSimpleCopy\"\n\n[" +
                                              key + "\\Source]\n\"Source\"=\"" + home + "/src\"\n\n[" + key +
                                              "\\Destination]\n\"DestLocal\"=\"" + home + "/dest\"\n");
    auto r = qvtest::runCommand({qvtest::binPath("qv-regtool"), "--db", home + "/config/quorvellant/registry.db",
                                 "import", home + "/task.reg"});
    ASSERT_EQ(r.exitCode, 0) << r.output;

    const pid_t pid = start();
    ASSERT_FALSE(main.empty());
    // Options > Task's Defaults opens on the node list; the fifth node is the password panel.
    std::string dialog = openOptions("t");
    ASSERT_FALSE(dialog.empty());
    keys(dialog, {"Down", "Down", "Down", "Down", "Tab"});
    // No password yet: the current entry is empty and matches; check the box and type the new one twice.
    keys(dialog, {"Tab", "space", "Tab"});
    typeText("s3cret");
    keys(dialog, {"Tab"});
    typeText("s3cret");
    shoot(dialog, "DefaultPassword");
    keys(dialog, {"Return"});
    ASSERT_TRUE(gone("^Quorvellant Preferences$")) << "OK did not close the options dialog";

    // Task > Properties on the task: the prompt comes first.
    const std::string props = "^Quorvellant Task Properties - \\[";
    const std::string prompt = "^Enter password to continue$";
    // The group tree has the keyboard; Tab goes to the task list, Space selects its only task.
    keys(main, {"Tab", "space"});
    shoot(main, "TaskChosen");
    keys(main, {"alt+Return"});
    std::string ask = waitForWindow(prompt);
    ASSERT_FALSE(ask.empty()) << "no password prompt for a task on the default protection";
    keys(ask, {});
    typeText("wrong");
    keys(ask, {"Return"});
    const std::string error = waitForWindow("^Error$");
    ASSERT_FALSE(error.empty()) << "a wrong password was not refused";
    shoot(error, "WrongPassword");
    keys(error, {"Return"});
    ASSERT_TRUE(gone("^Error$"));
    EXPECT_TRUE(waitForWindow(props, 1000).empty()) << "a wrong password opened the properties";

    keys(main, {"alt+Return"});
    ask = waitForWindow(prompt);
    ASSERT_FALSE(ask.empty()) << "no password prompt the second time";
    keys(ask, {});
    typeText("s3cret");
    keys(ask, {"Return"});
    const std::string opened = waitForWindow(props);
    EXPECT_FALSE(opened.empty()) << "the right password did not open the properties";
    if (!opened.empty()) {
        keys(opened, {"Escape"});
        EXPECT_TRUE(gone(props));
    }
    stop(pid);
}

TEST_F(PrefsAcceptanceX11, AlertModesSwitchedThenCancelLeaveTheStoreAsTheExitSavesIt)
{
    QV_REQUIRE_TOOL("xdotool");
    const std::string db = home + "/config/quorvellant/registry.db";
    auto exportStore = [&](const std::string &name) {
        const std::string file = home + "/" + name + ".reg";
        auto r = qvtest::runCommand({qvtest::binPath("qv-regtool"), "--db", db, "export", file});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        // Every start moves the tips panel on to its next tip; that line is not the dialog's.
        std::string text = qvtest::readFile(file);
        const std::size_t tip = text.find("\"LastTip\"=");
        if (tip != std::string::npos) {
            text.erase(tip, text.find('\n', tip) + 1 - tip);
        }
        return text;
    };
    // Event Alerts is the seventh node: tick the first box of one mode, switch the mode, tick again.
    // From the tree, Tab reaches the mode list, then the scrolled panel, then its first box.
    auto editAlerts = [&](const std::string &closeKey) {
        const pid_t pid = start();
        ASSERT_FALSE(main.empty());
        const std::string dialog = openOptions("t");
        ASSERT_FALSE(dialog.empty());
        keys(dialog, {"Down", "Down", "Down", "Down", "Down", "Down", "Tab", "Tab", "Tab", "space",
                      "shift+Tab", "shift+Tab", "Down", "Tab", "Tab", "space"});
        shoot(dialog, "AlertsBefore" + closeKey);
        keys(dialog, {closeKey});
        EXPECT_TRUE(gone("^Quorvellant Preferences$"));
        stop(pid);
    };
    // A first start and exit writes everything an exit saves.
    const pid_t first = start();
    ASSERT_FALSE(main.empty());
    stop(first);
    const std::string before = exportStore("before");
    ASSERT_NE(before.find("EventsManualErrorDialog"), std::string::npos) << before;

    editAlerts("Escape");
    EXPECT_EQ(exportStore("cancelled"), before) << "Cancel let alert changes reach the store";

    // The same keys with OK do change it, so the keys above reached the panel.
    editAlerts("Return");
    const std::string accepted = exportStore("accepted");
    EXPECT_NE(accepted, before) << "the keys changed no alert";
    for (const char *ticked :
         {"\"EventsScheduledStartDialog\"=dword:00000001", "\"EventsManualStartDialog\"=dword:00000001"}) {
        EXPECT_NE(accepted.find(ticked), std::string::npos) << ticked;
    }
}

} // namespace
