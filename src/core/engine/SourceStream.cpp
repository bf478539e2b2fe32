// SourceStream: one folder tree's scan entries, listed a window ahead by a thread of their own.
#include "core/engine/SourceStream.h"

#include "platform/FileCopy.h"

#include <algorithm>

namespace qv {

SourceStream::SourceStream(DirectoryReader &reader, const std::atomic<bool> &stop, std::string root,
                           Options options)
    : m_reader(reader), m_runStop(stop), m_root(std::move(root)), m_options(std::move(options)),
      m_dropEmpty(m_options.filter != nullptr && !m_options.filter->includesEmptyFolders())
{
    for (int k = 0; k < m_options.listers; ++k) {
        m_listers.emplace_back([this] { lister(); });
    }
    m_thread = std::thread([this] { run(); });
}

SourceStream::~SourceStream()
{
    m_stop.store(true);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_changed.notify_all();
    }
    m_thread.join();
    {
        std::lock_guard<std::mutex> lock(m_listMutex);
        m_listersEnd = true;
    }
    m_listChanged.notify_all();
    for (std::thread &t : m_listers) {
        t.join();
    }
}

void SourceStream::lister()
{
    if (m_options.threadStart) {
        m_options.threadStart();
    }
    for (;;) {
        std::string folder;
        Listing *listing = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_listMutex);
            m_listChanged.wait(lock, [this] { return !m_jobs.empty() || m_listersEnd; });
            if (m_listersEnd) {
                return;
            }
            folder = std::move(m_jobs.front());
            m_jobs.pop_front();
            listing = m_listings.at(folder).get();
            listing->started = true;
        }
        std::vector<DirItem> items;
        int error = 0;
        const bool listed = m_reader.list(folder, items, error);
        {
            std::lock_guard<std::mutex> lock(m_listMutex);
            listing->items = std::move(items);
            listing->listed = listed;
            listing->error = error;
            listing->done = true;
        }
        m_listChanged.notify_all();
    }
}

void SourceStream::listAhead(const std::string &folder)
{
    {
        std::lock_guard<std::mutex> lock(m_listMutex);
        if (!m_listings.emplace(folder, std::make_unique<Listing>()).second) {
            return;
        }
        m_jobs.push_back(folder);
    }
    m_listChanged.notify_one();
}

bool SourceStream::listFolder(const std::string &folder, std::vector<DirItem> &items, int &error)
{
    {
        std::unique_lock<std::mutex> lock(m_listMutex);
        const auto it = m_listings.find(folder);
        if (it != m_listings.end()) {
            Listing &listing = *it->second;
            if (listing.started) {
                m_listChanged.wait(lock, [&listing] { return listing.done; });
                items = std::move(listing.items);
                error = listing.error;
                const bool listed = listing.listed;
                m_listings.erase(it);
                return listed;
            }
            // Not taken by a lister yet: listed here.
            m_jobs.erase(std::find(m_jobs.begin(), m_jobs.end(), folder));
            m_listings.erase(it);
        }
    }
    return m_reader.list(folder, items, error);
}

bool SourceStream::stopped() const
{
    return m_stop.load(std::memory_order_relaxed) || m_runStop.load(std::memory_order_relaxed);
}

void SourceStream::run()
{
    if (m_options.threadStart) {
        m_options.threadStart();
    }
    walk(m_root);
    flush();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_done = true;
    m_changed.notify_all();
}

void SourceStream::push(Item item)
{
    m_batch.push_back(std::move(item));
    if (m_batch.size() >= 256) {
        flush();
    }
}

// Hands the batch over, waiting while the window is full.
void SourceStream::flush()
{
    if (m_batch.empty()) {
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.size() < m_options.window || stopped(); });
    for (Item &item : m_batch) {
        m_queue.push_back(std::move(item));
    }
    m_batch.clear();
    m_changed.notify_all();
}

// True when a file was taken anywhere below `folder`.
bool SourceStream::walk(const std::string &folder)
{
    if (stopped() || m_options.passOver.count(folder) != 0) {
        return false;
    }
    std::vector<DirItem> items;
    int error = 0;
    if (!listFolder(folder, items, error)) {
        Item item;
        item.kind = Item::Unreadable;
        item.path = folder;
        item.error = error;
        push(std::move(item));
        return false;
    }
    auto repeated = [&items](std::size_t k) { return k > 0 && items[k - 1].name == items[k].name; };
    bool holds = false;
    std::vector<std::size_t> taken; // the folder's files, through the filters
    EntryDigest files;
    for (std::size_t k = 0; k < items.size(); ++k) {
        const DirItem &item = items[k];
        if (stopped()) {
            return holds;
        }
        if (item.kind != DirItem::File || isCopyTempName(item.name) || repeated(k)) {
            continue;
        }
        if (m_options.filter != nullptr && !m_options.filter->match(folder, item)) {
            continue;
        }
        taken.push_back(k);
        files.addFile(item.name, item.size, item.mtimeNs, item.mode);
    }
    const bool asListed = !taken.empty() && m_options.filesAsListed && m_options.filesAsListed(folder, files);
    for (const std::size_t k : taken) {
        const DirItem &item = items[k];
        for (Item &f : m_pending) {
            push(std::move(f)); // the folders above it, now known to hold something
        }
        m_pending.clear();
        Item file;
        file.path = folder + item.name;
        file.info = FileEntryInfo{item.size, item.mtimeNs, item.mode, false};
        file.asListed = asListed;
        push(std::move(file));
        holds = true;
    }
    if (!m_options.includeSubfolders) {
        return holds;
    }
    std::vector<std::size_t> subfolders;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (items[k].kind == DirItem::Folder && !repeated(k)) {
            subfolders.push_back(k);
        }
    }
    // The listers list the next few subfolders while this thread walks one.
    const std::size_t ahead = 2 * m_listers.size();
    std::size_t asked = 0;
    for (std::size_t n = 0; n < subfolders.size(); ++n) {
        const DirItem &item = items[subfolders[n]];
        if (stopped()) {
            return holds;
        }
        for (asked = std::max(asked, n + 1); asked < subfolders.size() && asked <= n + ahead; ++asked) {
            const std::string next = folder + items[subfolders[asked]].name + "/";
            if (m_options.passOver.count(next) == 0) {
                listAhead(next);
            }
        }
        Item sub;
        sub.path = folder + item.name + "/";
        sub.info = FileEntryInfo{0, item.mtimeNs, item.mode, true};
        const std::string path = sub.path;
        if (m_dropEmpty) {
            m_pending.push_back(std::move(sub));
        } else {
            push(std::move(sub));
        }
        const bool below = walk(path);
        if (m_dropEmpty && !below && !m_pending.empty()) {
            m_pending.pop_back(); // nothing below it was taken: the folder is not handed out
        }
        holds = holds || below;
    }
    return holds;
}

bool SourceStream::next(Item &item)
{
    if (m_taken.empty()) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_done; });
        if (m_queue.empty()) {
            return false;
        }
        m_taken.swap(m_queue);
        m_changed.notify_all();
    }
    item = std::move(m_taken.front());
    m_taken.pop_front();
    return true;
}

} // namespace qv
