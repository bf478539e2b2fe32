// The CPU and disk priority of one thread.
#include "platform/ThreadPriority.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qv {
namespace {

constexpr int kIoClassBestEffort = 2;
constexpr int kIoClassIdle = 3;
constexpr int kIoClassShift = 13;
constexpr int kIoWhoProcess = 1; // with a thread id: that thread alone

constexpr int kNiceOffset[] = {19, 15, 10, 0, -5, -10, -15};
const char *const kNames[] = {"idle", "lowest", "lower", "normal", "higher", "highest", "time-critical"};

pid_t threadId()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

// The lowest nice value this thread may set without privileges (RLIMIT_NICE allows 20 - limit).
int niceFloor()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return -20;
    }
    return std::clamp(20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40)), -20, 19);
}

bool setNice(int nice)
{
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId()), nice) == 0;
}

} // namespace

const char *cpuLevelName(int level)
{
    return kNames[std::clamp(level, 0, 6)];
}

int ThreadPriority::currentNice()
{
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(threadId()));
    return errno == 0 ? nice : 0;
}

ThreadPriority ThreadPriority::forLevel(int level, int baseNice)
{
    level = std::clamp(level, 0, 6);
    ThreadPriority p;
    if (level == 0) {
        p.policy = SCHED_IDLE;
        p.nice = 19;
        p.ioClass = kIoClassIdle;
        p.ioLevel = 0;
        return p;
    }
    p.policy = SCHED_OTHER;
    p.nice = std::clamp(baseNice + kNiceOffset[level], -20, 19);
    p.ioClass = kIoClassBestEffort;
    p.ioLevel = (p.nice + 20) / 5;
    return p;
}

std::string ThreadPriority::apply() const
{
    std::string problems;
    auto note = [&problems](const std::string &what) {
        problems += (problems.empty() ? "" : "; ") + what + ": " + std::strerror(errno);
    };
    sched_param param{};
    if (::sched_setscheduler(0, policy, &param) != 0) {
        note(policy == SCHED_IDLE ? "idle scheduling" : "normal scheduling");
    }
    const int before = currentNice();
    if (!setNice(nice)) {
        const int saved = errno;
        // Above the program's own priority without the right to it: as high as this thread may go
        // (where it is, or down to the nice limit).
        const int allowed = std::max(nice, std::min(before, niceFloor()));
        const bool partly = allowed != nice && setNice(allowed);
        errno = saved;
        note("nice " + std::to_string(nice) + (partly ? " (runs at " + std::to_string(allowed) + ")" : ""));
    }
    const int value = (ioClass << kIoClassShift) | ioLevel;
    if (::syscall(SYS_ioprio_set, kIoWhoProcess, threadId(), value) != 0) {
        note("I/O priority");
    }
    return problems;
}

} // namespace qv
