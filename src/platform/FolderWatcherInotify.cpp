// The Linux folder watcher on inotify.
#include "platform/FolderWatcherInotify.h"

#include "platform/FolderWatcherRules.h"
#include "platform/PathText.h"

#include <QObject>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

using namespace watchrules;

FolderWatcherInotify::FolderWatcherInotify() : m_dispatcher(std::make_unique<QObject>())
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        m_initError = errno;
        return;
    }
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        m_initError = errno;
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_thread = std::thread([this] { run(); });
}

FolderWatcherInotify::~FolderWatcherInotify()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_pauseChanged.notify_all();
    if (m_thread.joinable()) {
        wake();
        m_thread.join();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
    // Deleting the dispatcher discards deliveries still queued to it.
    m_dispatcher.reset();
}

FolderWatcher::AddResult FolderWatcherInotify::addWatch(const std::string &folder, bool subtree,
                                                        FolderChangeKinds kinds, Callbacks callbacks)
{
    AddResult result;
    if (m_initError != 0) {
        result.error = m_initError;
        result.message = folderWatchErrorText(m_initError);
        return result;
    }
    const std::string root = withoutSlash(folder);
    {
        std::lock_guard lock(m_mutex);
        const WatchId id = m_nextId++;
        Registration reg;
        reg.root = root;
        reg.subtree = subtree;
        reg.kinds = kinds;
        reg.settled = !subtree;
        int wd = -1;
        const int error = addRef(id, reg, root, true, &wd);
        if (error != 0) {
            result.error = error;
            result.message = folderWatchErrorText(error);
            return result;
        }
        reg.rootWd = wd;
        m_regs.emplace(id, std::move(reg));
        if (subtree) {
            m_initialWalks.push_back(id);
        }
        result.id = id;
    }
    m_sinks[result.id] = std::move(callbacks);
    if (subtree) {
        wake();
    }
    result.warning = networkFileSystemWarning(root);
    return result;
}

void FolderWatcherInotify::removeWatch(WatchId id)
{
    m_sinks.erase(id);
    std::lock_guard lock(m_mutex);
    auto it = m_regs.find(id);
    if (it == m_regs.end()) {
        return;
    }
    dropRegistrationRefs(id, it->second);
    m_regs.erase(it);
}

std::size_t FolderWatcherInotify::kernelWatchCount() const
{
    std::lock_guard lock(m_mutex);
    return m_nodes.size();
}

std::size_t FolderWatcherInotify::folderCount(WatchId id) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_regs.find(id);
    return it == m_regs.end() ? 0 : it->second.wds.size();
}

