// Dial-up entries as NetworkManager connection profiles, driven through nmcli.
#pragma once

#include "platform/Dialer.h"

namespace qv {

// Every call runs nmcli from an argument list (no shell, the profile name one argument, LC_ALL=C).
// Only exit codes decide; nmcli's messages are never read. No nmcli on PATH, or exit 8
// (NetworkManager not running), is the same as having no dial-up at all: empty lists, nothing
// connected, -1 from dial and hangUp.
class NmcliDialer : public Dialer
{
public:
    struct Limits {
        int listMs = 2000;    // a list that takes longer is empty
        int dialMs = 100000;  // nmcli is told to wait 90 s itself
        int hangUpMs = 30000;
    };

    // nmcli's exit codes that mean something to a caller.
    static constexpr int kTimedOut = 3;
    static constexpr int kActivationFailed = 4;
    static constexpr int kManagerNotRunning = 8;
    static constexpr int kNoSuchProfile = 10;

    NmcliDialer() = default;
    explicit NmcliDialer(Limits limits) : m_limits(limits) {}

    std::vector<std::string> phonebookEntries() override;
    std::vector<std::string> activeConnections() override;
    bool isEntryConnected(const std::string &entry) override;
    int dial(const std::string &entry, const std::atomic<bool> *stop = nullptr) override;
    int hangUp(const std::string &entry) override;

private:
    std::vector<std::string> names(bool active) const;
    int change(const std::vector<std::string> &args, int timeoutMs, const std::atomic<bool> *stop = nullptr) const;

    Limits m_limits;
};

} // namespace qv
