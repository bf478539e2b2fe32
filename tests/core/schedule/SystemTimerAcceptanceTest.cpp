// The system timer against the user's real systemd manager, through qv-systimer: the units land
// where the manager looks, the timer's next start is the one systemd-analyze computes, starting
// the service runs the program with its three words, and remove leaves nothing behind. Skipped
// (and reported as such) where no user manager answers; elsewhere the stand-in systemctl and
// systemd-analyze verify carry the same steps.
// qv-test-labels: interop
// qv-test-timeout: 120
#include "platform/Processes.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using qv::Processes;

class SystemTimerAcceptance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        user = qvtest::userSessionEnvironment();
        if (run({"systemd-run", "--user", "--wait", "--quiet", "true"}).exitCode != 0) {
            GTEST_SKIP() << "no systemd user manager answers (systemd-run --user --wait true failed)";
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
