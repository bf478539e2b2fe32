// A dialer for tests: a fixed phone book, a set of connected entries and a record of every call.
#pragma once

#include "platform/Dialer.h"

#include <mutex>
#include <set>

namespace qv {

class FakeDialer : public Dialer
{
public:
    // Entries that exist; dialling one of them connects it unless it is listed in `failing`. A
    // failed dial returns `failCode`, an entry that does not exist 10, a hang-up of an entry that
    // is not connected 10.
    std::vector<std::string> entries;
    std::set<std::string> failing;
    int failCode = 4;

    void connectByOthers(const std::string &entry);

    std::vector<std::string> phonebookEntries() override;
    std::vector<std::string> activeConnections() override;
    bool isEntryConnected(const std::string &entry) override;
    int dial(const std::string &entry, const std::atomic<bool> *stop = nullptr) override;
    int hangUp(const std::string &entry) override;

    // "dial:NAME" and "hangup:NAME", in call order.
    std::vector<std::string> calls() const;

private:
    mutable std::mutex m_mutex;
    std::set<std::string> m_connected;
    std::vector<std::string> m_calls;
};

} // namespace qv
