// StatLookahead: the destination files a copy pass is about to decide on, looked at a little ahead
// by threads of their own, so that the decisions need not wait for the file system one by one.
//
// Items are numbered in the order the pass decides on them. The threads stat the items at most a
// window ahead of the pass and keep only that window (memory does not grow with the tree); each
// thread holds the folder of its last item open and looks up the next items in the same folder by
// name. A stat is handed out only for a regular file (or a link to one); anything else, a stat not
// taken yet, or one taken before invalidate() is looked at again by the caller at its turn. An item
// a thread is looking at when the pass asks for it is waited for a moment; a thread that fell
// behind the pass starts again a little ahead of it, leaving the items between to the pass, so
// that an item is rarely looked at twice. The caller must not change an item's path itself before
// its turn (the copy pass writes each destination file at its own turn only).
#pragma once

#include "platform/FileStat.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv {

class StatLookahead
{
public:
    // `pathOf(i)` (called on the threads) gives item i's path; empty: nothing to look at.
    // `threadStart` runs first on each thread.
    StatLookahead(std::size_t count, std::function<std::string(std::size_t)> pathOf, int threads = 1,
                  std::size_t window = 2048, std::function<void()> threadStart = {});
    ~StatLookahead();
    StatLookahead(const StatLookahead &) = delete;
    StatLookahead &operator=(const StatLookahead &) = delete;

    // Item `i`'s stat (existence, size, times, mode, device and inode) when it was taken ahead and
    // still holds. Items are asked for in increasing order, from one thread.
    bool take(std::size_t i, PathStat &stat);
    // What was taken so far no longer holds (another medium is in the drive).
    void invalidate() { m_generation.fetch_add(1); }

private:
    struct Slot {
        std::mutex mutex; // the thread may fall behind the pass and write a slot the pass reads
        std::size_t item = 0;   // the item held + 1; 0 while empty
        std::size_t taking = 0; // the item a thread is looking at + 1; 0 when none
        std::uint64_t generation = 0;
        PathStat stat;
    };
    void run();

    const std::size_t m_count;
    const std::function<std::string(std::size_t)> m_pathOf;
    const std::size_t m_window;
    std::unique_ptr<Slot[]> m_slots;
    std::atomic<std::uint64_t> m_generation{0};
    std::atomic<std::size_t> m_next{0};    // the item the pass decides on now
    std::atomic<std::size_t> m_claimed{0}; // the next item for a thread to take
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_sleeping{false};
    std::mutex m_mutex;
    std::condition_variable m_moved;
    std::vector<std::thread> m_threads;
};

} // namespace qv
