// The real program as a process, without a display, each test in its own HOME and XDG folders:
// the hand-over, restore, simultaneous starts, a stale lock, and a task run from the command line.
// qv-test-labels: slow
// qv-test-timeout: 240
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class ProgramProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        home = qvtest::makeTempDir("home");
        env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config", "XDG_DATA_HOME=" + home + "/data",
               "XDG_CACHE_HOME=" + home + "/cache", "XDG_RUNTIME_DIR=" + home + "/run",
               "QV_COMMAND_LOG=" + home + "/commands.log", "PATH=" + std::string(std::getenv("PATH"))};
        qvtest::runShell("mkdir -p '" + home + "/run' && chmod 700 '" + home + "/run'");
        program = qvtest::binPath("quorvellant");
    }
    void TearDown() override
    {
        for (pid_t p : children) {
            ::kill(p, SIGKILL);
            ::waitpid(p, nullptr, 0);
        }
    }
    // Starts the program in the background; its output goes to `log`.
    pid_t spawn(const std::vector<std::string> &args, const std::string &log = "out.log")
    {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::clearenv();
            for (const auto &e : env) {
                ::putenv(const_cast<char *>(e.c_str()));
            }
            std::string out = home + "/" + log;
            std::freopen(out.c_str(), "a", stdout);
            std::freopen(out.c_str(), "a", stderr);
            std::vector<char *> argv{const_cast<char *>(program.c_str())};
            for (const auto &a : args) {
                argv.push_back(const_cast<char *>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        children.push_back(pid);
        return pid;
    }
    // Runs the program to its end; returns its exit code.
    int runToEnd(const std::vector<std::string> &args, int timeoutSeconds = 20)
    {
        pid_t pid = spawn(args, "second.log");
        return waitFor(pid, timeoutSeconds);
    }
    int waitFor(pid_t pid, int timeoutSeconds)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(children, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(20ms);
        }
        return -2;
    }
    bool alive(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == 0; }
    std::vector<std::string> commandLines()
    {
        std::vector<std::string> lines;
        std::ifstream in(home + "/commands.log");
        for (std::string l; std::getline(in, l);) {
            lines.push_back(l);
        }
        return lines;
    }
    bool waitForLines(std::size_t n, int ms = 10000)
    {
        for (int i = 0; i < ms / 20; ++i) {
            if (commandLines().size() >= n) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    std::string home;
    std::string program;
    std::vector<std::string> env;
    std::vector<pid_t> children;
};

TEST_F(ProgramProcess, HandOverCarriesTheArgumentsExactly)
{
    pid_t first = spawn({"/RunAll"});
    ASSERT_TRUE(waitForLines(1));
    const std::string store = home + "/config/quorvellant/registry.db";
    const std::string before = qvtest::readFile(store);
    EXPECT_EQ(runToEnd({"/RunProject=\"My Task\"", "with blank", "a=b=c"}), 0);
    EXPECT_EQ(runToEnd({}), 0);
    EXPECT_EQ(runToEnd({"/RunProjectById=X", "--show"}), 0);
    ASSERT_TRUE(waitForLines(4));
    auto lines = commandLines();
    EXPECT_EQ(lines[0], "own restore=0\x1f/RunAll");
    EXPECT_EQ(lines[1], "handed restore=0\x1f/RunProject=\"My Task\"\x1fwith blank\x1f" "a=b=c");
    EXPECT_EQ(lines[2], "handed restore=1");
    EXPECT_EQ(lines[3], "handed restore=1\x1f/RunProjectById=X\x1f--show");
    // A second start never writes the store.
    EXPECT_EQ(qvtest::readFile(store), before);
    EXPECT_TRUE(alive(first));
    EXPECT_EQ(runToEnd({"/EXITNOW"}), 0);
    EXPECT_EQ(waitFor(first, 20), 0);
}

TEST_F(ProgramProcess, FiveSimultaneousStartsLeaveOneInstance)
{
    std::vector<pid_t> pids;
    for (int i = 0; i < 5; ++i) {
        pids.push_back(spawn({"/RUNALL"}, "start" + std::to_string(i) + ".log"));
    }
    ASSERT_TRUE(waitForLines(5, 20000)) << qvtest::readFile(home + "/start0.log");
    // The four that handed their options on end by themselves: wait for them, with a deadline.
    int running = 0;
    for (auto deadline = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(50ms)) {
        running = 0;
        for (pid_t p : pids) {
            running += alive(p) ? 1 : 0;
        }
        if (running <= 1) {
            break;
        }
    }
    EXPECT_EQ(running, 1);
    auto lines = commandLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string &l) { return l.rfind("own", 0) == 0; }),
              1);
    EXPECT_EQ(runToEnd({"/EXITNOW"}), 0);
}

