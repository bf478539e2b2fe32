// The side tables of the allocation tracking, in memory of their own.
#include "diagnostics/tracking/TrackingTables.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

// The C library's allocator under its public names, which the tracking replaces.
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *ptr, std::size_t size);
void __libc_free(void *ptr);
}

namespace qv::leakcheck::tracking {

namespace {

constexpr std::size_t kBucketBits = 21;
constexpr std::size_t kBuckets = std::size_t{1} << kBucketBits;
constexpr std::size_t kQuarantineSlots = 4096;
constexpr std::size_t kQuarantineBytes = std::size_t{16} << 20;
constexpr std::size_t kCommitChunk = std::size_t{1} << 20;

std::mutex g_lock; // constexpr-constructed: usable before any static constructor
thread_local bool t_locked = false;
thread_local int t_inHeap = 0;

// The tables' lock, marked as held by this thread.
class TablesLock
{
public:
    TablesLock() : m_guard(g_lock) { t_locked = true; }
    ~TablesLock() { t_locked = false; }
    TablesLock(const TablesLock &) = delete;
    TablesLock &operator=(const TablesLock &) = delete;

private:
    std::lock_guard<std::mutex> m_guard;
};

struct InHeap {
    InHeap() { ++t_inHeap; }
    ~InHeap() { --t_inHeap; }
    InHeap(const InHeap &) = delete;
    InHeap &operator=(const InHeap &) = delete;
};

// Address space reserved once; pages committed as the tables grow.
struct Region {
    unsigned char *base = nullptr;
    std::size_t reserved = 0;
    std::size_t committed = 0;

    bool reserve(std::size_t bytes)
    {
        void *p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) {
            return false;
        }
        base = static_cast<unsigned char *>(p);
        reserved = bytes;
        return true;
    }
    // Makes the first `bytes` usable.
    bool ensure(std::size_t bytes)
    {
        if (bytes <= committed) {
            return true;
        }
        std::size_t want = std::min(reserved, (bytes + kCommitChunk - 1) / kCommitChunk * kCommitChunk);
        if (want < bytes || mprotect(base + committed, want - committed, PROT_READ | PROT_WRITE) != 0) {
            return false;
        }
        committed = want;
        return true;
    }
};

Region g_recordsRegion;
Region g_bucketsRegion;
Region g_damagedRegion;
Region g_quarantineRegion;

BlockRecord *g_records = nullptr; // index 0 unused
std::uint32_t *g_buckets = nullptr;
std::size_t g_maxBlocks = 0;
std::uint32_t g_used = 0;     // records handed out (high-water mark)
std::uint32_t g_freeList = 0; // released records
std::uint64_t g_sequence = 0;

Quarantined *g_quarantine = nullptr;
std::size_t g_qHead = 0; // oldest
std::size_t g_qCount = 0;
std::size_t g_qBytes = 0;

DamagedBlock *g_damaged = nullptr;
std::size_t g_damagedCount = 0;
bool g_damagedOverflow = false;

bool g_blocksOverflow = false;
std::atomic<bool> g_failed{false};
std::atomic<bool> g_noMemoryReported{false};

std::size_t bucketOf(const void *ptr)
{
    auto v = reinterpret_cast<std::uintptr_t>(ptr) >> 4;
    v *= 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(v >> (64 - kBucketBits));
}

bool isDamaged(const Quarantined &q)
{
    const auto *bytes = static_cast<const unsigned char *>(q.ptr);
    std::size_t from = q.vptr ? sizeof(void *) : 0;
    for (std::size_t i = from; i < q.size; ++i) {
        if (bytes[i] != kFillByte) {
            return true;
        }
    }
    return false;
}

// Checks a block leaving the quarantine and records it when it was written to. Lock held.
void checkLeaving(const Quarantined &q)
{
    if (!isDamaged(q)) {
        return;
    }
    if (g_damagedCount >= g_maxBlocks ||
        !g_damagedRegion.ensure((g_damagedCount + 1) * sizeof(DamagedBlock))) {
        g_damagedOverflow = true;
        return;
    }
    new (&g_damaged[g_damagedCount++]) DamagedBlock{q.allocated, q.released};
}

} // namespace

bool initTables(std::size_t maxBlocks)
{
    g_maxBlocks = maxBlocks;
    if (!g_recordsRegion.reserve((maxBlocks + 1) * sizeof(BlockRecord)) ||
        !g_bucketsRegion.reserve(kBuckets * sizeof(std::uint32_t)) ||
        !g_damagedRegion.reserve(maxBlocks * sizeof(DamagedBlock)) ||
        !g_quarantineRegion.reserve(kQuarantineSlots * sizeof(Quarantined)) ||
        !g_bucketsRegion.ensure(kBuckets * sizeof(std::uint32_t)) ||
        !g_quarantineRegion.ensure(kQuarantineSlots * sizeof(Quarantined))) {
        return false;
    }
    g_records = reinterpret_cast<BlockRecord *>(g_recordsRegion.base);
    g_buckets = reinterpret_cast<std::uint32_t *>(g_bucketsRegion.base);
    g_damaged = reinterpret_cast<DamagedBlock *>(g_damagedRegion.base);
    g_quarantine = reinterpret_cast<Quarantined *>(g_quarantineRegion.base);
    return true;
}

