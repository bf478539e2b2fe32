// The processors this process may use: affinity mask and control group CPU limits.
#include "platform/Processors.h"

#include "platform/TextFile.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <vector>

namespace qv {
namespace detail {
namespace {

bool readWords(const std::string &path, std::vector<std::string> &words)
{
    std::string text;
    if (!readTextFile(path, text)) {
        return false;
    }
    words = wordsOf(text);
    return !words.empty();
}

bool toNumber(const std::string &text, long long &value)
{
    try {
        std::size_t used = 0;
        value = std::stoll(text, &used);
        return used == text.size();
    } catch (const std::exception &) {
        return false;
    }
}

// "quota period" of cgroup v2's cpu.max ("max" for none).
int limitOfCpuMax(const std::string &file)
{
    std::vector<std::string> w;
    long long quota = 0;
    long long period = 0;
    if (!readWords(file, w) || w.size() < 2 || w[0] == "max" || !toNumber(w[0], quota) || !toNumber(w[1], period)) {
        return 0;
    }
    return coresOfQuota(quota, period);
}

// cgroup v1's two files in one folder (-1 for none).
int limitOfCfs(const std::string &folder)
{
    std::vector<std::string> q;
    std::vector<std::string> p;
    long long quota = 0;
    long long period = 0;
    if (!readWords(folder + "/cpu.cfs_quota_us", q) || !readWords(folder + "/cpu.cfs_period_us", p) ||
        !toNumber(q[0], quota) || !toNumber(p[0], period)) {
        return 0;
    }
    return coresOfQuota(quota, period);
}

int tighter(int a, int b)
{
    if (a == 0) {
        return b;
    }
    return b == 0 ? a : std::min(a, b);
}

// Applies `limitAt` to the group `path` and each group above it, up to the mount's own root. Inside
// a container the path may name the host's group, which is not mounted here: those levels read
// nothing and the container's root still counts.
template <typename F>
int walkUp(std::string path, F limitAt)
{
    int limit = 0;
    for (;;) {
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        limit = tighter(limit, limitAt(path == "/" ? std::string() : path));
        if (path.empty() || path == "/") {
            return limit;
        }
        path.erase(path.rfind('/'));
    }
}

} // namespace

int coresOfQuota(long long quotaUs, long long periodUs)
{
    if (quotaUs <= 0 || periodUs <= 0) {
        return 0;
    }
    const long long cores = (quotaUs + periodUs - 1) / periodUs;
    return static_cast<int>(std::clamp<long long>(cores, 1, 1 << 20));
}

int cgroupCoreLimit(const std::string &cgroupRoot, const std::string &selfCgroup)
{
    int limit = 0;
    for (const std::string &line : piecesOf(selfCgroup)) {
        // "hierarchy-id:controllers:path"; cgroup v2 is "0::path".
        const auto first = line.find(':');
        const auto second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) {
            continue;
        }
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (path.empty() || path[0] != '/') {
            continue;
        }
        if (line.compare(0, first, "0") == 0 && controllers.empty()) {
            limit = tighter(limit, walkUp(path, [&](const std::string &p) {
                                return limitOfCpuMax(cgroupRoot + p + "/cpu.max");
                            }));
            continue;
        }
        for (const std::string &name : piecesOf(controllers, ',')) {
            if (name == "cpu") {
                // Mounted as "cpu,cpuacct" with a "cpu" link beside it on most systems.
                for (const char *mount : {"/cpu", "/cpu,cpuacct"}) {
                    limit = tighter(limit, walkUp(path, [&](const std::string &p) {
                                        return limitOfCfs(cgroupRoot + mount + p);
                                    }));
                }
            }
        }
    }
    return limit;
}

} // namespace detail

int usableCores()
{
    int cores = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        cores = CPU_COUNT(&set);
    }
    if (cores <= 0) {
        cores = static_cast<int>(std::thread::hardware_concurrency());
    }
    std::string text;
    readTextFile("/proc/self/cgroup", text);
    const int limit = detail::cgroupCoreLimit("/sys/fs/cgroup", text);
    if (limit > 0) {
        cores = std::min(cores, limit);
    }
    return std::max(cores, 1);
}

} // namespace qv
