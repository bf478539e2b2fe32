// The program's one dialer; without a network manager backend nothing ever connects.
#include "platform/Dialer.h"

#include <atomic>

namespace qv {

namespace {

class NoDialer : public Dialer
{
public:
    std::vector<std::string> phonebookEntries() override { return {}; }
    std::vector<std::string> activeConnections() override { return {}; }
    bool isEntryConnected(const std::string &) override { return false; }
    int dial(const std::string &, const std::atomic<bool> *) override { return -1; }
    int hangUp(const std::string &) override { return -1; }
};

NoDialer g_none;
std::atomic<Dialer *> g_dialer{nullptr};

} // namespace

Dialer &dialer()
{
    Dialer *d = g_dialer.load();
    return d != nullptr ? *d : g_none;
}

void setDialer(Dialer *d)
{
    g_dialer.store(d);
}

} // namespace qv
