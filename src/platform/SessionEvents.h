// SessionEvents: the end of the desktop session and termination requests.
//
// The session ends through the session manager's commit-data request (X11 session management) or
// logind's PrepareForShutdown. While the program runs, a logind "delay" inhibitor is held so that
// the tasks scheduled at shutdown get the time logind allows (InhibitDelayMaxSec, 5 s by
// default); the handler releases it when it is done. SIGTERM, SIGINT and SIGHUP arrive as a
// termination request on the main thread. Without a system bus only the first and last remain.
#pragma once

#include <QObject>

#include <memory>

namespace qv {

class SessionEvents : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether a logind delay inhibitor is held now.
    virtual bool hasShutdownDelay() const = 0;
    // Lets a pending shutdown go on (drops the delay inhibitor).
    virtual void releaseShutdownDelay() = 0;

signals:
    // The session or the system is about to end; `deadlineMs` is how long it waits for us
    // (0 when unknown).
    void sessionEnding(int deadlineMs);
    // SIGTERM, SIGINT or SIGHUP: leave through the normal exit path.
    void terminateRequested(int signalNumber);
};

} // namespace qv
