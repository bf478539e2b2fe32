// Allocation tracking: operator new and delete in every form and the C allocation functions (malloc,
// calloc, realloc, free), activated before main, with the leak report written at program end.
//
// A program is tracked exactly when it links this object library. Blocks are recorded with a time
// stamp and a call stack; released blocks are held back in a bounded quarantine filled with a pattern
// (a polymorphic object also gets the trap table as its vtable) and checked when they leave it. The
// report is written after the program's own static objects are gone: the activation registers it with
// atexit before any of them is constructed.
#include "diagnostics/LeakCheck.h"
#include "diagnostics/tracking/FreedInstanceTrap.h"
#include "diagnostics/tracking/SevereExceptions.h"
#include "diagnostics/tracking/Suppressions.h"
#include "diagnostics/tracking/Symbols.h"
#include "diagnostics/tracking/TrackingTables.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::leakcheck::tracking {

namespace {

std::atomic<bool> g_tracking{false};
thread_local int t_depth = 0; // inside a hook or the report: allocations pass through untracked

struct DepthGuard {
    DepthGuard() { ++t_depth; }
    ~DepthGuard() { --t_depth; }
    DepthGuard(const DepthGuard &) = delete;
    DepthGuard &operator=(const DepthGuard &) = delete;
};

} // namespace

Untracked::Untracked()
{
    ++t_depth;
}

Untracked::~Untracked()
{
    --t_depth;
}

namespace {

std::int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The call stack above the hook: frames 0 and 1 are this function and the hook's own helper, 2 the
// operator (the library is built without sibling calls, so none of them disappears).
__attribute__((noinline)) CallStack captureStack()
{
    constexpr int kSkip = 3;
    void *frames[kStackDepth + kSkip];
    int n = backtrace(frames, kStackDepth + kSkip);
    CallStack stack{};
    for (int i = kSkip; i < n; ++i) {
        stack[i - kSkip] = reinterpret_cast<std::uintptr_t>(frames[i]);
    }
    return stack;
}

void *rawAllocate(std::size_t size, std::size_t align)
{
    if (size == 0) {
        size = 1;
    }
    for (;;) {
        void *p = nullptr;
        if (align <= alignof(std::max_align_t)) {
            p = heapMalloc(size);
        } else if (posix_memalign(&p, align, size) != 0) {
            p = nullptr;
        }
        if (p != nullptr) {
            return p;
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            return nullptr;
        }
        handler();
    }
}

bool tracking()
{
    return g_tracking.load(std::memory_order_relaxed) && t_depth == 0;
}

void record(void *p, std::size_t size, const CallStack &stack, BlockSource source)
{
    if (!addBlock(p, size, nowNs(), stack, source) && trackingFailed()) {
        g_tracking = false;
        reportNoMemoryOnce();
    }
}

// A tracked block released by the program: filled and held back in the quarantine.
void release(void *p, const BlockRecord &record, const CallStack &released)
{
    Quarantined q;
    q.ptr = p;
    q.size = record.size;
    q.allocated = record.stack;
    q.released = released;
    std::uintptr_t first = 0;
    if (record.size >= sizeof(void *)) {
        std::memcpy(&first, p, sizeof first);
        if (isVtablePointer(first)) {
            q.vptr = first;
        }
    }
    std::memset(p, kFillByte, record.size);
    if (q.vptr != 0) {
        std::uintptr_t trap = trapVtablePointer();
        std::memcpy(p, &trap, sizeof trap);
    }
    quarantine(q);
}

// Drops the record of a block that leaves without the hooks watching (a release inside the
// checker's own work, or after the report began), so that its address can be tracked again.
void forget(void *p)
{
    BlockRecord record;
    if (!tablesLockedHere()) {
        removeBlock(p, record);
    }
}

} // namespace

__attribute__((noinline)) void *trackedNew(std::size_t size, std::size_t align)
{
    void *p = rawAllocate(size, align);
    if (p == nullptr || !tracking()) {
        return p;
    }
    DepthGuard depth;
    CallStack stack = captureStack();
    record(p, size, stack, BlockSource::New);
    return p;
}

__attribute__((noinline)) void *trackedMalloc(std::size_t size)
{
    void *p = heapMalloc(size);
    if (p == nullptr || !tracking()) {
        return p;
    }
    DepthGuard depth;
    CallStack stack = captureStack();
    record(p, size, stack, BlockSource::Malloc);
    return p;
}

__attribute__((noinline)) void *trackedCalloc(std::size_t count, std::size_t size)
{
    void *p = heapCalloc(count, size);
    if (p == nullptr || !tracking()) {
        return p;
    }
    DepthGuard depth;
    CallStack stack = captureStack();
    record(p, count * size, stack, BlockSource::Malloc);
    return p;
}

