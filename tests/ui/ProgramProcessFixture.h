// Runs the real program as a process in its own HOME and XDG folders, without a display unless a
// test gives it one, and reads the command lines it processed.
#pragma once

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

class ProgramProcessFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        home = qvtest::makeTempDir("home");
        env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config", "XDG_DATA_HOME=" + home + "/data",
               "XDG_CACHE_HOME=" + home + "/cache", "XDG_RUNTIME_DIR=" + home + "/run",
               "QV_COMMAND_LOG=" + home + "/commands.log", "PATH=" + std::string(std::getenv("PATH")),
               // /ExitWhenIdle ends the program after 5 idle seconds instead of 31.
               "QV_TEST_IDLE_EXIT_SECONDS=5"};
        for (const std::string &option : qvtest::sanitizerEnvironment()) {
            env.push_back(option);
        }
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
    pid_t spawn(const std::vector<std::string> &args, const std::string &log = "out.log",
                std::vector<std::string> environment = {})
    {
        if (environment.empty()) {
            environment = env;
        }
        pid_t pid = ::fork();
        if (pid == 0) {
            ::clearenv();
            for (const auto &e : environment) {
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

    // Waits until the file `log` below home holds `text`.
    bool waitForText(const std::string &log, const std::string &text, int ms = 15000)
    {
        for (int i = 0; i < ms / 20; ++i) {
            if (qvtest::readFile(home + "/" + log).find(text) != std::string::npos) {
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
