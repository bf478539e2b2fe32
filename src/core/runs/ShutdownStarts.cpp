// The runs at the end of the session.
#include "core/runs/ShutdownStarts.h"

#include "core/runs/BackupData.h"
#include "platform/SessionEvents.h"

#include <algorithm>

namespace qv {

ShutdownStarts::ShutdownStarts(TBackupData &data, SessionEvents &events, QObject *parent)
    : QObject(parent), m_data(data), m_events(events)
{
    m_poll.setInterval(100);
    connect(&m_poll, &QTimer::timeout, this, &ShutdownStarts::poll);
    m_bound.setSingleShot(true);
    connect(&m_bound, &QTimer::timeout, this, &ShutdownStarts::finish);
    connect(&events, &SessionEvents::sessionEnding, this, &ShutdownStarts::onSessionEnding);
}

void ShutdownStarts::onSessionEnding(int deadlineMs)
{
    if (m_waiting) {
        return; // one end of the session at a time: a second request joins the first
    }
    m_waiting = true;
    m_data.StartAtSystemShutdown();
    poll();
    if (m_waiting) {
        m_bound.start(deadlineMs > 0 ? std::max(0, deadlineMs - 500) : 180000);
        m_poll.start();
    }
}

void ShutdownStarts::poll()
{
    if (m_data.RunningUngroupedCount() == 0) {
        finish();
    }
}

void ShutdownStarts::finish()
{
    if (!m_waiting) {
        return;
    }
    m_poll.stop();
    m_bound.stop();
    m_waiting = false;
    emit done(); // the program saves and leaves first
    m_events.releaseShutdownDelay();
}

} // namespace qv
