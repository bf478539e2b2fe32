// The copy workers of a run and the window of files between decision and end.
#include "core/engine/CopyWorkers.h"

#include "platform/StorageKind.h"

#include <algorithm>
#include <cstdlib>

namespace qv {
namespace {

constexpr int kMaxWorkers = 8;
constexpr int kMaxOverride = 64;
constexpr std::size_t kFilesPerWorker = 16;
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
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, kMaxWorkers);
}

CopyWorkers::CopyWorkers(int workers)
{
    if (workers > 1) {
        m_maxEntries = kFilesPerWorker * static_cast<std::size_t>(workers);
        m_threads.reserve(static_cast<std::size_t>(workers));
        for (int i = 0; i < workers; ++i) {
            m_threads.emplace_back([this] { workerLoop(); });
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
        m_workAdded.wait(lock, [this] { return m_quit || !m_todo.empty(); });
        if (m_todo.empty()) {
            return;
        }
        Entry *entry = m_todo.front();
        m_todo.pop_front();
        ++m_running;
        lock.unlock();
        entry->work(); // the work reports its own failures through what it captured
        lock.lock();
        entry->done = true;
        --m_running;
        m_workDone.notify_all();
    }
}

void CopyWorkers::makeRoom(std::int64_t bytes)
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_window.empty() ||
                (m_window.size() < m_maxEntries && (m_bytes + bytes <= kWindowBytes || bytes > kWindowBytes))) {
                return;
            }
        }
        finishOldest();
    }
}

void CopyWorkers::add(std::function<void()> work, std::function<void()> finish, std::int64_t bytes)
{
    if (m_threads.empty() || (!work && idle())) {
        // Nothing before it is waiting: the file is written and finished here and now.
        if (work) {
            work();
        }
        if (finish) {
            finish();
        }
        return;
    }
    auto entry = std::make_unique<Entry>();
    entry->work = std::move(work);
    entry->finish = std::move(finish);
    entry->bytes = bytes;
    entry->done = !entry->work;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (entry->work) {
            m_todo.push_back(entry.get());
        }
        m_bytes += bytes;
        m_window.push_back(std::move(entry));
    }
    m_workAdded.notify_one();
}

void CopyWorkers::finishOldest()
{
    std::unique_ptr<Entry> oldest;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_window.empty()) {
            return;
        }
        Entry *front = m_window.front().get();
        m_workDone.wait(lock, [front] { return front->done; });
        oldest = std::move(m_window.front());
        m_window.pop_front();
        m_bytes -= oldest->bytes;
    }
    if (oldest->finish) {
        oldest->finish();
    }
}

void CopyWorkers::drain()
{
    while (!idle()) {
        finishOldest();
    }
}

void CopyWorkers::abandon()
{
    std::deque<std::unique_ptr<Entry>> dropped;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_todo.clear();
        m_workDone.wait(lock, [this] { return m_running == 0; });
        dropped.swap(m_window);
        m_bytes = 0;
    }
    // Dropped here, outside the lock: a file's end of life may remove its temporary file.
}

bool CopyWorkers::idle() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_window.empty();
}

} // namespace qv
