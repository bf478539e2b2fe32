// CopyWorkers: the data of a run's files written by a few threads, the results taken in order.
//
// The backup thread decides about each file in scan order and hands the writing of its data (open
// the source, write the temporary file, set its mode and times, close it checked) to a worker. What
// follows the write (the rename over the destination, versions, log lines, counters, progress)
// runs back on the backup thread, for one file after another in the order they were added, so a
// run with several workers reports exactly what a run with one would. At most a window of files
// is between its decision and its end; with one worker there is no thread at all: each file is
// written at once, and the files end in batches (so that the syncs of replaced files are shared).
#pragma once

#include "platform/MountTable.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv {

class CopyWorkers
{
public:
    // The workers a run gets: one core fewer than the process may use, at least 2, at most 8 (1
    // on a single core); one when any of `folders` lies on storage where parallel writes do not
    // help (StorageKind). QV_COPY_WORKERS (1-64) overrides the rule.
    static int countFor(const std::vector<std::string> &folders, const MountTable &mounts);

    // `threadStart` runs first on every worker thread.
    explicit CopyWorkers(int workers, std::function<void()> threadStart = {});
    ~CopyWorkers();
    CopyWorkers(const CopyWorkers &) = delete;
    CopyWorkers &operator=(const CopyWorkers &) = delete;

    int workers() const { return static_cast<int>(m_threads.size()) + (m_threads.empty() ? 1 : 0); }

    // Finishes the oldest files until one of `bytes` fits into the window. Call before the
    // decision about the next file.
    void makeRoom(std::int64_t bytes);
    // Adds the next file: `work` runs on a worker (may be empty: nothing to write), `finish` on the
    // calling thread once every file added before it is finished.
    void add(std::function<void()> work, std::function<void()> finish, std::int64_t bytes);
    // The work of the file added last, done now (here, unless a worker has it already), ending no
    // file: for a caller that cannot go on before it.
    void waitForLast();
    // Finishes every file added, in order.
    void drain();
    // A stop: waits for the writes under way and drops every file not finished.
    void abandon();
    bool idle() const;

private:
    struct Entry {
        std::function<void()> work;
        std::function<void()> finish;
        std::int64_t bytes = 0;
        std::atomic<bool> done{false};
    };
    using Batch = std::vector<Entry *>;
    void finishOldest();
    void waitUntilDone(Entry *entry);
    void handOver();
    void workerLoop();

    std::vector<std::thread> m_threads;
    // The backup thread's own: the files in order, and those not yet handed to the workers.
    std::deque<std::unique_ptr<Entry>> m_window;
    Batch m_batch;
    std::size_t m_maxEntries = 1;
    std::int64_t m_bytes = 0;
    // Shared with the workers.
    std::mutex m_mutex;
    std::condition_variable m_workAdded;
    std::condition_variable m_workDone;
    std::deque<Batch> m_todo;
    int m_running = 0;  // batches under way
    int m_sleeping = 0; // workers waiting for work
    bool m_quit = false;
    std::atomic<Entry *> m_waitFor{nullptr}; // the file the backup thread waits for
    std::atomic<bool> m_dropping{false};
};

} // namespace qv
