// The bandwidth limit shared by the copies of a run.
#include "platform/RateBudget.h"

#include <algorithm>

namespace qv {

RateBudget::RateBudget(std::int64_t bytesPerSecond) : m_limit(std::max<std::int64_t>(bytesPerSecond, 1)) {}

RateBudget::Clock::time_point RateBudget::spend(std::int64_t bytes, Clock::time_point began)
{
    using namespace std::chrono;
    const auto cost =
        duration_cast<Clock::duration>(duration<double>(static_cast<double>(bytes) / static_cast<double>(m_limit)));
    std::lock_guard<std::mutex> lock(m_mutex);
    // A block begun after the budget ran dry starts a new account at its own start.
    if (!m_started || m_next < began) {
        m_next = began;
        m_started = true;
    }
    m_next += cost;
    return m_next;
}

} // namespace qv
