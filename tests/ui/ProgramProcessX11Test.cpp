// The real program on a display meeting a copy that runs without one: the start with the display
// waits (saying why), touches nothing, and becomes the first copy once the headless one has ended.
// A second start that hands over a line opening a dialog ends once the line is taken.
// qv-test-labels: x11 slow
// qv-test-run: xvfb
// qv-test-timeout: 240
#include "ProgramProcessFixture.h"

namespace {

class ProgramProcessX11 : public ProgramProcessFixture
{
};

TEST_F(ProgramProcessX11, DisplayStartWaitsForAHeadlessCopyThenTakesOver)
{
    const char *display = std::getenv("DISPLAY");
    ASSERT_TRUE(display != nullptr && *display != '\0') << "runs under xvfb-run";
    pid_t headless = spawn({"/RunAll"}, "headless.log");
    ASSERT_TRUE(waitForLines(1));
    const std::string store = home + "/config/quorvellant/registry.db";
    const std::string before = qvtest::readFile(store);

    std::vector<std::string> withDisplay = env;
    withDisplay.push_back("DISPLAY=" + std::string(display));
    if (const char *auth = std::getenv("XAUTHORITY")) {
        withDisplay.push_back("XAUTHORITY=" + std::string(auth));
    }
    const pid_t shown = spawn({"/SHOW"}, "display.log", withDisplay);
    ASSERT_TRUE(waitForText("display.log", "waiting for it to end"));
    EXPECT_TRUE(alive(shown));
    EXPECT_EQ(commandLines().size(), 1u) << "the waiting start handed its line over";
    EXPECT_EQ(qvtest::readFile(store), before);

    // A headless start ends the headless copy; the waiting one then starts as the first copy.
    EXPECT_EQ(runToEnd({"/EXITNOW"}), 0);
    EXPECT_EQ(waitFor(headless, 30), 0) << qvtest::readFile(home + "/headless.log");
    // The headless copy logged the handed "/EXITNOW"; then the waiting start its own line.
    ASSERT_TRUE(waitForLines(3, 30000)) << qvtest::readFile(home + "/display.log");
    EXPECT_EQ(commandLines()[1], "handed restore=0\x1f/EXITNOW");
    EXPECT_EQ(commandLines()[2], "own restore=0\x1f/SHOW");
    EXPECT_TRUE(alive(shown));
    EXPECT_EQ(runToEnd({"/EXITNOW"}, 30), 0);
    EXPECT_EQ(waitFor(shown, 30), 0) << qvtest::readFile(home + "/display.log");
}

// On a display, a damaged store is said at once (its message waits for the user's choice), and a
// signal meanwhile ends the program at once, the store untouched.
TEST_F(ProgramProcessX11, ADamagedStoreIsSaidAtStartAndASignalEndsTheWait)
{
    const char *display = std::getenv("DISPLAY");
    ASSERT_TRUE(display != nullptr && *display != '\0') << "runs under xvfb-run";
    const std::string store = home + "/config/quorvellant/registry.db";
    qvtest::runShell("mkdir -p '" + home + "/config/quorvellant'");
    const std::string damaged = "SQLite format 3" + std::string(8192, '#');
    qvtest::writeFile(store, damaged);
    std::vector<std::string> withDisplay = env;
    withDisplay.push_back("DISPLAY=" + std::string(display));
    if (const char *auth = std::getenv("XAUTHORITY")) {
        withDisplay.push_back("XAUTHORITY=" + std::string(auth));
    }
    const pid_t shown = spawn({"/SHOW"}, "display.log", withDisplay);
    EXPECT_TRUE(waitForText("display.log", "\"" + store + "\" is damaged")) << qvtest::readFile(home + "/display.log");
    ::kill(shown, SIGTERM);
    EXPECT_NE(waitFor(shown, 10), -2) << "still running 10 s after SIGTERM";
    EXPECT_EQ(qvtest::readFile(store), damaged);
}

TEST_F(ProgramProcessX11, HandOverOfADialogEndsOnceTaken)
{
    const char *display = std::getenv("DISPLAY");
    ASSERT_TRUE(display != nullptr && *display != '\0') << "runs under xvfb-run";
    QV_REQUIRE_TOOL("xdotool");
    std::vector<std::string> withDisplay = env;
    withDisplay.push_back("DISPLAY=" + std::string(display));
    if (const char *auth = std::getenv("XAUTHORITY")) {
        withDisplay.push_back("XAUTHORITY=" + std::string(auth));
    }
    const pid_t first = spawn({"/RunAll"}, "first.log", withDisplay);
    ASSERT_TRUE(waitForLines(1));
    // The box stays open (nobody closes it); the start that asked for it ends all the same.
    EXPECT_EQ(runToEnd({"/SHOWABOUTBOX"}, 15), 0);
    bool shown = false;
    for (int i = 0; i < 250 && !shown; ++i) {
        shown = qvtest::runCommand({"env", "DISPLAY=" + std::string(display), "xdotool", "search",
                                    "--onlyvisible", "--name", "^About$"})
                    .exitCode == 0;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(shown) << "the about box never showed";
    EXPECT_EQ(runToEnd({"/RunProjectById=NOPE"}, 15), 1) << "a name that names nothing is still reported";
    EXPECT_TRUE(alive(first));
    EXPECT_EQ(runToEnd({"/EXITNOW"}, 30), 0);
    EXPECT_EQ(waitFor(first, 30), 0) << qvtest::readFile(home + "/first.log");
}

} // namespace
