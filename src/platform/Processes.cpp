// Running the user's own programs through the shell.
#include "platform/Processes.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace qv {
namespace {

void reapInBackground(pid_t pid)
{
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

void fillStatus(Processes::Result &r, int status)
{
    r.finished = true;
    if (WIFEXITED(status)) {
        r.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        r.signal = WTERMSIG(status);
    }
}

} // namespace

Processes::Result Processes::run(const std::string &commandLine, bool wait, const std::atomic<bool> *stop)
{
    Result r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with default signal handling, whatever this process installed.
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    const char *argv[] = {"/bin/sh", "-c", commandLine.c_str(), nullptr};
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, "/bin/sh", &actions, &attr, const_cast<char *const *>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        r.error = std::strerror(rc);
        return r;
    }
    r.started = true;
    if (!wait) {
        reapInBackground(pid);
        return r;
    }
    for (;;) {
        int status = 0;
        pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            fillStatus(r, status);
            return r;
        }
        if (w < 0 && errno != EINTR) {
            r.error = std::strerror(errno);
            return r;
        }
        if (stop != nullptr && stop->load()) {
            reapInBackground(pid);
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace qv
