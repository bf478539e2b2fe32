// Running other programs: one spawn path for argument lists and for the user's command lines.
//
// The wait watches the child itself (a pidfd), not the end of its output: a grandchild left running
// in the background may hold the pipes open for ever, and must not stretch the wait.
#include "platform/Processes.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 20;
constexpr int kKillGraceMs = 1000;

void reapInBackground(pid_t pid)
{
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

// Our environment with `extra` ("NAME=value") added or replacing the entries of the same name.
std::vector<std::string> mergedEnvironment(const std::vector<std::string> &extra)
{
    std::vector<std::string> env;
    for (char **e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string &x) {
            return x.compare(0, name.size() + 1, name + "=") == 0;
        });
        if (!replaced) {
            env.push_back(entry);
        }
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char *> pointers(const std::vector<std::string> &strings)
{
    std::vector<char *> p;
    for (const std::string &s : strings) {
        p.push_back(const_cast<char *>(s.c_str()));
    }
    p.push_back(nullptr);
    return p;
}

struct Pipe {
    int read = -1;
    int write = -1;
    std::string *sink = nullptr;
    bool *truncated = nullptr;
};

void closeFd(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Reads what is there; closes the pipe at its end. Output beyond the cap is read and dropped so
// that the child never blocks on a full pipe.
void drain(Pipe &p)
{
    std::array<char, 65536> buf;
    while (p.read >= 0) {
        const ssize_t n = ::read(p.read, buf.data(), buf.size());
        if (n > 0) {
            const std::size_t room = Processes::kOutputCap - std::min(p.sink->size(), Processes::kOutputCap);
            const std::size_t take = std::min(room, static_cast<std::size_t>(n));
            p.sink->append(buf.data(), take);
            *p.truncated = *p.truncated || take < static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno != EAGAIN) {
            closeFd(p.read);
        }
        return;
    }
}

class Child
{
public:
    Child(pid_t pid, std::array<Pipe, 2> &pipes) : m_pid(pid), m_pipes(pipes)
    {
        m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    }
    ~Child() { closeFd(m_pidfd); }

    // Waits up to `ms` for the child to end, reading its output meanwhile; true when it has ended
    // (it is left unreaped, so that its process group id stays ours until `reap`).
    bool waitFor(int ms)
    {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (ended()) {
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (left <= 0) {
                return false;
            }
            pollOnce(static_cast<int>(m_pidfd >= 0 ? left : std::min<long long>(left, kSliceMs)));
        }
    }

    void signalGroup(int sig) { ::kill(-m_pid, sig); }

    int reap()
    {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        for (Pipe &p : m_pipes) {
            if (p.read >= 0) {
                drain(p);   // what a finished child wrote is there now
                closeFd(p.read); // a grandchild holding the pipe is not waited for
            }
        }
        return status;
    }

private:
    bool ended()
    {
        siginfo_t info;
        std::memset(&info, 0, sizeof info);
        int rc = 0;
        do {
            rc = ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT);
        } while (rc < 0 && errno == EINTR);
        return rc < 0 || info.si_pid == m_pid;
    }

    void pollOnce(int ms)
    {
        std::array<pollfd, 3> fds{};
        nfds_t n = 0;
        for (Pipe &p : m_pipes) {
            if (p.read >= 0) {
                fds[n++] = {p.read, POLLIN, 0};
            }
        }
        if (m_pidfd >= 0) {
            fds[n++] = {m_pidfd, POLLIN, 0};
        }
        if (::poll(fds.data(), n, ms) > 0) {
            for (Pipe &p : m_pipes) {
                drain(p);
            }
        }
    }

    pid_t m_pid;
    int m_pidfd = -1;
    std::array<Pipe, 2> &m_pipes;
};

void fillStatus(Processes::Outcome &o, int status)
{
    if (WIFEXITED(status)) {
        o.end = Processes::End::Exited;
        o.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        o.end = Processes::End::Signalled;
        o.signal = WTERMSIG(status);
    }
}

// Ends the child's whole process group: SIGTERM, and SIGKILL when it has not ended within the grace.
int terminate(Child &child)
{
    child.signalGroup(SIGTERM);
    child.waitFor(kKillGraceMs);
    child.signalGroup(SIGKILL);
    return child.reap();
}

pid_t spawnChild(const Processes::Command &c, std::array<Pipe, 2> &pipes, std::string &error)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    for (int i = 0; i < 2; ++i) {
        if (pipes[i].write >= 0) {
            posix_spawn_file_actions_adddup2(&actions, pipes[i].write, i + 1);
        }
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    const std::vector<std::string> env =
        c.environment.empty() ? std::vector<std::string>{} : mergedEnvironment(c.environment);
    std::vector<char *> envp = pointers(env);
    std::vector<char *> argv = pointers(c.argv);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(),
                                  c.environment.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        error = std::strerror(rc);
        return -1;
    }
    return pid;
}

