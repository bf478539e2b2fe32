// A task's shortcut as a user starts it: made by the shortcut dialog, launched with gio, the program
// runs the task and ends by itself after the idle wait.
// qv-test-labels: slow interop
// qv-test-timeout: 240
#include "components/MessageBox.h"
#include "core/runs/Task.h"
#include "ui/ShortcutForm.h"

#include "support/DesktopEntryParse.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// True while `pid` exists and is not a zombie.
bool running(pid_t pid)
{
    const std::string stat = qvtest::readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

std::string seedTask(const std::string &home, const std::vector<std::string> &env, const std::string &id)
{
    const std::string key = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";
    std::ostringstream reg;
    reg << "REGEDIT4\r\n\r\n"
        << "[" << key << "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n\r\n"
        << "[" << key << "\\Startup and Shutdown]\r\n\"StartupShowSplash\"=dword:00000000\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "]\r\n\"Name\"=\"Holiday photos\"\r\n\"ID\"=\"" << id
        << "\"\r\n\"TaskType\"=\"ttSimpleCopy\"\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "\\Source]\r\n\"Source\"=\"" << home << "/src\"\r\n"
        << "\"SourceIncludeSubfolders\"=dword:00000001\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "\\Destination]\r\n\"DestLocal\"=\"" << home << "/dst\"\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "\\Filters\\1]\r\n\"Enabled\"=dword:00000001\r\n"
        << "\"FilterType\"=\"fitInclude\"\r\n\"FilterKind\"=\"fikFileName\"\r\n\"fnKind\"=\"fnkWildcard\"\r\n"
        << "\"fnWildcard\"=\"*.*\"\r\n\r\n";
    qvtest::writeFile(home + "/task.reg", reg.str());
    std::vector<std::string> cmd = {"env", "-i"};
    cmd.insert(cmd.end(), env.begin(), env.end());
    cmd.insert(cmd.end(), {qvtest::binPath("qv-regtool"), "import", home + "/task.reg"});
    return qvtest::runCommand(cmd).output;
}

TEST(ShortcutLaunch, GioLaunchRunsTheTaskAndTheProgramEndsWhenIdle)
{
    QV_REQUIRE_TOOL("gio");
    const std::string home = qvtest::makeTempDir("launch home");
    const std::string id = "SHORTCUT0000000000001";
    const std::vector<std::string> env = {"HOME=" + home,
                                          "XDG_CONFIG_HOME=" + home + "/config",
                                          "XDG_DATA_HOME=" + home + "/data",
                                          "XDG_CACHE_HOME=" + home + "/cache",
                                          "XDG_RUNTIME_DIR=" + home + "/run",
                                          "QV_COMMAND_LOG=" + home + "/commands.log",
                                          "PATH=" + std::string(std::getenv("PATH")),
                                          "QV_TEST_IDLE_EXIT_SECONDS=5"};
    qvtest::runShell("mkdir -p '" + home + "/run' '" + home + "/links' && chmod 700 '" + home + "/run'");
    qvtest::writeFile(home + "/src/a.txt", "alpha");
    qvtest::writeFile(home + "/src/sub/b.txt", "beta");
    const std::string seeded = seedTask(home, env, id);

    // The dialog, as the user fills it: other folder, "Shutdown Quorvellant after Task finish", OK.
    qv::setShortcutProgramPath(qvtest::binPath("quorvellant"));
    qv::MessageBoxSeam::clear();
    qv::TTask task;
    task.Name = "Holiday photos";
    task.ID = id;
    bool filled = false;
    QTimer::singleShot(0, [&] {
        auto *d = QApplication::activeModalWidget();
        ASSERT_NE(d, nullptr);
        d->findChild<QRadioButton *>("RadioButtonOther")->click();
        d->findChild<QLineEdit *>("EditOtherFolder")->setText(QString::fromStdString(home + "/links"));
        d->findChild<QCheckBox *>("CheckBoxShutdown")->click();
        filled = true;
        d->findChild<QPushButton *>("OKButton")->click();
    });
    qv::ShowShortcutDialog(nullptr, task);
    qv::setShortcutProgramPath({});
    ASSERT_TRUE(filled);
    ASSERT_TRUE(qv::MessageBoxSeam::shown().empty()) << qv::MessageBoxSeam::shown()[0].text.toStdString();
    const std::string shortcut = home + "/links/Start Holiday photos.desktop";
    ASSERT_EQ(
        qvtest::parseExec(qvtest::execValue(shortcut)),
        (std::vector<std::string>{qvtest::binPath("quorvellant"), "/RunProjectById=" + id, "/ExitWhenIdle"}))
        << seeded;

    // No instance runs in this runtime folder; gio starts the shortcut as a desktop would.
    ASSERT_TRUE(qvtest::readFile(home + "/run/quorvellant/instance.lock").empty());
    const auto start = std::chrono::steady_clock::now();
    // The program inherits gio's output: a file, so that nothing waits for the program to close a pipe.
    std::string script = "env -i";
    for (const std::string &e : env) {
        script += " '" + e + "'";
    }
    script += " gio launch '" + shortcut + "' > '" + home + "/launch.log' 2>&1";
    const qvtest::CommandResult r = qvtest::runShell(script, 30);
    ASSERT_EQ(r.exitCode, 0) << qvtest::readFile(home + "/launch.log");

    std::string lockText;
    for (int i = 0; i < 500 && lockText.empty(); ++i) {
        std::this_thread::sleep_for(20ms);
        lockText = qvtest::readFile(home + "/run/quorvellant/instance.lock");
    }
    ASSERT_FALSE(lockText.empty()) << "the program did not start";
    const pid_t pid = static_cast<pid_t>(std::stol(lockText));
    ASSERT_GT(pid, 0);
    const auto deadline = start + 120s;
    while (running(pid) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
    }
    const bool ended = !running(pid);
    if (!ended) {
        ::kill(pid, SIGKILL);
    }
    ASSERT_TRUE(ended) << "the program did not end by itself: " << qvtest::readFile(home + "/launch.log");
    // Five idle ticks of the one-second timer; a coarse timer may fire each up to 5 % early.
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(took.count(), 4750) << "it ended before the idle wait (five seconds here)";
    EXPECT_EQ(qvtest::readFile(home + "/dst/a.txt"), "alpha");
    EXPECT_EQ(qvtest::readFile(home + "/dst/sub/b.txt"), "beta");
    const std::string commands = qvtest::readFile(home + "/commands.log");
    EXPECT_EQ(commands, "own restore=0\x1f/RunProjectById=" + id + "\x1f/ExitWhenIdle\n");
}

} // namespace
