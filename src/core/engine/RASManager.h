// The program's dial-up manager: brings entries up for runs and down after them, over dialer().
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qv {

// Runs on backup threads dial and hang up through the one instance, RASManagerInstance(). Dials and
// hang-ups are serialised by one lock and each names its entry, so two runs never act on each
// other's connection; the lists and isEntryConnected() never wait behind a dial.
//
// The manager counts the runs using each entry it brought up: when several runs share one, the
// connection stays up until the last of them ends, and then goes down when the run that dialled
// asked for it. A connection made outside the program is never hung up.
//
// The connection clock, OnTimeout and OnError belong to the main thread: a dial on a backup thread
// posts to it. Without an application object there is no clock and no event.
class TRASManager
{
public:
    // How a run found its entry.
    enum class DialState {
        Dialled,          // brought up by this call
        Shared,           // already up, brought up by another run of this program
        ConnectedByOthers,// already up, made outside the program
        Failed,           // the dial failed; `code` says why
    };
    struct DialResult {
        DialState state = DialState::Failed;
        int code = 0; // the dialer's code of the failed dial
    };

    // What a run's hang-up did.
    enum class HangUpState {
        NotOurs,     // not brought up by this program (or not counted): left alone
        StillInUse,  // another run still uses it
        KeptUp,      // last user gone, but the dialling run wanted it kept
        HungUp,      // taken down; `code` is the dialer's code
        NotConnected,// the last user is gone and the connection was down already
    };
    struct HangUpResult {
        HangUpState state = HangUpState::NotOurs;
        int code = 0;
    };

    TRASManager();
    ~TRASManager();
    TRASManager(const TRASManager &) = delete;
    TRASManager &operator=(const TRASManager &) = delete;

    std::vector<std::string> phonebookEntries() const;
    std::vector<std::string> activeConnections() const;
    bool isEntryConnected(const std::string &entry) const;

    // Brings `entry` up for one run, or counts the run in when it is up already. `connecting` runs
    // just before a real dial (under the dial lock, so after any other run's dial of it). A set
    // `stop` ends the wait for another run's dial and the dial itself (Failed, Dialer::kStopped).
    DialResult Dial(const std::string &entry, const std::function<void()> &connecting = {},
                    const std::atomic<bool> *stop = nullptr);
    // Ends one run's use of `entry`. `dialled`: this run's Dial returned Dialled; `disconnectAfter`
    // is then the run's wish for the connection once every user is gone. `disconnecting` runs just
    // before a real hang-up.
    HangUpResult HangUp(const std::string &entry, bool dialled, bool disconnectAfter,
                        const std::function<void()> &disconnecting = {});

    // Seconds a connection may last before OnTimeout (0: no limit). A negative value is refused
    // (false) and the old one kept.
    int Timeout() const { return m_timeout->load(); }
    bool SetTimeout(int seconds);
    // Seconds counted since the last successful dial (main thread).
    int Elapsed() const;

    // Main-thread events: OnError(code) after a failed dial, OnTimeout once when the connection has
    // lasted Timeout seconds (Timeout then reads 0). Set them on the main thread.
    std::function<void(int)> OnError;
    std::function<void()> OnTimeout;

private:
    struct Use {
        int runs = 0;
        bool disconnectAfter = false;
    };
    struct Clock;

    void postStart();
    void postStop();
    void postError(int code);

    mutable std::timed_mutex m_dialLock;
    std::map<std::string, Use> m_uses; // guarded by m_dialLock
    std::shared_ptr<std::atomic<int>> m_timeout;
    std::shared_ptr<Clock> m_clock;
};

// The one manager the backup threads use.
TRASManager &RASManagerInstance();

} // namespace qv