TEST_F(ProgramProcess, StaleLockAfterAKillIsTakenOver)
{
    pid_t first = spawn({});
    ASSERT_TRUE(waitForLines(1));
    ::kill(first, SIGKILL);
    waitFor(first, 5);
    pid_t second = spawn({"/RunAll"}, "second-first.log");
    ASSERT_TRUE(waitForLines(2, 15000)) << qvtest::readFile(home + "/second-first.log");
    EXPECT_EQ(commandLines()[1], "own restore=0\x1f/RunAll");
    EXPECT_TRUE(alive(second));
    EXPECT_EQ(runToEnd({"/EXITNOW"}), 0);
}

TEST_F(ProgramProcess, HelpAndVersionNeedNoInstance)
{
    auto r = qvtest::runCommand({program, "--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("Quorvellant "), std::string::npos);
    r = qvtest::runCommand({program, "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("/RUNPROJECTBYID"), std::string::npos);
}

TEST_F(ProgramProcess, RunsAStoredTaskAndExitsWhenIdle)
{
    const std::string src = home + "/src";
    const std::string dst = home + "/dst";
    qvtest::writeFile(src + "/a.txt", "alpha");
    qvtest::writeFile(src + "/sub/b.txt", "beta");
    const std::string key = "HKEY_CURRENT_USER\\Software\\Tavimundrelo\\Quorvellant";
    const std::string id = "ACCEPT000000000000001";
    std::ostringstream reg;
    reg << "REGEDIT4\r\n\r\n"
        << "[" << key << "\\Main]\r\n\"FirstStart\"=dword:00000000\r\n\r\n"
        << "[" << key << "\\Startup and Shutdown]\r\n\"StartupShowSplash\"=dword:00000000\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "]\r\n\"Name\"=\"Acceptance\"\r\n\"ID\"=\"" << id
        << "\"\r\n\"TaskType\"=\"ttSimpleCopy\"\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "\\Source]\r\n\"Source\"=\"" << src << "\"\r\n"
        << "\"SourceIncludeSubfolders\"=dword:00000001\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "\\Destination]\r\n\"DestLocal\"=\"" << dst << "\"\r\n\r\n"
        << "[" << key << "\\Tasks\\" << id << "\\Filters\\1]\r\n\"Enabled\"=dword:00000001\r\n"
        << "\"FilterType\"=\"fitInclude\"\r\n\"FilterKind\"=\"fikFileName\"\r\n\"fnKind\"=\"fnkWildcard\"\r\n"
        << "\"fnWildcard\"=\"*.*\"\r\n\r\n";
    qvtest::writeFile(home + "/task.reg", reg.str());
    std::vector<std::string> importCmd = {"env"};
    importCmd.insert(importCmd.end(), env.begin(), env.end());
    importCmd.insert(importCmd.end(), {qvtest::binPath("qv-regtool"), "import", home + "/task.reg"});
    auto r = qvtest::runCommand(importCmd);
    ASSERT_EQ(r.exitCode, 0) << r.output;

    auto start = std::chrono::steady_clock::now();
    pid_t p = spawn({"/RunProjectById=" + id, "/ExitWhenIdle"});
    // A second start while it runs hands over at once and leaves one process.
    ASSERT_TRUE(waitForLines(1));
    EXPECT_EQ(runToEnd({"/RunProjectById=" + id, "/ExitWhenIdle"}), 0);
    EXPECT_EQ(waitFor(p, 90), 0) << qvtest::readFile(home + "/out.log");
    auto took = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 30);
    EXPECT_EQ(qvtest::readFile(dst + "/a.txt"), "alpha");
    EXPECT_EQ(qvtest::readFile(dst + "/sub/b.txt"), "beta");
    // The handed-over "/ExitWhenIdle" was ignored; the program's own made it end.
    auto lines = commandLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("handed restore=0", 0), 0u);
}

} // namespace
