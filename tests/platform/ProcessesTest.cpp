// Running programs: the argument-list runner (results, output, time-outs, isolation) and the
// user's command lines (shell or not, waiting, stopping a wait).
#include "platform/Processes.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace qv;
using End = Processes::End;
using Clock = std::chrono::steady_clock;

namespace {

Processes::Outcome exec(std::vector<std::string> argv, int timeoutMs = 0)
{
    Processes::Command c;
    c.argv = std::move(argv);
    c.timeoutMs = timeoutMs;
    return Processes::execute(c);
}

// Far above what a working runner needs, far below what the faults it guards against take (600 s).
constexpr auto kPromptly = std::chrono::seconds(30);

} // namespace

TEST(ProcessExecute, ReportsHowTheProgramEnded)
{
    struct Case {
        std::vector<std::string> argv;
        End end;
        int exitCode;
        int signal;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {{"true"}, End::Exited, 0, 0, "", ""},
        {{"sh", "-c", "exit 3"}, End::Exited, 3, 0, "", ""},
        {{"sh", "-c", "kill -TERM $$"}, End::Signalled, -1, SIGTERM, "", ""},
        {{"sh", "-c", "printf 'to out'; printf 'to err' >&2; printf ' again'"}, End::Exited, 0, 0, "to out again",
         "to err"},
        // Standard input is empty, never the terminal or our own.
        {{"sh", "-c", "read line; echo \"[$line] $?\""}, End::Exited, 0, 0, "[] 1\n", ""},
        // Arguments travel as they are: no shell sees them.
        {{"printf", "%s|", "a b", "$HOME", "*", "'q'"}, End::Exited, 0, 0, "a b|$HOME|*|'q'|", ""},
        {{"no-such-program-qv-test"}, End::NotStarted, -1, 0, "", ""},
        {{"/nonexistent/folder/prog"}, End::NotStarted, -1, 0, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.argv.back());
        const Processes::Outcome o = exec(c.argv);
        EXPECT_EQ(o.end, c.end);
        EXPECT_EQ(o.exitCode, c.exitCode);
        EXPECT_EQ(o.signal, c.signal);
        EXPECT_EQ(o.out, c.out);
        EXPECT_EQ(o.err, c.err);
        if (c.end == End::NotStarted) {
            EXPECT_NE(o.error.find("No such file"), std::string::npos) << o.error;
        }
    }
}

TEST(ProcessExecute, ChildStartsCleanWhateverTheCallerHas)
{
    // A blocked and an ignored signal in the calling thread, and a descriptor without close-on-exec.
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    sigset_t old;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &block, &old), 0);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction oldUsr2 {};
    ASSERT_EQ(::sigaction(SIGUSR2, &ignore, &oldUsr2), 0);
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::dup2(fd, 57), 57);

    const Processes::Outcome status = exec({"grep", "^Sig\\(Blk\\|Ign\\)", "/proc/self/status"});
    const Processes::Outcome inherited = exec({"test", "-e", "/proc/self/fd/57"});
    Processes::Command env;
    env.argv = {"sh", "-c", "echo \"$LC_ALL $QV_EXTRA\""};
    env.environment = {"LC_ALL=C", "QV_EXTRA=x y"};
    const Processes::Outcome withEnv = Processes::execute(env);

    ::close(57);
    ::close(fd);
    ::sigaction(SIGUSR2, &oldUsr2, nullptr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);

    // The two lines as hexadecimal masks, bit n-1 for signal n. Signals 32 and 33 belong to the C
    // library and may show as ignored whatever we do.
    ASSERT_EQ(status.out.size(), 50u) << status.out;
    const unsigned long long blocked = std::stoull(status.out.substr(8, 16), nullptr, 16);
    const unsigned long long ignored = std::stoull(status.out.substr(33, 16), nullptr, 16);
    EXPECT_EQ(blocked, 0u) << status.out;
    EXPECT_EQ(ignored & ~0x180000000ull, 0u) << status.out;
    EXPECT_EQ(inherited.end, End::Exited);
    EXPECT_EQ(inherited.exitCode, 1) << "descriptor 57 reached the child";
    EXPECT_EQ(withEnv.out, "C x y\n");
}