std::vector<std::string> FolderWatcherInotify::folders(WatchId id) const
{
    std::vector<std::string> out;
    std::lock_guard lock(m_mutex);
    auto it = m_regs.find(id);
    if (it != m_regs.end()) {
        for (int wd : it->second.wds) {
            if (auto node = m_nodes.find(wd); node != m_nodes.end()) {
                out.push_back(node->second.path);
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool FolderWatcherInotify::isSettled(WatchId id) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_regs.find(id);
    return it != m_regs.end() && it->second.settled;
}

void FolderWatcherInotify::setAddFailureForTest(std::function<int(const std::string &)> fail)
{
    std::lock_guard lock(m_mutex);
    m_addFailure = std::move(fail);
}

void FolderWatcherInotify::setReadingPaused(bool paused)
{
    std::unique_lock lock(m_mutex);
    m_paused = paused;
    m_pauseChanged.notify_all();
    if (!paused) {
        return;
    }
    // The thread may be reading a batch right now: return only once it waits, so that nothing written
    // after this call is read before the pause ends.
    lock.unlock();
    wake();
    lock.lock();
    m_pauseChanged.wait(lock, [this] { return m_pauseReached || m_stop || !m_paused; });
}

void FolderWatcherInotify::wake()
{
    const std::uint64_t one = 1;
    // A full counter already means "wake up", so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

// --- bookkeeping (m_mutex held) ---------------------------------------------------------------

int FolderWatcherInotify::addRef(WatchId id, Registration &reg, const std::string &path, bool isRoot,
                                 int *wdOut)
{
    const std::uint32_t want = structuralMask() | kernelMaskForKinds(reg.kinds);
    // The root may be a symbolic link to a folder, as the user chose it; below it links are never
    // followed, so a tree is watched only where it is really stored.
    const std::uint32_t flags =
        IN_ONLYDIR | IN_MASK_ADD | (isRoot ? 0u : static_cast<std::uint32_t>(IN_DONT_FOLLOW));
    if (m_addFailure) {
        if (const int error = m_addFailure(path); error != 0) {
            return error;
        }
    }
    const int wd = ::inotify_add_watch(m_fd, path.c_str(), want | flags);
    if (wd < 0) {
        return errno;
    }
    auto [it, inserted] = m_nodes.try_emplace(wd);
    Node &node = it->second;
    if (inserted || node.path != path) {
        if (!inserted) {
            auto old = m_byPath.find(node.path);
            if (old != m_byPath.end() && old->second == wd) {
                m_byPath.erase(old);
            }
        }
        node.path = path;
        m_byPath[path] = wd;
    }
    node.mask |= want;
    node.refs.insert(id);
    reg.wds.insert(wd);
    *wdOut = wd;
    return 0;
}

void FolderWatcherInotify::dropRef(WatchId id, int wd)
{
    auto reg = m_regs.find(id);
    if (reg != m_regs.end()) {
        reg->second.wds.erase(wd);
    }
    auto it = m_nodes.find(wd);
    if (it == m_nodes.end()) {
        return;
    }
    it->second.refs.erase(id);
    if (it->second.refs.empty()) {
        eraseNode(wd, true);
    }
}

void FolderWatcherInotify::dropRegistrationRefs(WatchId id, Registration &reg)
{
    const std::vector<int> wds(reg.wds.begin(), reg.wds.end());
    for (int wd : wds) {
        dropRef(id, wd);
    }
    reg.wds.clear();
}

void FolderWatcherInotify::eraseNode(int wd, bool removeFromKernel)
{
    auto it = m_nodes.find(wd);
    if (it == m_nodes.end()) {
        return;
    }
    auto byPath = m_byPath.find(it->second.path);
    if (byPath != m_byPath.end() && byPath->second == wd) {
        m_byPath.erase(byPath);
    }
    for (WatchId r : it->second.refs) {
        auto reg = m_regs.find(r);
        if (reg != m_regs.end()) {
            reg->second.wds.erase(wd);
        }
    }
    if (removeFromKernel) {
        ::inotify_rm_watch(m_fd, wd);
    }
    m_nodes.erase(it);
}

void FolderWatcherInotify::rootGone(WatchId id, Registration &reg, Batch &batch)
{
    if (reg.gone) {
        return;
    }
    // One last change, then nothing: the folder the user chose is no longer where it was.
    reg.gone = true;
    reg.settled = true;
    batch.changed.insert(id);
    batch.gone.insert(id);
    dropRegistrationRefs(id, reg);
}

void FolderWatcherInotify::dropSubtree(const std::string &path, Batch &batch)
{
    std::vector<int> wds;
    if (auto it = m_byPath.find(path); it != m_byPath.end()) {
        wds.push_back(it->second);
    }
    const std::string prefix = path + "/";
    for (auto it = m_byPath.lower_bound(prefix);
         it != m_byPath.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        wds.push_back(it->second);
    }
    for (int wd : wds) {
        auto node = m_nodes.find(wd);
        if (node == m_nodes.end()) {
            continue;
        }
        const std::vector<WatchId> refs(node->second.refs.begin(), node->second.refs.end());
        for (WatchId r : refs) {
            auto reg = m_regs.find(r);
            if (reg == m_regs.end()) {
                continue;
            }
            if (reg->second.rootWd == wd) {
                rootGone(r, reg->second, batch);
            } else {
                dropRef(r, wd);
            }
        }
    }
}

void FolderWatcherInotify::selfEvent(int wd, bool vanished, Batch &batch)
{
    auto node = m_nodes.find(wd);
    if (node == m_nodes.end()) {
        return;
    }
    // Folders below a root are dropped through their parent's events (which also see renames
    // inside the tree); here only the registrations rooted at this folder lose it.
    const std::vector<WatchId> refs(node->second.refs.begin(), node->second.refs.end());
    for (WatchId r : refs) {
        auto reg = m_regs.find(r);
        if (reg != m_regs.end() && reg->second.rootWd == wd) {
            rootGone(r, reg->second, batch);
        }
    }
    if (vanished) {
        eraseNode(wd, false);
    }
}

void FolderWatcherInotify::reportOnce(WatchId id, Registration &reg, int error, const std::string &path,
                                      Batch &batch)
{
    if (error == ENOSPC) {
        if (!reg.limitReported) {
            reg.limitReported = true;
            batch.problems.emplace_back(id,
                                        "The system's limit of folder watches was reached: changes in some "
                                        "folders below \"" +
                                            reg.root +
                                            "\" are not seen (raise fs.inotify.max_user_watches to watch "
                                            "them all).");
        }
    } else if (!reg.deniedReported) {
        reg.deniedReported = true;
        batch.problems.emplace_back(id, "Changes in some folders below \"" + reg.root +
                                            "\" are not seen: \"" + path + "\": " + std::strerror(error));
    }
}

// --- the watcher thread -----------------------------------------------------------------------

void FolderWatcherInotify::run()
{
    while (!m_stop) {
        Batch initial;
        for (;;) {
            WatchId id = 0;
            std::string root;
            {
                std::lock_guard lock(m_mutex);
                if (m_initialWalks.empty()) {
                    break;
                }
                id = m_initialWalks.front();
                m_initialWalks.pop_front();
                auto it = m_regs.find(id);
                if (it == m_regs.end()) {
                    continue;
                }
                root = it->second.root;
            }
            walk(id, root, false, initial);
            std::lock_guard lock(m_mutex);
            if (auto it = m_regs.find(id); it != m_regs.end()) {
                it->second.settled = true;
            }
        }
        post(initial);
        {
            std::unique_lock lock(m_mutex);
            if (m_paused) {
                m_pauseReached = true;
                m_pauseChanged.notify_all();
                m_pauseChanged.wait(lock, [this] { return !m_paused || m_stop; });
                m_pauseReached = false;
            }
        }

        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            continue; // EINTR
        }
        if (m_stop) {
            break;
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &count, sizeof count);
        }
        if (fds[0].revents & POLLIN) {
            Batch batch;
            readEvents(batch);
            post(batch);
        }
    }
}

void FolderWatcherInotify::readEvents(Batch &batch)
{
    alignas(inotify_event) char buffer[64 * 1024];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n <= 0) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto *ev = reinterpret_cast<const inotify_event *>(buffer + offset);
            const std::string name = ev->len > 0 ? std::string(ev->name) : std::string();
            handleEvent(ev->wd, ev->mask, name, batch);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    // New folders are walked after the whole batch, so that a folder created and removed or renamed
    // within it is simply not found.
    const auto walks = std::move(batch.walks);
    for (const auto &[id, path] : walks) {
        walk(id, path, true, batch);
    }
    if (batch.overflow) {
        rebuildAfterOverflow(batch);
    }
}

void FolderWatcherInotify::handleEvent(int wd, std::uint32_t mask, const std::string &name, Batch &batch)
{
    if (mask & IN_Q_OVERFLOW) {
        batch.overflow = true;
        return;
    }
    if (mask & IN_IGNORED) {
        selfEvent(wd, true, batch);
        return;
    }
    if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
        selfEvent(wd, false, batch);
        return;
    }
    auto node = m_nodes.find(wd);
    if (name.empty() || node == m_nodes.end()) {
        return; // events of a watched folder about itself are reported by its parent, if watched
    }
    const std::string child = childPath(node->second.path, name);
    const FolderChangeKinds kinds = kindsOfEvent(mask);
    const std::vector<WatchId> refs(node->second.refs.begin(), node->second.refs.end());
    for (WatchId r : refs) {
        auto reg = m_regs.find(r);
        if (reg != m_regs.end() && !reg->second.gone && (reg->second.kinds & kinds)) {
            batch.changed.insert(r);
        }
    }
    if (!(mask & IN_ISDIR)) {
        return;
    }
    if (mask & (IN_DELETE | IN_MOVED_FROM)) {
        dropSubtree(child, batch);
    }
    if (mask & (IN_CREATE | IN_MOVED_TO)) {
        for (WatchId r : refs) {
            auto reg = m_regs.find(r);
            if (reg != m_regs.end() && reg->second.subtree && !reg->second.gone) {
                batch.walks.emplace_back(r, child);
            }
        }
    }
}

