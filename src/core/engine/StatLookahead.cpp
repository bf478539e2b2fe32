// StatLookahead: a window of destination stats taken ahead of the copy pass.
#include "core/engine/StatLookahead.h"

#include <algorithm>

namespace qv {

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
    while (!m_stop.load()) {
        // The next item nobody took: never behind the pass (what it passed it looked at itself),
        // never a window ahead of it.
        std::size_t i = m_claimed.load();
        const std::size_t next = m_next.load();
        if (i < next) {
            m_claimed.compare_exchange_weak(i, next);
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
        const std::uint64_t generation = m_generation.load();
        const std::string path = m_pathOf(i);
        const PathStat st = path.empty() ? PathStat{} : statPath(path);
        Slot &slot = m_slots[i % m_window];
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (slot.item <= i) { // a thread that fell behind never overwrites a later item
            slot.item = i + 1;
            slot.generation = generation;
            slot.stat = st;
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
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.item != i + 1 || slot.generation != m_generation.load() || !slot.stat.exists ||
        !slot.stat.isRegular) {
        return false;
    }
    stat = slot.stat;
    return true;
}

} // namespace qv