TEST(ProcessExecute, TimeOutEndsTheWholeGroup)
{
    struct Case {
        std::string name;
        std::vector<std::string> argv;
        int signal;
    };
    const Case cases[] = {
        {"plain sleep", {"sleep", "600"}, SIGTERM},
        // The grandchild holds the output pipe; ending only the shell would leave the wait hanging.
        {"shell waiting for a child", {"sh", "-c", "sleep 600; true"}, SIGTERM},
        // SIGTERM ignored (kept over exec): SIGKILL follows.
        {"ignores SIGTERM", {"sh", "-c", "trap '' TERM; exec sleep 600"}, SIGKILL},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = Clock::now();
        const Processes::Outcome o = exec(c.argv, 300);
        EXPECT_LT(Clock::now() - start, kPromptly);
        EXPECT_EQ(o.end, End::TimedOut);
        EXPECT_EQ(o.signal, c.signal);
    }
}

TEST(ProcessExecute, ReturnsWhenTheChildEndsEvenIfItsOutputStaysOpen)
{
    const auto start = Clock::now();
    const Processes::Outcome o = exec({"sh", "-c", "sleep 600 & echo $!"}, 0);
    EXPECT_LT(Clock::now() - start, kPromptly);
    EXPECT_EQ(o.end, End::Exited);
    ASSERT_FALSE(o.out.empty());
    ::kill(static_cast<pid_t>(std::stol(o.out)), SIGKILL);
}

TEST(ProcessExecute, OutputIsCappedAndTheChildNotBlocked)
{
    const Processes::Outcome o = exec({"sh", "-c", "head -c 10485760 /dev/zero; head -c 10 /dev/zero >&2"});
    EXPECT_EQ(o.end, End::Exited);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out.size(), Processes::kOutputCap);
    EXPECT_TRUE(o.outTruncated);
    EXPECT_EQ(o.err.size(), 10u);
    EXPECT_FALSE(o.errTruncated);
}

TEST(ProcessExecute, StopEndsTheProgramOrOnlyTheWait)
{
    for (const bool waitOnly : {false, true}) {
        SCOPED_TRACE(waitOnly ? "wait only" : "program");
        const std::string dir = qvtest::makeTempDir("stop");
        std::atomic<bool> stop{false};
        Processes::Command c;
        c.argv = {"sh", "-c", "echo $$ > '" + dir + "/pid'; exec sleep 600"};
        c.stop = &stop;
        c.stopEndsWaitOnly = waitOnly;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            stop = true;
        });
        const Processes::Outcome o = Processes::execute(c);
        stopper.join();
        const pid_t pid = static_cast<pid_t>(std::stol(qvtest::readFile(dir + "/pid")));
        EXPECT_EQ(o.end, waitOnly ? End::Running : End::Stopped);
        EXPECT_EQ(::kill(pid, 0) == 0, waitOnly);
        ::kill(pid, SIGKILL);
    }
}

TEST(ProcessExecute, ManyThreadsAtOnce)
{
    constexpr int kThreads = 8;
    std::vector<Processes::Outcome> outcomes(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([i, &outcomes] {
            outcomes[i] = i % 4 == 3 ? exec({"sleep", "600"}, 200)
                                     : exec({"sh", "-c", "printf %s \"$0\"; printf e%s \"$0\" >&2",
                                             "t" + std::to_string(i)});
        });
    }
    for (std::thread &t : threads) {
        t.join();
    }
    for (int i = 0; i < kThreads; ++i) {
        SCOPED_TRACE(i);
        if (i % 4 == 3) {
            EXPECT_EQ(outcomes[i].end, End::TimedOut);
        } else {
            EXPECT_EQ(outcomes[i].end, End::Exited);
            EXPECT_EQ(outcomes[i].out, "t" + std::to_string(i));
            EXPECT_EQ(outcomes[i].err, "et" + std::to_string(i));
        }
    }
}

