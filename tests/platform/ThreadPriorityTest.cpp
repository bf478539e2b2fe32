// The CPU setting's levels on real threads, read back from the kernel (/proc for the policy and the
// nice value, ioprio_get for the I/O class), and the processor count pools are sized by.
#include "platform/Processors.h"
#include "platform/ThreadPriority.h"

#include "support/TestEnv.h"
#include "support/ThreadState.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>

using namespace qv;

namespace {

struct Observed {
    qvtest::ThreadState state;
    std::string refused;
};

Observed applyOnNewThread(const ThreadPriority &p)
{
    Observed o;
    std::thread([&] {
        o.refused = p.apply();
        o.state = qvtest::callingThreadState();
    }).join();
    return o;
}

// The lowest nice value this process may take (CAP_SYS_NICE: -20).
int niceFloor()
{
    if (::geteuid() == 0) {
        return -20;
    }
    rlimit r{};
    ::getrlimit(RLIMIT_NICE, &r);
    return r.rlim_cur == RLIM_INFINITY ? -20 : 20 - static_cast<int>(std::min<rlim_t>(r.rlim_cur, 40));
}

} // namespace

namespace {

void checkEveryLevel()
{
    const int base = ThreadPriority::currentNice();
    const struct {
        int level;
        int policy;
        int niceOffset; // from the program's own nice value; idle is always 19
        int ioClass;    // 2 best-effort, 3 idle
    } cases[] = {
        {0, SCHED_IDLE, 19, 3},  {1, SCHED_OTHER, 15, 2},  {2, SCHED_OTHER, 10, 2},  {3, SCHED_OTHER, 0, 2},
        {4, SCHED_OTHER, -5, 2}, {5, SCHED_OTHER, -10, 2}, {6, SCHED_OTHER, -15, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("level ") + cpuLevelName(c.level));
        const int wanted = c.level == 0 ? 19 : std::clamp(base + c.niceOffset, -20, 19);
        const ThreadPriority p = ThreadPriority::forLevel(c.level, base);
        const Observed o = applyOnNewThread(p);
        EXPECT_EQ(o.state.policy, c.policy);
        EXPECT_EQ(o.state.ioClass, c.ioClass);
        EXPECT_EQ(o.state.ioLevel, c.ioClass == 3 ? 0 : (wanted + 20) / 5);
        const int best = std::min(base, niceFloor());
        if (wanted >= best) {
            EXPECT_EQ(o.state.nice, wanted);
            EXPECT_EQ(o.refused, "");
        } else {
            // Above what this user may have: as high as allowed, and said so.
            EXPECT_EQ(o.state.nice, best);
            EXPECT_NE(o.refused.find("nice " + std::to_string(wanted)), std::string::npos) << o.refused;
        }
    }
}

} // namespace

TEST(ThreadPriorityLevels, EachLevelReadsBackFromTheKernel)
{
    checkEveryLevel();
}

// Levels above the program's own priority without the right to them (as root: rerun as nobody).
TEST(ThreadPriorityLevels, AnUnprivilegedUserGetsWhatItMayHave)
{
    QV_RUN_AS_NOBODY_WHEN_ROOT();
    checkEveryLevel();
}

TEST(ThreadPriorityLevels, NiceValuesStayInTheKernelsRange)
{
    const struct {
        int level;
        int base;
        int nice;
    } cases[] = {{1, 10, 19}, {2, 12, 19}, {6, -10, -20}, {0, -20, 19}, {-3, 0, 19}, {9, 0, -15}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.level) + " from " + std::to_string(c.base));
        EXPECT_EQ(ThreadPriority::forLevel(c.level, c.base).nice, c.nice);
    }
}

TEST(UsableCores, CgroupLimitsOnTheWayToTheRoot)
{
    const std::string root = qvtest::makeTempDir("cgroup");
    auto put = [&](const std::string &file, const std::string &text) {
        qvtest::runShell("mkdir -p '" + root + file.substr(0, file.rfind('/')) + "'");
        qvtest::writeFile(root + file, text);
    };
    put("/cpu.max", "max 100000\n");
    put("/user.slice/cpu.max", "400000 100000\n");
    put("/user.slice/app/cpu.max", "150000 100000\n");
    put("/user.slice/free/cpu.max", "max 100000\n");
    put("/box/cpu.max", "garbage\n");
    put("/cpu/cpu.cfs_quota_us", "-1\n");
    put("/cpu/cpu.cfs_period_us", "100000\n");
    put("/cpu/docker/x/cpu.cfs_quota_us", "250000\n");
    put("/cpu/docker/x/cpu.cfs_period_us", "100000\n");
    const struct {
        const char *selfCgroup;
        int limit;
    } cases[] = {
        {"0::/user.slice/app\n", 2},              // 1.5 processors' time: rounded up
        {"0::/user.slice/free\n", 4},             // the parent's limit holds
        {"0::/\n", 0},                            // none at all
        {"0::/box\n", 0},                         // an unreadable limit is none
        {"0::/host/path/not/mounted\n", 0},       // a host's path inside a container
        {"4:cpu,cpuacct:/docker/x\n1:name=systemd:/\n", 3}, // the older hierarchy
        {"4:cpuacct,cpu:/docker/x\n0::/user.slice/app\n", 2}, // both: the tighter
        {"", 0},
        {"nonsense without colons\n", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.selfCgroup);
        EXPECT_EQ(detail::cgroupCoreLimit(root, c.selfCgroup), c.limit);
    }
    EXPECT_EQ(detail::coresOfQuota(50000, 100000), 1);
    EXPECT_EQ(detail::coresOfQuota(-1, 100000), 0);
    EXPECT_EQ(detail::coresOfQuota(100000, 0), 0);
}

TEST(UsableCores, FollowsTheAffinityMaskAsNprocDoes)
{
    QV_REQUIRE_TOOL("nproc");
    std::ifstream in("/proc/self/cgroup");
    std::string self((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int limit = detail::cgroupCoreLimit("/sys/fs/cgroup", self);
    const int nproc = std::stoi(qvtest::runCommand({"nproc"}).output);
    EXPECT_EQ(usableCores(), limit > 0 ? std::min(nproc, limit) : nproc);
    // A thread bound to one processor (as under taskset -c) counts one.
    int bound = 0;
    std::thread([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(static_cast<int>(::sched_getcpu()), &one);
        ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
        bound = usableCores();
    }).join();
    EXPECT_EQ(bound, 1);
}
