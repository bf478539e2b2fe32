// The copy workers of a run and the window of files between decision and end.
#include "core/engine/CopyWorkers.h"

#include "platform/Processors.h"
#include "platform/StorageKind.h"

#include <algorithm>
#include <cstdlib>

namespace qv {
namespace {

constexpr int kMaxWorkers = 8;
constexpr int kMaxOverride = 64;
constexpr std::size_t kFilesPerWorker = 16;
constexpr std::size_t kBatchFiles = 8;
// Without threads, files are written at once and end in batches of this many: the syncs of the
// files a batch replaces are then shared (one sync of the file system before their renames).
constexpr std::size_t kInlineWindow = 64;
// Files waiting for their turn hold their temporary files; the window keeps that space modest.
constexpr std::int64_t kWindowBytes = 256LL * 1024 * 1024;

} // namespace

int CopyWorkers::countFor(const std::vector<std::string> &folders, const MountTable &mounts)
{
    if (const char *text = std::getenv("QV_COPY_WORKERS"); text != nullptr && *text != '\0') {
        char *end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (*end == '\0' && n >= 1 && n <= kMaxOverride) {
            return static_cast<int>(n);
        }
    }
    for (const std::string &folder : folders) {
        if (!parallelWritesHelp(folder, mounts)) {
            return 1;
        }
    }
    // The backup thread decides, logs and renames while the workers write, so it keeps a core of
    // its own where there are three or more; on two, two workers share both cores with it (its
    // part is small, and the workers write while it sleeps), on one the files are written inline.
    const int cores = usableCores();
    return cores < 2 ? 1 : std::clamp(cores - 1, 2, kMaxWorkers);
}

CopyWorkers::CopyWorkers(int workers, std::function<void()> threadStart)
{
    m_maxEntries = kInlineWindow;
    if (workers > 1) {
        m_maxEntries = kFilesPerWorker * static_cast<std::size_t>(workers);
        m_threads.reserve(static_cast<std::size_t>(workers));
        for (int i = 0; i < workers; ++i) {
            m_threads.emplace_back([this, threadStart] {
                if (threadStart) {
                    threadStart();
                }
                workerLoop();
            });
        }
    }
}

CopyWorkers::~CopyWorkers()
{
    abandon();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_workAdded.notify_all();
    for (std::thread &t : m_threads) {
        t.join();
    }
}

void CopyWorkers::workerLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        while (!m_quit && m_todo.empty()) {
            ++m_sleeping;
            m_workAdded.wait(lock);
            --m_sleeping;
        }
        if (m_todo.empty()) {
            return;
        }
        Batch batch = std::move(m_todo.front());
        m_todo.pop_front();
        ++m_running;
        lock.unlock();
        for (Entry *entry : batch) {
            if (!m_dropping.load()) {
                entry->work(); // the work reports its own failures through what it captured
            }
            entry->done.store(true);
            if (m_waitFor.load() == entry) {
                std::lock_guard<std::mutex> wake(m_mutex);
                m_workDone.notify_all();
            }
        }
        lock.lock();
        if (--m_running == 0) {
            m_workDone.notify_all();
        }
    }
}

// Files go to the workers in batches: waking a thread costs about as much as writing a small file.
void CopyWorkers::handOver()
{
    if (m_batch.empty()) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_todo.push_back(std::move(m_batch));
    m_batch.clear();
    if (m_sleeping > 0) {
        m_workAdded.notify_one();
    }
}

void CopyWorkers::makeRoom(std::int64_t bytes)
{
    bool waited = false;
    while (!m_window.empty()) {
        const bool fits = m_window.size() < m_maxEntries && (m_bytes + bytes <= kWindowBytes || bytes > kWindowBytes);
        // After a wait, every file already written ends too, so that the next wait comes after
        // a batch of decisions and not after each one.
        if (fits && !(waited && m_window.front()->done.load())) {
            return;
        }
        if (!waited && !m_window.front()->done.load()) {
            // The files ahead are still being written: this thread sleeps until half the window
            // is, rather than waking for each file the workers end.
            waitUntilDone(m_window[m_window.size() / 2].get());
        }
        finishOldest();
        waited = true;
    }
}

void CopyWorkers::waitUntilDone(Entry *entry)
{
    if (entry->done.load()) {
        return;
    }
    handOver(); // everything added is to be under way while this thread waits
    std::unique_lock<std::mutex> lock(m_mutex);
    m_waitFor.store(entry);
    m_workDone.wait(lock, [entry] { return entry->done.load(); });
    m_waitFor.store(nullptr);
}

void CopyWorkers::add(std::function<void()> work, std::function<void()> finish, std::int64_t bytes)
{
    if (!work && m_window.empty()) {
        // Nothing before it is waiting: the file is finished here and now.
        if (finish) {
            finish();
        }
        return;
    }
    auto entry = std::make_unique<Entry>();
    entry->work = std::move(work);
    entry->finish = std::move(finish);
    entry->bytes = bytes;
    if (entry->work && !m_threads.empty()) {
        m_batch.push_back(entry.get());
    } else {
        if (entry->work) {
            entry->work(); // no threads: written here, finished in its turn
        }
        entry->done.store(true);
    }
    m_bytes += bytes;
    m_window.push_back(std::move(entry));
    if (m_batch.size() >= kBatchFiles) {
        handOver();
    }
}

void CopyWorkers::finishOldest()
{
    if (m_window.empty()) {
        return;
    }
    waitUntilDone(m_window.front().get());
    std::unique_ptr<Entry> oldest = std::move(m_window.front());
    m_window.pop_front();
    m_bytes -= oldest->bytes;
    if (oldest->finish) {
        oldest->finish();
    }
}

void CopyWorkers::waitForLast()
{
    if (m_window.empty() || m_window.back()->done.load()) {
        return;
    }
    Entry *last = m_window.back().get();
    if (!m_batch.empty() && m_batch.back() == last) {
        // Not handed over yet: done here at once rather than behind the writes under way.
        m_batch.pop_back();
        handOver();
        last->work();
        last->done.store(true);
        return;
    }
    waitUntilDone(last);
}

void CopyWorkers::drain()
{
    while (!m_window.empty()) {
        finishOldest();
    }
}

void CopyWorkers::abandon()
{
    m_dropping.store(true);
    m_batch.clear();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_todo.clear();
        m_workDone.wait(lock, [this] { return m_running == 0; });
    }
    m_dropping.store(false);
    // Dropped here: a file's end of life may remove its temporary file.
    m_window.clear();
    m_bytes = 0;
}

bool CopyWorkers::idle() const
{
    return m_window.empty();
}

} // namespace qv