bool openPipes(std::array<Pipe, 2> &pipes, Processes::Outcome &o)
{
    o.out.clear();
    pipes[0].sink = &o.out;
    pipes[0].truncated = &o.outTruncated;
    pipes[1].sink = &o.err;
    pipes[1].truncated = &o.errTruncated;
    for (Pipe &p : pipes) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            o.error = std::strerror(errno);
            return false;
        }
        p.read = fds[0];
        p.write = fds[1];
        ::fcntl(p.read, F_SETFL, ::fcntl(p.read, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

Processes::Outcome waitForChild(const Processes::Command &c, pid_t pid, std::array<Pipe, 2> &pipes)
{
    Processes::Outcome o;
    o.end = Processes::End::Running;
    Child child(pid, pipes);
    const auto deadline = Clock::now() + std::chrono::milliseconds(c.timeoutMs);
    for (;;) {
        int slice = c.stop != nullptr ? 50 : 60 * 60 * 1000;
        if (c.timeoutMs > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            slice = static_cast<int>(std::max<long long>(0, std::min<long long>(slice, left)));
        }
        if (child.waitFor(slice)) {
            fillStatus(o, child.reap());
            return o;
        }
        if (c.stop != nullptr && c.stop->load()) {
            if (c.stopEndsWaitOnly) {
                for (Pipe &p : pipes) {
                    closeFd(p.read);
                }
                reapInBackground(pid);
                return o;
            }
            fillStatus(o, terminate(child));
            o.end = Processes::End::Stopped;
            return o;
        }
        if (c.timeoutMs > 0 && Clock::now() >= deadline) {
            fillStatus(o, terminate(child));
            o.end = Processes::End::TimedOut;
            return o;
        }
    }
}

} // namespace

Processes::Outcome Processes::execute(const Command &command)
{
    Outcome o = startAndWait(command);
    if (command.onStart && o.end == End::NotStarted) {
        command.onStart(false);
    }
    return o;
}

Processes::Outcome Processes::startAndWait(const Command &command)
{
    Outcome o;
    if (command.argv.empty() || command.argv[0].empty()) {
        o.error = "no program given";
        return o;
    }
    std::array<Pipe, 2> pipes;
    const bool capture = command.captureOutput && command.wait;
    if (capture && !openPipes(pipes, o)) {
        for (Pipe &p : pipes) {
            closeFd(p.read);
            closeFd(p.write);
        }
        return o;
    }
    std::string error;
    const pid_t pid = spawnChild(command, pipes, error);
    for (Pipe &p : pipes) {
        closeFd(p.write);
    }
    if (pid < 0) {
        for (Pipe &p : pipes) {
            closeFd(p.read);
        }
        o.error = error;
        return o;
    }
    if (command.onStart) {
        command.onStart(true);
    }
    if (!command.wait) {
        reapInBackground(pid);
        o.end = End::Running;
        return o;
    }
    Outcome waited = waitForChild(command, pid, pipes);
    waited.out = std::move(o.out);
    waited.err = std::move(o.err);
    waited.outTruncated = o.outTruncated;
    waited.errTruncated = o.errTruncated;
    return waited;
}

} // namespace qv
