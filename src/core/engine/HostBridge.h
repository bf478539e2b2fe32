// The backup thread's one way to the main thread.
//
// Log lines are queued (the thread does not wait for the logger) and handed over in batches, so
// that a run of many small files does not wake the main thread once per line; progress is kept here and sent
// at most about ten times a second; alerts are blocking calls, because the answer decides what the
// thread does next, and an exception thrown while raising one comes back as a value instead of
// crossing threads. When the caller already is on the host's thread (a run executed in place, as
// tests do), every call is direct.
#pragma once

#include "core/engine/BackupHost.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <mutex>
#include <utility>
#include <vector>

namespace qv {

struct AlertReply {
    int answer = 0;
    std::string error; // non-empty: raising the alert threw this
    std::function<std::string()> mail; // the alert's mail, for the caller to send (see AlertAnswer)
};

class HostBridge
{
public:
    // `host` must live on the thread of `context` (normally the main thread) for the run's life.
    HostBridge(BackupHost *host, QObject *context);

    void log(int kind, const std::string &text);
    AlertReply alert(int kind, const std::string &buttons, const std::string &text);
    // Queued after the log lines sent before it; the host opens the report on its own thread.
    void openReport(const std::string &path);

    // Progress: the run's one record of it, kept here (the main thread reads it through progress())
    // and pushed to the host at most about ten times a second. A new phase (caption and maximum,
    // position 0) is sent at once when its maximum is set or changes; so is the final state.
    void setProgressPhase(const std::string &caption, std::int64_t maximum);
    void setProgressPosition(std::int64_t position);
    void addProgress(std::int64_t delta);
    void sendProgressNow();
    ProgressState progress() const;

    BackupHost *host() const { return m_host; }
    // What the host asked for when the run was created.
    bool logsKind(int kind) const { return kind < 0 || kind >= 8 || m_logs[kind]; }
    bool alertsKind(int kind) const { return kind < 0 || kind >= 8 || m_alerts[kind]; }
    // Main thread: hands the queued log lines over now.
    void flush() { drainLines(); }

private:
    // Under the lock: whether an update is due now (always when `force`).
    bool progressDue(bool force);
    bool direct() const;
    void sendProgress();
    void drainLines();

    BackupHost *m_host;
    QPointer<QObject> m_context;
    bool m_logs[8];
    bool m_alerts[8];
    mutable std::mutex m_mutex;
    ProgressState m_progress;
    std::chrono::steady_clock::time_point m_lastSent{};
    std::atomic<bool> m_progressPending{false};
    std::vector<std::pair<int, std::string>> m_lines; // queued log lines, guarded by m_mutex
    bool m_linesPending = false;                       // a drain is posted, guarded by m_mutex
};

} // namespace qv