void FolderWatcherInotify::walk(WatchId id, const std::string &start, bool newFolder, Batch &batch)
{
    FolderChangeKinds kinds = 0;
    {
        std::lock_guard lock(m_mutex);
        auto reg = m_regs.find(id);
        if (reg == m_regs.end() || reg->second.gone) {
            return;
        }
        kinds = reg->second.kinds;
    }
    bool foundChange = false;
    bool startDone = false;
    std::vector<std::string> pending{start};
    while (!pending.empty() && !m_stop) {
        const std::string path = std::move(pending.back());
        pending.pop_back();
        // The root of a registration may be a symbolic link the user chose; nothing below it is
        // followed.
        const bool isRoot = !newFolder && !startDone;
        startDone = true;
        {
            std::lock_guard lock(m_mutex);
            auto reg = m_regs.find(id);
            if (reg == m_regs.end() || reg->second.gone) {
                return;
            }
            int wd = -1;
            const int error = addRef(id, reg->second, path, isRoot, &wd);
            if (error == ENOSPC) {
                reportOnce(id, reg->second, error, path, batch);
                return; // every further folder would fail the same way
            }
            if (error == EACCES || error == EPERM) {
                reportOnce(id, reg->second, error, path, batch);
                continue;
            }
            if (error != 0) {
                continue; // gone or replaced by a file meanwhile: its parent's events tell
            }
        }
        const int dfd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW));
        if (dfd < 0) {
            const int error = errno;
            if (error == EACCES || error == EPERM) {
                std::lock_guard lock(m_mutex);
                if (auto reg = m_regs.find(id); reg != m_regs.end()) {
                    reportOnce(id, reg->second, error, path, batch);
                }
            }
            continue;
        }
        DIR *dir = ::fdopendir(dfd);
        if (dir == nullptr) {
            ::close(dfd);
            continue;
        }
        while (const dirent *entry = ::readdir(dir)) {
            const char *name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                continue;
            }
            bool isDir = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st
                {
                };
                isDir = ::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            }
            // Entries made in a new folder before its watch existed are a change all the same.
            if (newFolder && (kinds & kindsOfFoundEntry(isDir))) {
                foundChange = true;
            }
            if (isDir) {
                pending.push_back(childPath(path, name));
            }
        }
        ::closedir(dir);
    }
    if (foundChange) {
        std::lock_guard lock(m_mutex);
        auto reg = m_regs.find(id);
        if (reg != m_regs.end() && !reg->second.gone) {
            batch.changed.insert(id);
        }
    }
}

