// What a copy run knows of its destination.
#include "core/engine/DestinationState.h"

#include "platform/FileStat.h"

#include <climits>

namespace qv {

namespace {
// Free space is asked again when the estimate comes within this of what is needed.
constexpr std::int64_t kFreeMargin = 64 * 1024 * 1024;
} // namespace

void DestinationState::noteCreated(const std::string &folder)
{
    m_created.insert(folder);
    m_known.insert(folder);
}

bool DestinationState::estimateHolds(const std::string &folder, std::int64_t needed) const
{
    auto dev = m_folderDevice.find(folder);
    if (dev == m_folderDevice.end()) {
        return false;
    }
    auto e = m_freeEstimates.find(dev->second);
    return e != m_freeEstimates.end() && e->second.valid && e->second.bytes - needed >= kFreeMargin &&
           std::chrono::steady_clock::now() - e->second.asked <= std::chrono::seconds(1);
}

std::int64_t DestinationState::freeSpace(const std::string &folder, std::int64_t needed, bool &fresh,
                                         const std::function<std::int64_t(const std::string &)> &ask)
{
    fresh = false;
    auto dev = m_folderDevice.find(folder);
    if (dev == m_folderDevice.end()) {
        dev = m_folderDevice.emplace(folder, statPath(folder).dev).first;
    }
    FreeEstimate &e = m_freeEstimates[dev->second];
    const auto now = std::chrono::steady_clock::now();
    if (!e.valid || e.bytes - needed < kFreeMargin || now - e.asked > std::chrono::seconds(1)) {
        e.bytes = ask(folder);
        e.asked = now;
        e.valid = true;
        fresh = true;
    }
    return e.bytes;
}

void DestinationState::noteWritten(const std::string &folder, std::int64_t bytes)
{
    auto dev = m_folderDevice.find(folder);
    if (dev != m_folderDevice.end()) {
        FreeEstimate &e = m_freeEstimates[dev->second];
        e.bytes = e.bytes == INT64_MAX ? e.bytes : e.bytes - bytes;
    }
}

void DestinationState::forget()
{
    m_known.clear();
    m_created.clear();
    m_cleaned.clear();
    m_folderDevice.clear();
    m_freeEstimates.clear();
}

} // namespace qv
