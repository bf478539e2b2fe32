// The run queue: the one owner of the runs in progress, and the count of running tasks.
#include "core/runs/RunQueue.h"

#include "core/engine/BackupMessages.h"
#include "core/engine/BackupTypes.h"
#include "core/engine/CustomBackup.h"
#include "core/runs/TaskRunLink.h"

#include <algorithm>

namespace qv {

namespace {

// A run object is deleted from the event loop: its end is handled inside one of its own calls.
struct DeleteLater {
    void operator()(TCustomBackup *run) const { run->deleteLater(); }
};

} // namespace

enum class Stage { Starting, Waiting, Active };

struct RunQueue::Record {
    std::unique_ptr<TCustomBackup, DeleteLater> run; // null while Starting
    std::unique_ptr<BackupHost> ownedHost;
    BackupHost *host = nullptr; // the run's host, owned above or by the submitter
    std::shared_ptr<TaskRunSlots> task;
    RunRole role = RunRole::Backup;
    Stage stage = Stage::Starting;
};

int RunningTaskCount()
{
    return RunQueue::instance().count();
}

RunQueue &RunQueue::instance()
{
    // Never destroyed: a thread still running when the program ends keeps its run and host.
    static RunQueue *const queue = new RunQueue;
    return *queue;
}

std::deque<std::unique_ptr<RunQueue::Record>>::iterator RunQueue::find(const TCustomBackup *run)
{
    return std::find_if(m_records.begin(), m_records.end(),
                        [run](const std::unique_ptr<Record> &r) { return run != nullptr && r->run.get() == run; });
}

std::deque<std::unique_ptr<RunQueue::Record>>::const_iterator RunQueue::findTask(const TaskRunSlots *link,
                                                                                 RunRole role) const
{
    return std::find_if(m_records.begin(), m_records.end(), [link, role](const std::unique_ptr<Record> &r) {
        return link != nullptr && r->task.get() == link && r->role == role;
    });
}

void RunQueue::reserve(std::shared_ptr<TaskRunSlots> link)
{
    if (link == nullptr || hasBackup(link.get())) {
        return;
    }
    auto record = std::make_unique<Record>();
    record->task = std::move(link);
    m_records.push_back(std::move(record));
}

void RunQueue::cancelReserved(const TaskRunSlots *link)
{
    auto it = findTask(link, RunRole::Backup);
    if (it != m_records.end() && (*it)->stage == Stage::Starting) {
        m_records.erase(it);
        // Refused by its checks or stopped at its start alert: a start that did not run.
        m_worstBackupEnd = worseEnd(m_worstBackupEnd, RunEnd::Aborted);
    }
}

bool RunQueue::hasBackup(const TaskRunSlots *link) const
{
    return findTask(link, RunRole::Backup) != m_records.end();
}

void RunQueue::submit(TCustomBackup *run, bool oneAtATime, RunOrigin origin)
{
    const bool wait = oneAtATime && activeCount() > 0;
    Record *record = nullptr;
    if (auto it = findTask(origin.task.get(), origin.role);
        it != m_records.end() && (*it)->stage == Stage::Starting && origin.role == RunRole::Backup) {
        record = it->get();
    } else {
        m_records.push_back(std::make_unique<Record>());
        record = m_records.back().get();
        record->task = std::move(origin.task);
        record->role = origin.role;
    }
    record->run.reset(run);
    record->host = origin.host ? origin.host.get() : run->hostForQueue();
    record->ownedHost = std::move(origin.host);
    record->stage = Stage::Waiting;
    Record &added = *record;
    QObject::connect(run, &QThread::finished, run, [run] { run->BackupFinished(); });
    run->setQueueHooks({[this, run](RunEnd end) { runEnded(run, end); },
                        [this, run] { stopWaiting(run); }, [this, run] { forget(run); }});
    if (wait) {
        if (added.host != nullptr) {
            added.host->log(kLogInformation, formatMessage(msg::QueueWaiting));
        }
        return;
    }
    start(added);
}

void RunQueue::start(Record &record)
{
    record.stage = Stage::Active;
    record.run->startThread();
}

void RunQueue::startWaiting()
{
    while (activeCount() == 0) {
        auto next = std::find_if(m_records.begin(), m_records.end(),
                                 [](const std::unique_ptr<Record> &r) { return r->stage == Stage::Waiting; });
        if (next == m_records.end()) {
            return;
        }
        Record &record = **next;
        if (record.host != nullptr) {
            record.host->log(kLogInformation, formatMessage(msg::QueueOK));
        }
        start(record);
    }
}

void RunQueue::runEnded(TCustomBackup *run, RunEnd end)
{
    auto it = find(run);
    if (it == m_records.end()) {
        return;
    }
    if ((*it)->role == RunRole::Backup) {
        m_worstBackupEnd = worseEnd(m_worstBackupEnd, end);
    }
    // The record leaves first, so that whatever the host's end refreshes sees the run gone.
    std::unique_ptr<Record> record = std::move(*it);
    m_records.erase(it);
    startWaiting();
    if (record->host != nullptr) {
        record->host->finished(end);
    }
    // The host goes now; the run object once its own call has returned (DeleteLater).
}

void RunQueue::stopWaiting(TCustomBackup *run)
{
    auto it = find(run);
    if (it == m_records.end() || (*it)->stage != Stage::Waiting) {
        return;
    }
    run->BackupFinished();
}

void RunQueue::forget(TCustomBackup *run)
{
    auto it = find(run);
    if (it == m_records.end()) {
        return;
    }
    // Deleted by someone else: the record only lets go of it.
    (void)(*it)->run.release();
    m_records.erase(it);
    startWaiting();
}

TCustomBackup *RunQueue::runOf(const TaskRunSlots *link, RunRole role) const
{
    auto it = findTask(link, role);
    return it == m_records.end() ? nullptr : (*it)->run.get();
}

bool RunQueue::serves(const BackupHost *host) const
{
    auto servesHost = [host](const std::unique_ptr<Record> &r) { return r->host == host; };
    return host != nullptr && std::any_of(m_records.begin(), m_records.end(), servesHost);
}

void RunQueue::stopRunsOf(const TaskRunSlots *link)
{
    // A start still at its checks has nothing to stop. Stopping a waiting run ends it at once,
    // which changes the records: stop from a snapshot.
    cancelReserved(link);
    std::vector<TCustomBackup *> runs;
    for (const auto &r : m_records) {
        if (link != nullptr && r->task.get() == link && r->run) {
            runs.push_back(r->run.get());
        }
    }
    for (TCustomBackup *run : runs) {
        if (find(run) != m_records.end()) {
            run->Stop();
        }
    }
}

std::vector<RunQueue::RecordView> RunQueue::records() const
{
    std::vector<RecordView> views;
    for (const auto &r : m_records) {
        if (r->run) {
            views.push_back({r->run.get(), r->role, r->stage == Stage::Active});
        }
    }
    return views;
}

int RunQueue::count() const
{
    auto holdsRun = [](const std::unique_ptr<Record> &r) { return r->run != nullptr; };
    return static_cast<int>(std::count_if(m_records.begin(), m_records.end(), holdsRun));
}

int RunQueue::activeCount() const
{
    auto active = [](const std::unique_ptr<Record> &r) { return r->stage == Stage::Active; };
    return static_cast<int>(std::count_if(m_records.begin(), m_records.end(), active));
}

int RunQueue::waitingCount() const
{
    auto waiting = [](const std::unique_ptr<Record> &r) { return r->stage == Stage::Waiting; };
    return static_cast<int>(std::count_if(m_records.begin(), m_records.end(), waiting));
}

} // namespace qv
