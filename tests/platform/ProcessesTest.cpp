// Running the user's commands through the shell: waiting, not waiting, stopping a wait.
#include "platform/Processes.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

using namespace qv;

TEST(ProcessRun, WaitsAndReportsTheExit)
{
    std::string dir = qvtest::makeTempDir("proc");
    struct Case
    {
        std::string command;
        int exitCode;
    };
    const Case cases[] = {
        {"true", 0},
        {"exit 3", 3},
        {"echo \"quoted arg\" > '" + dir + "/out file'", 0},
        {"read line; echo \"[$line]\" > '" + dir + "/stdin'", 0}, // standard input is empty, not the terminal
        {"no-such-program-anywhere 2>/dev/null", 127},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        Processes::Result r = Processes::run(c.command, true);
        EXPECT_TRUE(r.started);
        EXPECT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, c.exitCode);
    }
    EXPECT_EQ(qvtest::readFile(dir + "/out file"), "quoted arg\n");
    EXPECT_EQ(qvtest::readFile(dir + "/stdin"), "[]\n");
    Processes::Result killed = Processes::run("kill -TERM $$", true);
    EXPECT_TRUE(killed.finished);
    EXPECT_EQ(killed.signal, SIGTERM);
}

TEST(ProcessRun, WithoutWaitTheProgramRunsOnAndIsReaped)
{
    std::string dir = qvtest::makeTempDir("nowait");
    Processes::Result r =
        Processes::run("echo $$ > '" + dir + "/pid'; sleep 0.2; echo done > '" + dir + "/done'", false);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.finished);
    for (int i = 0; i < 200 && qvtest::readFile(dir + "/done").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_EQ(qvtest::readFile(dir + "/done"), "done\n");
    // Reaped: no zombie with that process id stays behind.
    pid_t pid = static_cast<pid_t>(std::stol(qvtest::readFile(dir + "/pid")));
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        gone = ::kill(pid, 0) != 0;
        if (!gone) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    EXPECT_TRUE(gone);
}

TEST(ProcessRun, StopEndsTheWaitButNotTheProgram)
{
    std::string dir = qvtest::makeTempDir("stopwait");
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
    });
    // Without the stop this waits 30 seconds and the test's time-out would fail it.
    Processes::Result r = Processes::run("echo $$ > '" + dir + "/pid'; sleep 1; echo survived > '" + dir +
                                             "/mark'; exec sleep 29",
                                         true, &stop);
    stopper.join();
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.finished);
    for (int i = 0; i < 200 && qvtest::readFile(dir + "/mark").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_EQ(qvtest::readFile(dir + "/mark"), "survived\n");
    ::kill(static_cast<pid_t>(std::stol(qvtest::readFile(dir + "/pid"))), SIGTERM);
}
