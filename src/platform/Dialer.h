// Dial-up connections: what the backup threads need to bring a connection up before a run and down
// after it.
//
// The design dials a phone-book entry through the Remote Access Service; here an entry is a
// connection profile of the system's network manager. Entry names compare exactly. dial() blocks
// the calling backup thread until the attempt has ended; the caller asks isEntryConnected()
// afterwards to tell success from failure. Without a backend (no network manager) nothing is ever
// connected, lists are empty and every dial fails, so a task with an entry logs that it cannot
// connect and goes on.
//
// dial() and hangUp() return 0 on success, the network manager's own code on failure, or -1 when
// there is no network manager at all. A dial given a stop flag ends soon after the flag is set,
// calls the attempt off and returns kStopped.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace qv {

class Dialer
{
public:
    virtual ~Dialer() = default;

    virtual std::vector<std::string> phonebookEntries() = 0;
    virtual std::vector<std::string> activeConnections() = 0;
    virtual bool isEntryConnected(const std::string &entry) = 0;
    static constexpr int kStopped = -2;

    // Brings the entry up; returns when the attempt has ended, or when `stop` is set.
    virtual int dial(const std::string &entry, const std::atomic<bool> *stop = nullptr) = 0;
    virtual int hangUp(const std::string &entry) = 0;
};

// The program's one dialer (a backend without any connection unless one was installed).
Dialer &dialer();
// Installs `d` (not owned); nullptr restores the default.
void setDialer(Dialer *d);

} // namespace qv
