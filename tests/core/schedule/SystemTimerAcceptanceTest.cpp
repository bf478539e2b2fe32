// The system timer against the user's real systemd manager, through qv-systimer: the units land
// where the manager looks, the timer's next start is the one systemd-analyze computes, starting
// the service runs the program with its three words, and remove leaves nothing behind. It runs
// against the user's own manager where one answers, and again under a manager of its own: as root,
// in a private mount namespace whose /run is a new tmpfs (systemd --user starts only where
// /run/systemd/system exists), so nothing of it shows outside.
// qv-test-labels: interop
// qv-test-timeout: 240
#include "platform/Processes.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using qv::Processes;

const char kInsideEnv[] = "QV_IN_PRIVATE_USER_MANAGER";

class SystemTimerAcceptance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        user = qvtest::userSessionEnvironment();
        if (run({"systemd-run", "--user", "--wait", "--quiet", "true"}).exitCode != 0) {
            GTEST_SKIP() << "no systemd user manager answers (systemd-run --user --wait true failed); "
                            "SystemTimerPrivateManager runs this test under a manager of its own";
        }
        for (const std::string &e : user) {
            if (e.rfind("XDG_CONFIG_HOME=", 0) == 0) {
                units = e.substr(16) + "/systemd/user";
            }
        }
        dir = qvtest::makeTempDir("acceptance");
        stub = dir + "/program stub";
        qvtest::writeFile(stub, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"" + dir + "/args\"\n");
        ::chmod(stub.c_str(), 0755);
        id = "QVTEST" + std::to_string(::getpid());
        name = "quorvellant-" + id;
    }
    void TearDown() override
    {
        if (!units.empty()) {
            tool({"remove", "--id", id}); // whatever failed before
        }
    }

    Processes::Outcome run(std::vector<std::string> argv, int timeoutMs = 30000)
    {
        Processes::Command c;
        c.argv = std::move(argv);
        c.environment = user;
        c.environment.push_back("LC_ALL=C");
        c.timeoutMs = timeoutMs;
        return Processes::execute(c);
    }
    Processes::Outcome tool(std::vector<std::string> args)
    {
        args.insert(args.begin(), {qvtest::binPath("qv-systimer"), "--program", stub});
        return run(args);
    }

    std::vector<std::string> user;
    std::string units;
    std::string dir;
    std::string stub;
    std::string id;
    std::string name;
};

TEST_F(SystemTimerAcceptance, TimerWrittenStartedAndRemovedWithTheUserManager)
{
    ASSERT_FALSE(units.empty());
    const std::string calendar = "*-*-* 03:17:00";
    const Processes::Outcome added = tool({"add", "--id", id, "--name", "Acceptance", calendar});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    EXPECT_TRUE(fs::exists(units + "/" + name + ".service"));
    EXPECT_TRUE(fs::exists(units + "/" + name + ".timer"));

    const Processes::Outcome analyze = run({"systemd-analyze", "calendar", calendar});
    const auto at = analyze.out.find("Next elapse: ");
    ASSERT_NE(at, std::string::npos) << analyze.out;
    const std::string next = analyze.out.substr(at + 13, analyze.out.find('\n', at) - at - 13);
    const Processes::Outcome timers = run({"systemctl", "--user", "list-timers", "--all", name + ".timer"});
    EXPECT_NE(timers.out.find(next), std::string::npos) << timers.out << "\nexpected " << next;

    const Processes::Outcome started = run({"systemctl", "--user", "start", name + ".service"});
    EXPECT_EQ(started.exitCode, 0) << started.err;
    EXPECT_EQ(qvtest::readFile(dir + "/args"), stub + "\n/RunProjectById=" + id + "\n/ExitWhenIdle\n");

    const Processes::Outcome removed = tool({"remove", "--id", id});
    EXPECT_EQ(removed.exitCode, 0) << removed.err;
    EXPECT_FALSE(fs::exists(units + "/" + name + ".service"));
    EXPECT_FALSE(fs::exists(units + "/" + name + ".timer"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(units + "/timers.target.wants/" + name + ".timer")));
}

} // namespace

// Starts a user manager of its own and runs the test above under it.
TEST(SystemTimerPrivateManager, RunsTheAcceptanceTestUnderAUserManagerOfItsOwn)
{
    if (std::getenv(kInsideEnv) != nullptr) {
        GTEST_SKIP() << "already inside";
    }
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private mount namespace with a /run of its own";
    }
    QV_REQUIRE_TOOL("unshare");
    std::string manager;
    for (const char *path : {"/usr/lib/systemd/systemd", "/lib/systemd/systemd"}) {
        if (::access(path, X_OK) == 0) {
            manager = path;
            break;
        }
    }
    if (manager.empty()) {
        GTEST_SKIP() << "systemd is not installed";
    }
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    const std::string dir = qvtest::makeTempDir("manager");
    const std::string script =
        "mount -t tmpfs -o mode=755 tmpfs /run || { echo 'mount refused'; exit 90; }\n"
        "mkdir -p /run/systemd/system /run/user/$(id -u) && chmod 700 /run/user/$(id -u)\n"
        "export XDG_RUNTIME_DIR=/run/user/$(id -u) XDG_CONFIG_HOME='" + dir + "/config'\n"
        "unset DBUS_SESSION_BUS_ADDRESS\n"
        "'" + manager + "' --user > '" + dir + "/manager.log' 2>&1 &\n"
        "m=$!\n"
        "i=0\n"
        "while :; do\n"
        "  case $(systemctl --user is-system-running 2>/dev/null) in running|degraded) break;; esac\n"
        "  i=$((i+1)); if [ $i -gt 200 ]; then echo 'the user manager did not start:'; cat '" + dir +
        "/manager.log'; kill $m; exit 91; fi\n"
        "  sleep 0.1\n"
        "done\n"
        "env " + kInsideEnv + "=1 '" + std::string(self, static_cast<std::size_t>(n)) +
        "' --gtest_filter='SystemTimerAcceptance.*'\n"
        "rc=$?\n"
        "systemctl --user exit || kill $m\n"
        "wait $m\n"
        "exit $rc\n";
    const qvtest::CommandResult r =
        qvtest::runCommand({"unshare", "-m", "--propagation", "private", "sh", "-c", script}, 200);
    if (r.exitCode == 90 || r.output.find("unshare failed") != std::string::npos) {
        GTEST_SKIP() << "no private mount namespace here:\n" << r.output;
    }
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output.find("SKIPPED"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("[       OK ] SystemTimerAcceptance.TimerWrittenStartedAndRemovedWithTheUserManager"),
              std::string::npos)
        << r.output;
}
