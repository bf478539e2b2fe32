// The real program as a process, without a display, each test in its own HOME and XDG folders:
// the hand-over, restore, simultaneous starts, a stale lock, the 1 MiB limit of a hand-over, and a
// task run from the command line.
// qv-test-labels: slow
// qv-test-timeout: 240
#include "ProgramProcessFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class ProgramProcess : public ProgramProcessFixture
{
};

TEST_F(ProgramProcess, HandOverCarriesTheArgumentsExactly)
{
    pid_t first = spawn({"/RunAll"});
    ASSERT_TRUE(waitForLines(1));
    const std::string store = home + "/config/quorvellant/registry.db";
    const std::string before = qvtest::readFile(store);
    // Names that name no task: handed over all the same, and reported back (exit status 1).
    EXPECT_EQ(runToEnd({"/RunProject=\"My Task\"", "/RunGroup=with blank", "/RunProjectById=a=b=c"}), 1);
    EXPECT_EQ(qvtest::readFile(home + "/second.log"),
              "quorvellant: no task is named \"My Task\"\nquorvellant: no task group is named \"with blank\"\n"
              "quorvellant: no task has the ID \"a=b=c\"\n");
    EXPECT_EQ(runToEnd({}), 0);
    EXPECT_EQ(runToEnd({"/RunProjectById=X", "--show"}), 1);
    // A mistake in the options is refused by the start itself: nothing is handed over.
    std::remove((home + "/second.log").c_str());
    EXPECT_EQ(runToEnd({"/RunAll", "/NoSuchOption"}), 2);
    EXPECT_EQ(qvtest::readFile(home + "/second.log"),
              "quorvellant: unknown option \"/NoSuchOption\" (quorvellant --help lists the options)\n");
    ASSERT_TRUE(waitForLines(4));
    auto lines = commandLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "own restore=0\x1f/RunAll");
    EXPECT_EQ(lines[1], "handed restore=0\x1f/RunProject=\"My Task\"\x1f/RunGroup=with blank\x1f/RunProjectById=a=b=c");
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
    // Five idle ticks of the one-second timer (the fixture's idle seconds); a coarse timer may fire
    // each up to 5 % early.
    auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 4750);
    EXPECT_EQ(qvtest::readFile(dst + "/a.txt"), "alpha");
    EXPECT_EQ(qvtest::readFile(dst + "/sub/b.txt"), "beta");
    // Without a display the output holds the program's own messages only, not the offscreen
    // platform's warnings.
    EXPECT_EQ(qvtest::readFile(home + "/out.log").find("propagateSizeHints"), std::string::npos)
        << qvtest::readFile(home + "/out.log");
    // The handed-over "/ExitWhenIdle" was ignored; the program's own made it end.
    auto lines = commandLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("handed restore=0", 0), 0u);
}

TEST_F(ProgramProcess, HandOverLimitIsOneMebibyte)
{
    pid_t first = spawn({"/RunAll"});
    ASSERT_TRUE(waitForLines(1));
    const std::string store = home + "/config/quorvellant/registry.db";
    const std::string before = qvtest::readFile(store);

    // Twelve arguments of 100,000 bytes: refused by the start itself, with the reason.
    std::vector<std::string> tooLong(12, "/RunProject=" + std::string(100000, 'x'));
    EXPECT_EQ(runToEnd(tooLong), 1);
    EXPECT_NE(qvtest::readFile(home + "/second.log").find("longer than 1 MiB"), std::string::npos)
        << qvtest::readFile(home + "/second.log");

    // A client that announces one byte too many is refused before it sends anything.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string socketPath = home + "/run/quorvellant/socket";
    ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0) << std::strerror(errno);
    const std::string header = "RUN 0 1048577\n";
    ASSERT_EQ(::write(fd, header.data(), header.size()), static_cast<ssize_t>(header.size()));
    std::string answer;
    char c = 0;
    while (answer.size() < 200 && ::read(fd, &c, 1) == 1 && c != '\n') {
        answer += c;
    }
    ::close(fd);
    EXPECT_EQ(answer.rfind("REFUSED", 0), 0u) << answer;

    // Just under the limit (arguments and their terminating zero bytes) arrives whole.
    std::vector<std::string> justUnder(10, "/RunGroup=" + std::string(104856 - 10, 'y'));
    justUnder.back() = "/RunGroup=" + std::string(1048575 - 9 * 104857 - 1 - 10, 'z');
    EXPECT_EQ(runToEnd(justUnder, 60), 1); // no such group
    ASSERT_TRUE(waitForLines(2));
    std::string expected = "handed restore=0";
    for (const std::string &a : justUnder) {
        expected += '\x1f' + a;
    }
    const auto lines = commandLines();
    ASSERT_EQ(lines.size(), 2u) << "the refused lines were processed";
    EXPECT_EQ(lines[1].size(), expected.size());
    EXPECT_TRUE(lines[1] == expected);
    EXPECT_EQ(qvtest::readFile(store), before);
    EXPECT_EQ(runToEnd({"/EXITNOW"}), 0);
    EXPECT_EQ(waitFor(first, 20), 0);
}

} // namespace