__attribute__((noinline)) void trackedDelete(void *p)
{
    if (p == nullptr) {
        return;
    }
    if (!tracking()) {
        forget(p);
        heapFree(p);
        return;
    }
    DepthGuard depth;
    BlockRecord record;
    if (removeBlock(p, record)) {
        release(p, record, captureStack());
        return;
    }
    Quarantined earlier;
    if (findQuarantined(p, earlier)) {
        // Released a second time: freeing it again would corrupt the heap. It stays held back.
        reportHeapCorrupted("block released twice", captureStack(), earlier);
        return;
    }
    heapFree(p); // allocated before the tracking began, or aligned by the C library
}

// A block that moves is copied into a new one and the old one is released like any other, so a
// write through a pointer to the old place is caught too.
__attribute__((noinline)) void *trackedRealloc(void *old, std::size_t size)
{
    if (old == nullptr) {
        void *p = heapMalloc(size);
        if (p != nullptr && tracking()) {
            DepthGuard depth;
            CallStack stack = captureStack();
            record(p, size, stack, BlockSource::Malloc);
        }
        return p;
    }
    if (size == 0) {
        trackedDelete(old);
        return nullptr;
    }
    if (!tracking()) {
        forget(old);
        return heapRealloc(old, size);
    }
    DepthGuard depth;
    CallStack stack = captureStack();
    BlockRecord was;
    if (!removeBlock(old, was)) {
        void *p = heapRealloc(old, size); // not tracked: resized in place or moved by the C library
        if (p != nullptr) {
            record(p, size, stack, BlockSource::Realloc);
        }
        return p;
    }
    void *p = heapMalloc(size);
    if (p == nullptr) {
        record(old, was.size, was.stack, was.source); // the old block stays as it was
        return nullptr;
    }
    std::memcpy(p, old, std::min(was.size, size));
    release(old, was, stack);
    record(p, size, stack, BlockSource::Realloc);
    return p;
}

namespace {

std::string timeText(std::int64_t ns)
{
    time_t secs = static_cast<time_t>(ns / 1000000000);
    tm local{};
    localtime_r(&secs, &local);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>((ns / 1000000) % 1000));
    return buf;
}

bool makeParents(const std::string &path)
{
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '/') {
            std::string dir = path.substr(0, i);
            if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    return true;
}

bool writeFile(const std::string &path, const std::string &text, std::string &error)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = std::strerror(errno);
            close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

// Threads that have finished their work may still be ending when the program exits (Qt's threads are
// detached): their thread-local objects are released as they go. A short wait keeps those blocks out
// of the report.
void waitForEndingThreads()
{
    for (int i = 0; i < 50; ++i) {
        int threads = 0;
        if (DIR *dir = opendir("/proc/self/task")) {
            while (dirent *e = readdir(dir)) {
                threads += e->d_name[0] != '.';
            }
            closedir(dir);
        }
        if (threads <= 1) {
            return;
        }
        usleep(10000);
    }
}

// A block allocated on a path that the suppression list names.
bool isOneTime(const CallStack &stack)
{
    for (int i = 0; i < kStackDepth && stack[i] != 0; ++i) {
        const AddressInfo &info = addressInfo(stack[i]);
        if (isSuppressedFrame(i, info.routine, info.module)) {
            return true;
        }
    }
    return false;
}

