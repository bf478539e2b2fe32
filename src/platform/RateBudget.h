// One bandwidth limit shared by every copy of a run, however many files are written at once.
//
// Each copy reports the blocks it wrote; the budget answers when the block may be counted as done,
// so that the bytes of all copies together, averaged since the first block, stay at the limit.
// Time in which nothing was copied is not saved up for later: a run that waited on something else
// does not then copy faster than the limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace qv {

class RateBudget
{
public:
    using Clock = std::chrono::steady_clock;

    // `bytesPerSecond` at or below 0 counts as 1.
    explicit RateBudget(std::int64_t bytesPerSecond);

    // A block of `bytes` was written, begun at `began`; returns the moment until which its copy has
    // to wait. Any thread.
    Clock::time_point spend(std::int64_t bytes, Clock::time_point began);

    std::int64_t bytesPerSecond() const { return m_limit; }

private:
    std::int64_t m_limit;
    std::mutex m_mutex;
    Clock::time_point m_next{};
    bool m_started = false;
};

} // namespace qv
