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

void FakeDialer::dial(const std::string &entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("dial:" + entry);
    if (std::find(entries.begin(), entries.end(), entry) != entries.end() && failing.count(entry) == 0) {
        m_connected.insert(entry);
    }
}

void FakeDialer::hangUp(const std::string &entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back("hangup:" + entry);
    m_connected.erase(entry);
}

std::vector<std::string> FakeDialer::calls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

} // namespace qv
