// The runs at the end of the session: when the session or the system ends, the tasks with an
// enabled "at system shutdown" entry start, and the end waits while a task without a group runs.
//
// Nothing here blocks: the wait is a timer that looks every 100 ms, so the main window stays
// responsive and the runs report as usual. When no task without a group runs any more, or the
// time the session end allows is nearly up (180 s when it names none), done() is emitted, so the
// program leaves through its normal exit path and saves, and only then is the logind delay released
// (letting the shutdown go on). logind grants only its InhibitDelayMaxSec (5 s unless the system
// sets more), so a long shutdown run may be cut short by the system. The main window uses this.
#pragma once

#include <QObject>
#include <QTimer>

namespace qv {

class SessionEvents;
class TBackupData;

class ShutdownStarts : public QObject
{
    Q_OBJECT
public:
    // `data` and `events` are not owned and must outlive this object.
    ShutdownStarts(TBackupData &data, SessionEvents &events, QObject *parent = nullptr);

    // Whether a session end is being handled now.
    bool waiting() const { return m_waiting; }

signals:
    // The shutdown runs have ended (or there were none); the delay has been released.
    void done();

private:
    void onSessionEnding(int deadlineMs);
    void poll();

    TBackupData &m_data;
    SessionEvents &m_events;
    void finish();

    QTimer m_poll;
    QTimer m_bound;
    bool m_waiting = false;
};

} // namespace qv
