// The Linux folder watcher: one inotify descriptor and one reading thread for the whole program.
//
// Kernel watches are per folder (inode), not per registration: registrations on the same folder, or
// on overlapping trees, share the one watch descriptor the kernel hands out. Each watched folder
// keeps the set of registrations that cover it and the union of the events they need; a watch is
// removed from the kernel only when its last registration lets go of it.
//
// The thread owns the recursive bookkeeping: it adds watches for folders created or moved into a
// watched tree (and scans each once, so that entries made before its watch existed still count as
// a change), drops the watches of folders deleted or moved out, and rebuilds everything after a
// queue overflow. Deliveries are queued to the registering thread and looked up by registration
// id there, so a registration removed in the meantime receives nothing.
#pragma once

#include "platform/FolderWatcher.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QObject;

namespace qv {

class FolderWatcherInotify final : public FolderWatcher
{
public:
    FolderWatcherInotify();
    ~FolderWatcherInotify() override;
    FolderWatcherInotify(const FolderWatcherInotify &) = delete;
    FolderWatcherInotify &operator=(const FolderWatcherInotify &) = delete;

    AddResult addWatch(const std::string &folder, bool subtree, FolderChangeKinds kinds,
                       Callbacks callbacks) override;
    void removeWatch(WatchId id) override;

    // Inspection for tests and benchmarks.
    int descriptor() const { return m_fd; }
    std::size_t kernelWatchCount() const;
    // Folders the registration covers right now (its root and, with a subtree, those below).
    std::size_t folderCount(WatchId id) const;
    // The folders the registration covers, sorted.
    std::vector<std::string> folders(WatchId id) const;
    // True once the registration's first walk of its subtree has finished.
    bool isSettled(WatchId id) const;
    // Makes adding a watch fail with the errno `fail` returns for a path (0 = add it), so that tests
    // can produce the watch limit and unreadable folders without touching the system's limits.
    void setAddFailureForTest(std::function<int(const std::string &path)> fail);
    // Stops reading events while set, so that a test can make the system's queue overflow; pausing
    // returns once the reading thread has stopped.
    void setReadingPaused(bool paused);

private:
    struct Node
    {
        std::string path;
        std::uint32_t mask = 0;
        std::set<WatchId> refs;
    };
    struct Registration
    {
        std::string root;
        bool subtree = false;
        FolderChangeKinds kinds = 0;
        int rootWd = -1;
        bool gone = false; // the root was deleted or moved away
        bool settled = false;
        bool limitReported = false;
        bool deniedReported = false;
        std::unordered_set<int> wds;
    };
    struct Batch
    {
        std::set<WatchId> changed;
        std::set<WatchId> gone;
        std::vector<std::pair<WatchId, std::string>> problems;
        std::vector<std::pair<WatchId, std::string>> walks; // new folders to walk
        bool overflow = false;
        bool empty() const { return changed.empty() && gone.empty() && problems.empty(); }
    };
    struct Delivery
    {
        enum class Kind { Changed, Problem, Gone };
        WatchId id;
        Kind kind;
        std::string text;
    };

    void run();
    void readEvents(Batch &batch);
    void handleEvent(int wd, std::uint32_t mask, const std::string &name, Batch &batch);
    void walk(WatchId id, const std::string &start, bool newFolder, Batch &batch);
    void rebuildAfterOverflow(Batch &batch);
    void post(Batch &batch);
    void dispatch(const std::vector<Delivery> &deliveries);
    void wake();

    // All of these run with m_mutex held.
    int addRef(WatchId id, Registration &reg, const std::string &path, bool isRoot, int *wdOut);
    void dropRef(WatchId id, int wd);
    void dropRegistrationRefs(WatchId id, Registration &reg);
    void rootGone(WatchId id, Registration &reg, Batch &batch);
    void dropSubtree(const std::string &path, Batch &batch);
    void selfEvent(int wd, bool vanished, Batch &batch);
    void eraseNode(int wd, bool removeFromKernel);
    void narrowMask(int wd);
    void reportOnce(WatchId id, Registration &reg, int error, const std::string &path, Batch &batch);

    mutable std::mutex m_mutex;
    int m_fd = -1;
    int m_wakeFd = -1;
    int m_initError = 0;
    std::atomic<bool> m_stop{false};
    bool m_paused = false;
    bool m_pauseReached = false; // the thread waits at its pause
    std::condition_variable m_pauseChanged;
    std::thread m_thread;
    WatchId m_nextId = 1;
    std::unordered_map<int, Node> m_nodes;
    std::map<std::string, int> m_byPath; // ordered, so that a folder's subtree is one range
    std::unordered_map<WatchId, Registration> m_regs;
    std::deque<WatchId> m_initialWalks;
    std::function<int(const std::string &)> m_addFailure;

    // Only touched on the registering thread.
    std::unique_ptr<QObject> m_dispatcher;
    std::unordered_map<WatchId, Callbacks> m_sinks;
};

} // namespace qv
