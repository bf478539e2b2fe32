// The run queue and the count of running tasks.
#include "core/runs/RunQueue.h"

#include "core/engine/BackupMessages.h"
#include "core/engine/BackupTypes.h"
#include "core/engine/CustomBackup.h"

#include <algorithm>

namespace qv {

int RunningTaskCount = 0;

RunQueue &RunQueue::instance()
{
    static RunQueue queue;
    return queue;
}

RunQueue::Record *RunQueue::find(TCustomBackup *run)
{
    auto it = std::find_if(m_counted.begin(), m_counted.end(), [run](const Record &r) { return r.run == run; });
    return it == m_counted.end() ? nullptr : &*it;
}

void RunQueue::submit(TCustomBackup *run, bool oneAtATime, bool autoDelete)
{
    ++RunningTaskCount;
    m_counted.push_back(Record{run, autoDelete, false});
    QObject::connect(run, &QThread::finished, run, [run] { run->BackupFinished(); });
    run->setQueueHooks({[this, run] { runEnded(run); }, [this, run] { stopWaiting(run); },
                        [this, run] { forget(run); }});
    if (oneAtATime && m_active > 0) {
        if (BackupHost *host = run->hostForQueue()) {
            host->log(lkInfo, formatMessage(msg::QueueWaiting));
        }
        m_waiting.push_back(run);
        return;
    }
    start(run);
}

void RunQueue::start(TCustomBackup *run)
{
    if (Record *r = find(run)) {
        r->started = true;
    }
    ++m_active;
    run->startThread();
}

void RunQueue::runEnded(TCustomBackup *run)
{
    auto it = std::find_if(m_counted.begin(), m_counted.end(), [run](const Record &r) { return r.run == run; });
    if (it == m_counted.end()) {
        return;
    }
    const Record record = *it;
    m_counted.erase(it);
    --RunningTaskCount;
    if (record.started) {
        --m_active;
    }
    if (record.autoDelete) {
        run->deleteLater();
    }
    while (m_active == 0 && !m_waiting.empty()) {
        TCustomBackup *next = m_waiting.front();
        m_waiting.pop_front();
        if (BackupHost *host = next->hostForQueue()) {
            host->log(lkInfo, formatMessage(msg::QueueOK));
        }
        start(next);
    }
}

void RunQueue::stopWaiting(TCustomBackup *run)
{
    auto w = std::find(m_waiting.begin(), m_waiting.end(), run);
    if (w == m_waiting.end()) {
        return;
    }
    m_waiting.erase(w);
    run->BackupFinished();
}

void RunQueue::forget(TCustomBackup *run)
{
    auto w = std::find(m_waiting.begin(), m_waiting.end(), run);
    if (w != m_waiting.end()) {
        m_waiting.erase(w);
    }
    auto it = std::find_if(m_counted.begin(), m_counted.end(), [run](const Record &r) { return r.run == run; });
    if (it != m_counted.end()) {
        if (it->started) {
            --m_active;
        }
        m_counted.erase(it);
        --RunningTaskCount;
    }
}

} // namespace qv
