// What a copy run knows of its destination.
#include "core/engine/DestinationState.h"

#include "platform/FileStat.h"

#include <climits>

namespace qv {

namespace {
// Free space is asked again when the estimate comes within this of what is needed.
constexpr std::int64_t kFreeMargin = 64 * 1024 * 1024;
} // namespace

const DestinationState::Folder &DestinationState::facts(const std::string &folder) const
{
    static const Folder unknown;
    auto it = m_folders.find(folder);
    return it == m_folders.end() ? unknown : it->second;
}

void DestinationState::noteCreated(const std::string &folder)
{
    Folder &f = m_folders[folder];
    f.created = true;
    f.known = true;
}

void DestinationState::noteGone(const std::string &folder)
{
    auto it = m_folders.find(folder);
    if (it != m_folders.end()) {
        it->second.known = false;
    }
}

bool DestinationState::firstVisit(const std::string &folder)
{
    Folder &f = m_folders[folder];
    const bool first = !f.cleaned;
    f.cleaned = true;
    return first;
}

bool DestinationState::estimateHolds(const std::string &folder, std::int64_t needed) const
{
    const Folder &f = facts(folder);
    if (!f.hasDevice) {
        return false;
    }
    auto e = m_freeEstimates.find(f.device);
    return e != m_freeEstimates.end() && e->second.valid && e->second.bytes - needed >= kFreeMargin &&
           std::chrono::steady_clock::now() - e->second.asked <= std::chrono::seconds(1);
}

std::int64_t DestinationState::freeSpace(const std::string &folder, std::int64_t needed, bool &fresh,
                                         const std::function<std::int64_t(const std::string &)> &ask)
{
    fresh = false;
    Folder &f = m_folders[folder];
    if (!f.hasDevice) {
        f.device = statPath(folder).dev;
        f.hasDevice = true;
    }
    FreeEstimate &e = m_freeEstimates[f.device];
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
    const Folder &f = facts(folder);
    if (f.hasDevice) {
        FreeEstimate &e = m_freeEstimates[f.device];
        e.bytes = e.bytes == INT64_MAX ? e.bytes : e.bytes - bytes;
    }
}

void DestinationState::forget()
{
    m_folders.clear();
    m_freeEstimates.clear();
}

} // namespace qv