TEST(ProcessCommandLine, ShellOnlyWhereTheLineNeedsOne)
{
    struct Case {
        std::string line;
        std::vector<std::string> words; // empty: the shell runs it
    };
    const Case cases[] = {
        {"rsync -a /src /dst", {"rsync", "-a", "/src", "/dst"}},
        {"  /usr/bin/prog\targ  ", {"/usr/bin/prog", "arg"}},
        {"prog --opt=value 50%", {"prog", "--opt=value", "50%"}},
        {"echo a > 'x y'", {}},
        {"prog \"quoted arg\"", {}},
        {"prog $HOME", {}},
        {"prog `date`", {}},
        {"a | b", {}},
        {"a; b", {}},
        {"a && b", {}},
        {"prog *.txt", {}},
        {"prog ~/file", {}},
        {"prog back\\slash", {}},
        {"VAR=1 prog", {}},
        {"cd /tmp", {}},
        {"exit 3", {}},
        {"if", {}},
        {"prog # comment", {}},
        {"a\nb", {}},
        {"", {}},
        {"   ", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Processes::plainWords(c.line), c.words);
    }
}

TEST(ProcessCommandLine, WaitsAndReportsTheExit)
{
    const std::string dir = qvtest::makeTempDir("proc");
    qvtest::writeFile(dir + "/script", "#!/bin/sh\necho \"$1\" > \"$2\"\nexit 4\n");
    ::chmod((dir + "/script").c_str(), 0755);
    struct Case {
        std::string command;
        bool started;
        int exitCode;
    };
    const Case cases[] = {
        {"true", true, 0},
        {"exit 3", true, 3},
        {"echo \"quoted arg\" > '" + dir + "/out file'", true, 0},
        {dir + "/script word " + dir + "/direct", true, 4},
        {"read line; echo \"[$line]\" > '" + dir + "/stdin'", true, 0},
        {"no-such-program-anywhere", false, -1},            // no shell: the spawn says so
        {"no-such-program-anywhere 2>/dev/null", false, 127}, // the shell says so
        {"/dev/null", false, -1},                            // not executable
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        const Processes::Result r = Processes::run(c.command, true);
        EXPECT_EQ(r.started, c.started);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.error.empty(), c.started);
    }
    EXPECT_EQ(qvtest::readFile(dir + "/out file"), "quoted arg\n");
    EXPECT_EQ(qvtest::readFile(dir + "/direct"), "word\n");
    EXPECT_EQ(qvtest::readFile(dir + "/stdin"), "[]\n");
    const Processes::Result killed = Processes::run("kill -TERM $$", true);
    EXPECT_TRUE(killed.finished);
    EXPECT_EQ(killed.signal, SIGTERM);
}

TEST(ProcessCommandLine, WithoutWaitTheProgramRunsOnAndIsReaped)
{
    const std::string dir = qvtest::makeTempDir("nowait");
    const Processes::Result r =
        Processes::run("echo $$ > '" + dir + "/pid'; sleep 0.2; echo done > '" + dir + "/done'", false);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.finished);
    for (int i = 0; i < 200 && qvtest::readFile(dir + "/done").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_EQ(qvtest::readFile(dir + "/done"), "done\n");
    // Reaped: no zombie with that process id stays behind.
    const pid_t pid = static_cast<pid_t>(std::stol(qvtest::readFile(dir + "/pid")));
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        gone = ::kill(pid, 0) != 0;
        if (!gone) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    EXPECT_TRUE(gone);
}

TEST(ProcessCommandLine, StopEndsTheWaitButNotTheProgram)
{
    const std::string dir = qvtest::makeTempDir("stopwait");
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
    });
    // Without the stop this waits 30 seconds and the test's time-out would fail it.
    const Processes::Result r = Processes::run("echo $$ > '" + dir + "/pid'; sleep 1; echo survived > '" + dir +
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
