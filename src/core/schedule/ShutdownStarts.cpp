// The runs at the end of the session.
#include "core/schedule/ShutdownStarts.h"

#include "core/task/BackupData.h"
#include "platform/SessionEvents.h"

namespace qv {

ShutdownStarts::ShutdownStarts(TBackupData &data, SessionEvents &events, QObject *parent)
    : QObject(parent), m_data(data), m_events(events)
{
    m_poll.setInterval(100);
    connect(&m_poll, &QTimer::timeout, this, &ShutdownStarts::poll);
    connect(&events, &SessionEvents::sessionEnding, this, &ShutdownStarts::onSessionEnding);
}

void ShutdownStarts::onSessionEnding(int deadlineMs)
{
    (void)deadlineMs;
    if (m_waiting) {
        return; // one end of the session at a time: a second request joins the first
    }
    m_waiting = true;
    m_data.StartAtSystemShutdown();
    poll();
    if (m_waiting) {
        m_poll.start();
    }
}

void ShutdownStarts::poll()
{
    if (m_data.RunningUngroupedCount() > 0) {
        return;
    }
    m_poll.stop();
    m_waiting = false;
    m_events.releaseShutdownDelay();
    emit done();
}

} // namespace qv
