// The processors this process may use, for sizing its pools of worker threads.
//
// A machine's processor count says little inside a container or under taskset: the process may be
// bound to a few processors (its affinity mask) or given only a share of CPU time by its control
// group (cpu.max, or cpu.cfs_quota_us with cpu.cfs_period_us in the older hierarchy). More busy
// threads than that only take turns, each holding its buffers.
#pragma once

#include <string>

namespace qv {

// The processors the calling thread may run on, lowered to the CPU time its control group and
// every group above it allow (rounded up); at least 1.
int usableCores();

namespace detail {

// The whole processors a quota of `quotaUs` per `periodUs` is worth, rounded up; 0 for no limit.
int coresOfQuota(long long quotaUs, long long periodUs);

// The tightest CPU time limit, in processors, on the way from this process's control group up to
// the root: `cgroupRoot` is where the groups are mounted (/sys/fs/cgroup), `selfCgroup` the text
// of /proc/self/cgroup. 0 when no group limits it.
int cgroupCoreLimit(const std::string &cgroupRoot, const std::string &selfCgroup);

} // namespace detail
} // namespace qv
