// StatLookahead: a window of destination stats taken ahead of the copy pass.
#include "core/engine/StatLookahead.h"

#include "platform/FileStat.h"

#include <algorithm>
#include <chrono>

namespace qv {

namespace {

// How far past the pass a thread that fell behind it starts again: the items between are the
// pass's own, so that the threads get ahead instead of racing it for the same items.
constexpr std::size_t kRestartAhead = 32;
// How long the pass waits for an item a thread is looking at before it looks itself.
constexpr std::chrono::microseconds kWaitForTaken{200};

} // namespace

StatLookahead::StatLookahead(std::size_t count, std::function<std::string(std::size_t)> pathOf, int threads,
                             std::size_t window, std::function<void()> threadStart)
    : m_count(count), m_pathOf(std::move(pathOf)), m_window(std::max<std::size_t>(window, 1)),
      m_slots(std::make_unique<Slot[]>(m_window))
{
    for (int k = 0; k < threads && m_count > 0; ++k) {
        m_threads.emplace_back([this, threadStart] {
            if (threadStart) {
                threadStart();
            }
            run();
        });
    }
}

StatLookahead::~StatLookahead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_moved.notify_all();
    for (std::thread &t : m_threads) {
        t.join();
    }
}

void StatLookahead::run()
{
    // The folder of the last item looked at, held open while the next items lie in it: each
    // entry is then looked up by its name alone.
    FolderHandle folder;
    std::string folderPath;
    std::uint64_t folderGeneration = 0;
    bool folderOpen = false;
    while (!m_stop.load()) {
        // The next item nobody took: never behind the pass (what it passed it looked at itself),
        // never a window ahead of it.
        std::size_t i = m_claimed.load();
        const std::size_t next = m_next.load();
        if (i < next) {
            m_claimed.compare_exchange_weak(i, std::min(next + kRestartAhead, m_count));
            continue;
        }
        if (i >= m_count) {
            return;
        }
        if (i >= next + m_window) {
            // The flag is raised again before every wait: take() clears it when it wakes the
            // sleepers, and a sleeper that finds the window still closed must be woken next time.
            std::unique_lock<std::mutex> lock(m_mutex);
            for (;;) {
                m_sleeping = true;
                if (m_stop.load() || i < m_next.load() + m_window) {
                    break;
                }
                m_moved.wait(lock);
            }
            continue;
        }
        if (!m_claimed.compare_exchange_weak(i, i + 1)) {
            continue;
        }
        Slot &slot = m_slots[i % m_window];
        {
            std::lock_guard<std::mutex> lock(slot.mutex);
            if (slot.item > i) {
                continue; // a thread that fell behind never takes a later item's slot
            }
            slot.taking = i + 1;
        }
        const std::uint64_t generation = m_generation.load();
        const std::string path = m_pathOf(i);
        PathStat st;
        const std::size_t slash = path.rfind('/');
        if (!path.empty() && slash != std::string::npos && slash + 1 < path.size()) {
            const std::string_view parent(path.data(), slash + 1);
            if (!folderOpen || generation != folderGeneration || parent != folderPath) {
                folderPath.assign(parent);
                folderGeneration = generation;
                folderOpen = folder.open(folderPath);
            }
            if (folderOpen) {
                st = folder.stat(path.c_str() + slash + 1);
            }
        } else if (!path.empty()) {
            st = statEntry(path);
        }
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (slot.item <= i) {
            slot.item = i + 1;
            slot.generation = generation;
            slot.stat = st;
        }
        if (slot.taking == i + 1) {
            slot.taking = 0;
        }
    }
}

bool StatLookahead::take(std::size_t i, PathStat &stat)
{
    if (i >= m_count) {
        return false;
    }
    // The slot of item i is not written again until the pass is past it.
    m_next.store(i);
    if (m_sleeping.load()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sleeping = false;
        m_moved.notify_all();
    }
    Slot &slot = m_slots[i % m_window];
    std::chrono::steady_clock::time_point until{};
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(slot.mutex);
            if (slot.item == i + 1) {
                if (slot.generation != m_generation.load() || !slot.stat.exists || !slot.stat.isRegular) {
                    return false;
                }
                stat = slot.stat;
                return true;
            }
            if (slot.taking != i + 1) {
                return false; // no thread took it: the caller looks itself
            }
        }
        // A thread is looking at it now: a moment's wait costs less than looking twice.
        const auto now = std::chrono::steady_clock::now();
        if (until == std::chrono::steady_clock::time_point{}) {
            until = now + kWaitForTaken;
        } else if (now >= until) {
            return false;
        }
        std::this_thread::yield();
    }
}

} // namespace qv
