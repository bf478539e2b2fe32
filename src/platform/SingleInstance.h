// SingleInstance: one running program per user, and the hand-over of a second start's arguments.
//
// The first start takes a lock file in the user's runtime folder ($XDG_RUNTIME_DIR/quorvellant,
// mode 0700) and listens on a local socket beside it at once, before any window, store or display
// is touched. A second start asks the socket for the answer 3121979, hands over its argument list
// (and whether to restore the window), waits until the first instance has processed it, and ends.
// The exchange uses plain sockets, so it works before a QApplication exists; connections from
// another user are refused.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace qv {

inline constexpr unsigned kInstancePingAnswer = 3121979;
inline constexpr std::size_t kMaxHandOverBytes = 1 << 20;

struct HandOver {
    std::vector<std::string> args;
    bool restore = false;
};

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Role { Primary, HandedOver, Failed };

    // `folder` empty: the user's runtime folder (see runtimeFolder).
    explicit SingleInstance(std::string folder = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the first instance, or hands `args` (and whether to restore the window) to the
    // running one. `headless` tells the running
    // instance how this start sees the desktop; a start with a display that finds a headless
    // instance waits for it to end and then becomes the first instance (saying why on stderr).
    // `error` holds the reason of a failure.
    Role start(const std::vector<std::string> &args, bool restore, bool headless, std::string &error);

    // The first instance: begins serving hand-overs (needs the event loop). Hand-overs that
    // arrive before setReady wait in the socket's queue. What the handler returns (one line per
    // problem it found in the arguments) goes back to the start that handed them over.
    void setReady(std::function<std::vector<std::string>(const HandOver &)> handler);

    // After a hand-over: the problems the running instance reported back.
    const std::vector<std::string> &reportedProblems() const { return m_reported; }

    bool isHeadless() const { return m_headless; }
    const std::string &folder() const { return m_folder; }

private:
    Role handOver(int fd, const std::vector<std::string> &args, bool restore, std::string &error);
    bool listen(std::string &error);
    void acceptOne();
    void serve(int fd);

    std::string m_folder;
    bool m_headless = false;
    void *m_lock = nullptr; // QLockFile, kept opaque here
    int m_listenFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<std::vector<std::string>(const HandOver &)> m_handler;
    std::vector<std::string> m_reported;
};

} // namespace qv