void FolderWatcherInotify::rebuildAfterOverflow(Batch &batch)
{
    // The system dropped events, so nothing about the trees can be trusted: every registration
    // counts as changed and every watch is made again from its root.
    std::vector<std::pair<WatchId, std::string>> walks;
    {
        std::lock_guard lock(m_mutex);
        for (const auto &entry : m_nodes) {
            ::inotify_rm_watch(m_fd, entry.first);
        }
        m_nodes.clear();
        m_byPath.clear();
        for (auto &[id, reg] : m_regs) {
            reg.wds.clear();
            if (reg.gone) {
                continue;
            }
            batch.changed.insert(id);
            int wd = -1;
            if (addRef(id, reg, reg.root, true, &wd) != 0) {
                reg.gone = true;
                batch.gone.insert(id);
                continue;
            }
            reg.rootWd = wd;
            if (reg.subtree) {
                walks.emplace_back(id, reg.root);
            }
        }
    }
    for (const auto &[id, root] : walks) {
        walk(id, root, false, batch);
    }
}

void FolderWatcherInotify::post(Batch &batch)
{
    if (batch.empty()) {
        return;
    }
    std::vector<Delivery> deliveries;
    for (const auto &[id, text] : batch.problems) {
        deliveries.push_back({id, Delivery::Kind::Problem, text});
    }
    for (WatchId id : batch.changed) {
        deliveries.push_back({id, Delivery::Kind::Changed, {}});
    }
    for (WatchId id : batch.gone) {
        deliveries.push_back({id, Delivery::Kind::Gone, {}});
    }
    batch.problems.clear();
    batch.changed.clear();
    batch.gone.clear();
    QMetaObject::invokeMethod(
        m_dispatcher.get(), [this, deliveries = std::move(deliveries)] { dispatch(deliveries); },
        Qt::QueuedConnection);
}

void FolderWatcherInotify::dispatch(const std::vector<Delivery> &deliveries)
{
    for (const Delivery &d : deliveries) {
        // Looked up afresh for every call: a callback may remove or replace any registration.
        auto it = m_sinks.find(d.id);
        if (it == m_sinks.end()) {
            continue;
        }
        if (d.kind == Delivery::Kind::Problem) {
            auto callback = it->second.problem;
            if (callback) {
                callback(d.text);
            }
        } else {
            auto callback = d.kind == Delivery::Kind::Gone ? it->second.gone : it->second.changed;
            if (callback) {
                callback();
            }
        }
    }
}

} // namespace qv
