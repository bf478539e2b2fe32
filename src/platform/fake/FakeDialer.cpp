// A dialer for tests.
#include "platform/fake/FakeDialer.h"

#include <algorithm>

namespace qv {

void FakeDialer::connectByOthers(const std::string &entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connected.insert(entry);
}

std::vector<std::string> FakeDialer::phonebookEntries()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return entries;
}

std::vector<std::string> FakeDialer::activeConnections()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_connected.begin(), m_connected.end()};
}

bool FakeDialer::isEntryConnected(const std::string &entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connected.count(entry) != 0;
}

int FakeDialer::dial(const std::string &entry, const std::atomic<bool> *)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("dial:" + entry);
    if (std::find(entries.begin(), entries.end(), entry) == entries.end()) {
        return 10;
    }
    if (failing.count(entry) != 0) {
        return failCode;
    }
    m_connected.insert(entry);
    return 0;
}

int FakeDialer::hangUp(const std::string &entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("hangup:" + entry);
    return m_connected.erase(entry) != 0 ? 0 : 10;
}

std::vector<std::string> FakeDialer::calls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

} // namespace qv