void writeReport()
{
    DepthGuard depth;
    if (!g_tracking.load()) {
        return; // never active, or stopped for lack of memory: no report
    }
    waitForEndingThreads();
    g_tracking = false;
    loadModules();
    LeakReportInput input;
    const bool suppress = suppressionsEnabled();
    std::size_t leftOut = 0;
    std::uint64_t leftOutBytes = 0;
    for (const BlockRecord &r : liveBlocks()) {
        if (suppress && isOneTime(r.stack)) {
            ++leftOut;
            leftOutBytes += r.size;
            continue;
        }
        LeakBlock b;
        b.size = r.size;
        b.sequence = r.sequence;
        b.timeText = timeText(r.timeNs);
        b.stack = r.stack;
        b.kind = r.source == BlockSource::Realloc ? LeakKind::ReallocMem : LeakKind::GetMem;
        std::uintptr_t first = 0;
        if (r.size >= sizeof(void *)) {
            std::memcpy(&first, r.ptr, sizeof first);
            if (isVtablePointer(first)) {
                b.kind = LeakKind::Instance;
                b.className = vtableClassName(first);
            }
        }
        input.blocks.push_back(std::move(b));
    }
    input.blocksOverflow = blocksOverflowed();
    input.damaged = damagedBlocks(input.damagedOverflow);
    input.describe = describeAddress;
    std::string report = blocksOfThisRun() + formatLeakReport(input);
    if (leftOut > 0) {
        std::fprintf(stderr,
                     "LeakCheck: %zu blocks (%llu bytes) allocated once per process left out of "
                     "the report (QV_LEAKCHECK_SUPPRESS=0 keeps them)\n",
                     leftOut, static_cast<unsigned long long>(leftOutBytes));
    }

    std::string logPath = logFilePath();
    std::string work = workFilePath(logPath);
    std::string error;
    if (!makeParents(logPath)) {
        error = std::strerror(errno);
    } else if (writeFile(work, report, error)) {
        if (std::rename(work.c_str(), logPath.c_str()) == 0) {
            std::fprintf(stderr, "LeakCheck: leak report written to %s\n", logPath.c_str());
            return;
        }
        error = std::strerror(errno);
        unlink(work.c_str());
    }
    std::fprintf(stderr, "LeakCheck: cannot write the leak report %s: %s\n", logPath.c_str(), error.c_str());
}

std::size_t maxBlocksSetting()
{
    // A test can lower the table's capacity to see the report's overflow texts.
    if (const char *v = std::getenv("QV_LEAKCHECK_MAXLEAK")) {
        char *end = nullptr;
        unsigned long n = std::strtoul(v, &end, 10);
        if (end != v && *end == '\0' && n > 0 && n < kMaxLeak) {
            return n;
        }
    }
    return kMaxLeak;
}

// Runs before every static constructor of the program (priority 101), so every later block is
// tracked and the report, registered here first, runs after every static destructor.
__attribute__((constructor(101))) void activate()
{
    DepthGuard depth;
    void *prime[4];
    backtrace(prime, 4); // loads the unwinder now rather than inside a hook
    loadModules();
    if (!initTables(maxBlocksSetting())) {
        reportNoMemoryOnce();
        return;
    }
    installSevereExceptionHandlers(logFilePath());
    std::atexit(writeReport);
    LeakCheck::setActive(true);
    g_tracking = true;
}

} // namespace

} // namespace qv::leakcheck::tracking

using qv::leakcheck::tracking::trackedCalloc;
using qv::leakcheck::tracking::trackedDelete;
using qv::leakcheck::tracking::trackedMalloc;
using qv::leakcheck::tracking::trackedNew;
using qv::leakcheck::tracking::trackedRealloc;

namespace {
void *orThrow(void *p)
{
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
constexpr std::size_t kPlain = alignof(std::max_align_t);
} // namespace

void *operator new(std::size_t n) { return orThrow(trackedNew(n, kPlain)); }
void *operator new[](std::size_t n) { return orThrow(trackedNew(n, kPlain)); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return trackedNew(n, kPlain); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return trackedNew(n, kPlain); }
void *operator new(std::size_t n, std::align_val_t a) { return orThrow(trackedNew(n, std::size_t(a))); }
void *operator new[](std::size_t n, std::align_val_t a) { return orThrow(trackedNew(n, std::size_t(a))); }
void *operator new(std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept
{
    return trackedNew(n, std::size_t(a));
}
void *operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept
{
    return trackedNew(n, std::size_t(a));
}

void operator delete(void *p) noexcept { trackedDelete(p); }
void operator delete[](void *p) noexcept { trackedDelete(p); }
void operator delete(void *p, std::size_t) noexcept { trackedDelete(p); }
void operator delete[](void *p, std::size_t) noexcept { trackedDelete(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { trackedDelete(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { trackedDelete(p); }
void operator delete(void *p, std::align_val_t) noexcept { trackedDelete(p); }
void operator delete[](void *p, std::align_val_t) noexcept { trackedDelete(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { trackedDelete(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { trackedDelete(p); }
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept { trackedDelete(p); }
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept { trackedDelete(p); }

// The C allocation functions (strdup and the other C routines that allocate come through these).
// The aligned ones stay the C library's: their blocks are not tracked, and free() passes them on.
extern "C" {
void *malloc(std::size_t n) { return trackedMalloc(n); }
void *calloc(std::size_t count, std::size_t n)
{
    if (n != 0 && count > SIZE_MAX / n) {
        errno = ENOMEM;
        return nullptr;
    }
    return trackedCalloc(count, n);
}
void *realloc(void *p, std::size_t n) { return trackedRealloc(p, n); }
void free(void *p) { trackedDelete(p); }
}
