// The CPU and disk priority of one thread, from the program's CPU setting (0 idle .. 6 time-critical).
//
// Linux schedules threads, not processes: a thread's nice value, scheduling policy and I/O
// priority are its own, and a new thread starts with those of the thread that made it. A run
// applies one ThreadPriority on its backup thread and the same on every thread it starts, so its
// copy workers, scan threads and zip pool compete as the backup thread does.
//
// | level | name          | policy      | nice      | I/O class, level      |
// |-------|---------------|-------------|-----------|-----------------------|
// | 0     | idle          | SCHED_IDLE  | 19        | idle                  |
// | 1     | lowest        | SCHED_OTHER | base + 15 | best-effort 7         |
// | 2     | lower         | SCHED_OTHER | base + 10 | best-effort 6         |
// | 3     | normal        | SCHED_OTHER | base      | best-effort 4         |
// | 4     | higher        | SCHED_OTHER | base - 5  | best-effort 3         |
// | 5     | highest       | SCHED_OTHER | base - 10 | best-effort 2         |
// | 6     | time-critical | SCHED_OTHER | base - 15 | best-effort 1         |
//
// "base" is the nice value the program was started with (0 unless it was started under `nice`);
// nice values stay within -20..19. The best-effort level follows the nice value as the kernel's
// own default does ((nice + 20) / 5), and idle I/O goes only when the disk is otherwise unused.
// Time-critical is no real-time policy: a backup that never yields could freeze the desktop.
// Raising a thread above the program's own priority needs CAP_SYS_NICE or a nice limit
// (RLIMIT_NICE, set in limits.conf); without it the thread gets the highest priority it may have,
// and apply() says so.
#pragma once

#include <string>

namespace qv {

struct ThreadPriority {
    int policy = 0;  // SCHED_OTHER or SCHED_IDLE
    int nice = 0;    // -20 .. 19
    int ioClass = 2; // IOPRIO_CLASS_BE (2) or IOPRIO_CLASS_IDLE (3)
    int ioLevel = 4; // 0 .. 7 within best-effort; 0 for idle

    // The priority of `level` (clamped to 0..6) for a program started at nice `baseNice`.
    static ThreadPriority forLevel(int level, int baseNice);
    // The nice value of the calling thread.
    static int currentNice();

    // Applies this to the calling thread. Returns empty when everything was applied, otherwise what
    // could not be (the thread then runs as close to it as it may).
    std::string apply() const;

    bool operator==(const ThreadPriority &) const = default;
};

// The name of a level in the table above ("lower" for 2).
const char *cpuLevelName(int level);

} // namespace qv