bool addBlock(void *ptr, std::size_t size, std::int64_t timeNs, const CallStack &stack, BlockSource source)
{
    TablesLock guard;
    if (g_failed.load(std::memory_order_relaxed)) {
        return false;
    }
    std::uint32_t index = g_freeList;
    if (index != 0) {
        g_freeList = g_records[index].next;
    } else {
        if (g_used >= g_maxBlocks) {
            g_blocksOverflow = true;
            return false;
        }
        if (!g_recordsRegion.ensure((g_used + 2) * sizeof(BlockRecord))) {
            g_failed = true;
            return false;
        }
        index = ++g_used;
    }
    BlockRecord &r = g_records[index];
    r.ptr = ptr;
    r.size = size;
    r.source = source;
    r.sequence = ++g_sequence;
    r.timeNs = timeNs;
    r.live = 1;
    r.stack = stack;
    std::size_t b = bucketOf(ptr);
    r.next = g_buckets[b];
    g_buckets[b] = index;
    return true;
}

bool removeBlock(void *ptr, BlockRecord &out)
{
    TablesLock guard;
    if (g_buckets == nullptr) {
        return false;
    }
    std::size_t b = bucketOf(ptr);
    std::uint32_t *link = &g_buckets[b];
    while (*link != 0) {
        BlockRecord &r = g_records[*link];
        if (r.ptr == ptr) {
            std::uint32_t index = *link;
            *link = r.next;
            out = r;
            r.live = 0;
            r.ptr = nullptr;
            r.next = g_freeList;
            g_freeList = index;
            return true;
        }
        link = &r.next;
    }
    return false;
}

void quarantine(const Quarantined &q)
{
    // Blocks leave the quarantine oldest first; they are freed after the lock is released.
    constexpr std::size_t kMaxEvict = 8;
    void *toFree[kMaxEvict + 1];
    std::size_t freeCount = 0;
    {
        TablesLock guard;
        while (g_qCount > 0 && freeCount < kMaxEvict &&
               (g_qCount >= kQuarantineSlots || g_qBytes + q.size > kQuarantineBytes)) {
            Quarantined &old = g_quarantine[g_qHead];
            checkLeaving(old);
            toFree[freeCount++] = old.ptr;
            g_qBytes -= old.size;
            g_qHead = (g_qHead + 1) % kQuarantineSlots;
            --g_qCount;
        }
        if (g_qCount < kQuarantineSlots && g_qBytes + q.size <= kQuarantineBytes) {
            g_quarantine[(g_qHead + g_qCount) % kQuarantineSlots] = q;
            ++g_qCount;
            g_qBytes += q.size;
        } else {
            checkLeaving(q); // too big to hold back now: checked and freed at once
            toFree[freeCount++] = q.ptr;
        }
    }
    for (std::size_t i = 0; i < freeCount; ++i) {
        heapFree(toFree[i]);
    }
}

bool findQuarantined(const void *ptr, Quarantined &out)
{
    TablesLock guard;
    for (std::size_t i = 0; i < g_qCount; ++i) {
        const Quarantined &q = g_quarantine[(g_qHead + i) % kQuarantineSlots];
        if (q.ptr == ptr) {
            out = q;
            return true;
        }
    }
    return false;
}

std::vector<BlockRecord> liveBlocks()
{
    std::vector<BlockRecord> blocks;
    TablesLock guard;
    for (std::uint32_t i = 1; i <= g_used; ++i) {
        if (g_records[i].live) {
            blocks.push_back(g_records[i]);
        }
    }
    std::sort(blocks.begin(), blocks.end(),
              [](const BlockRecord &a, const BlockRecord &b) { return a.sequence < b.sequence; });
    return blocks;
}

std::vector<DamagedBlock> damagedBlocks(bool &overflow)
{
    TablesLock guard;
    std::vector<DamagedBlock> damaged(g_damaged, g_damaged + g_damagedCount);
    for (std::size_t i = 0; i < g_qCount; ++i) {
        const Quarantined &q = g_quarantine[(g_qHead + i) % kQuarantineSlots];
        if (isDamaged(q)) {
            damaged.push_back(DamagedBlock{q.allocated, q.released});
        }
    }
    overflow = g_damagedOverflow;
    return damaged;
}

void *heapMalloc(std::size_t size)
{
    InHeap in;
    return __libc_malloc(size);
}

void *heapCalloc(std::size_t count, std::size_t size)
{
    InHeap in;
    return __libc_calloc(count, size);
}

void *heapRealloc(void *ptr, std::size_t size)
{
    InHeap in;
    return __libc_realloc(ptr, size);
}

void heapFree(void *ptr)
{
    InHeap in;
    __libc_free(ptr);
}

bool insideHeap()
{
    return t_inHeap > 0;
}

bool tablesLockedHere()
{
    return t_locked;
}

bool blocksOverflowed()
{
    TablesLock guard;
    return g_blocksOverflow;
}

bool trackingFailed()
{
    return g_failed.load();
}

void reportNoMemoryOnce()
{
    if (!g_noMemoryReported.exchange(true)) {
        static const char text[] = "LeakCheck: ";
        (void)!write(2, text, sizeof text - 1);
        (void)!write(2, kNoMemoryText, std::strlen(kNoMemoryText));
        (void)!write(2, "\n", 1);
    }
}

} // namespace qv::leakcheck::tracking
