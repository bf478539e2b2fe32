// The side tables of the allocation tracking: live blocks, released blocks held back, damaged blocks.
//
// Nothing here allocates through operator new or malloc: the tables live in address space reserved
// with mmap at activation and committed a chunk at a time, so that the hooks can use them from inside
// operator new. One lock guards them; the hooks never call out of this file while holding it.
#pragma once

#include "diagnostics/LeakCheck.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <vector>

namespace qv::leakcheck::tracking {

// How a block was had: through operator new, malloc or calloc, or realloc.
enum class BlockSource : std::uint8_t { New, Malloc, Realloc };

struct BlockRecord {
    void *ptr = nullptr;
    std::size_t size = 0;
    BlockSource source = BlockSource::New;
    std::uint64_t sequence = 0;
    std::int64_t timeNs = 0; // CLOCK_REALTIME
    std::uint32_t next = 0;  // hash chain, or free list
    std::uint32_t live = 0;
    CallStack stack{};
};

// A released block kept filled with kFillByte (its first word replaced by the trap table when it was
// a polymorphic object) until it leaves the quarantine, when it is checked and freed.
struct Quarantined {
    void *ptr = nullptr;
    std::size_t size = 0;
    std::uintptr_t vptr = 0; // the object's vtable pointer at release, 0 for plain memory
    CallStack allocated{};
    CallStack released{};
};

inline constexpr unsigned char kFillByte = 0xDD;

// Reserves the tables; false (and the tables unusable) when the address space cannot be had.
bool initTables(std::size_t maxBlocks);

// False when the table is full (the block stays untracked and the report says it is not accurate)
// or could not grow (tracking stops: see trackingFailed).
bool addBlock(void *ptr, std::size_t size, std::int64_t timeNs, const CallStack &stack, BlockSource source);
// Removes a live block; true with its record copied out when it was tracked.
bool removeBlock(void *ptr, BlockRecord &out);

// Holds a released block back; blocks pushed out of the quarantine are checked and freed.
void quarantine(const Quarantined &q);
// The quarantine entry of an address (for the freed-object trap).
bool findQuarantined(const void *ptr, Quarantined &out);

// Every live block in allocation order, and every damaged block so far (the quarantine checked
// too). Called at the end, with the hooks no longer recording.
std::vector<BlockRecord> liveBlocks();
std::vector<DamagedBlock> damagedBlocks(bool &overflow);

// The C library's own allocator, under the hooks. A fault it finds in its heap ends the process
// with SIGABRT (or SIGSEGV) while the calling thread is inside it: insideHeap() tells the signal
// handler so (async-signal-safe).
void *heapMalloc(std::size_t size);
void *heapCalloc(std::size_t count, std::size_t size);
void *heapRealloc(void *ptr, std::size_t size);
void heapFree(void *ptr);
bool insideHeap();

// While one lives, this thread's allocations pass the hooks untracked (the checker's own work).
struct Untracked {
    Untracked();
    ~Untracked();
    Untracked(const Untracked &) = delete;
    Untracked &operator=(const Untracked &) = delete;
};

// True while this thread holds the tables' lock: a release then reaching the hooks (a table
// growing its own storage) must not take it again.
bool tablesLockedHere();

bool blocksOverflowed();
bool trackingFailed(); // own tables could not grow: tracking stopped
void reportNoMemoryOnce();

} // namespace qv::leakcheck::tracking
