// The recursive scan of a folder into a file list.
#include "core/engine/FolderScanner.h"

#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "core/engine/RunControl.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <cerrno>

namespace qv {

namespace {

// A listing that changed while it was read may name an entry twice (sorted: next to each other).
bool repeated(const std::vector<DirItem> &items, std::size_t k)
{
    return k > 0 && items[k - 1].name == items[k].name;
}

void fill(DirItem &item, const PathStat &st)
{
    item.size = st.size;
    item.mtimeNs = st.mtimeNs;
    item.atimeNs = st.atimeNs;
    item.createdNs = st.createdNs;
    item.mode = st.mode;
    std::uint32_t attributes = 0;
    if ((st.mode & 0200) == 0) {
        attributes |= 0x1;
    }
    if (!item.name.empty() && item.name[0] == '.') {
        attributes |= 0x2;
    }
    attributes |= st.isFolder ? 0x10 : 0x20;
    attributes |= st.compressed ? 0x800 : 0;
    attributes |= st.encrypted ? 0x4000 : 0;
    item.attributes = attributes;
}

} // namespace

bool DirectoryReader::list(const std::string &folder, std::vector<DirItem> &items, int &error)
{
    items.clear();
    FolderListing listing;
    if (!listing.open(folder, error)) {
        return false;
    }
    bool listedAsFolder = false;
    while (const char *name = listing.next(listedAsFolder)) {
        DirItem item;
        item.name = name;
        if (listedAsFolder) {
            item.kind = DirItem::Folder;
            item.isFolder = true;
            item.attributes = 0x10 | (item.name[0] == '.' ? 0x2 : 0);
            items.push_back(std::move(item));
            continue;
        }
        const PathStat st = listing.stat(name);
        if (!st.exists) {
            if (!st.isSymlink) {
                continue; // gone since it was listed
            }
            item.isSymlink = true;
            item.kind = DirItem::Special; // a dangling link
            items.push_back(std::move(item));
            continue;
        }
        item.isSymlink = st.isSymlink;
        if (st.isRegular) {
            item.kind = DirItem::File;
        } else if (st.isFolder) {
            item.kind = item.isSymlink ? DirItem::FolderLink : DirItem::Folder;
            item.isFolder = !item.isSymlink;
        } else {
            item.kind = DirItem::Special;
        }
        fill(item, st);
        items.push_back(std::move(item));
    }
    if (listing.failed() != 0) {
        error = listing.failed();
        return false;
    }
    std::sort(items.begin(), items.end(), [](const DirItem &a, const DirItem &b) { return a.name < b.name; });
    return true;
}

bool DirectoryReader::listKinds(const std::string &folder, std::vector<DirItem> &items, int &error)
{
    items.clear();
    FolderListing listing;
    if (!listing.open(folder, error)) {
        return false;
    }
    bool listedAsFolder = false;
    bool listedAsFile = false;
    while (const char *name = listing.next(listedAsFolder, listedAsFile)) {
        DirItem item;
        item.name = name;
        if (listedAsFolder || listedAsFile) {
            item.kind = listedAsFolder ? DirItem::Folder : DirItem::File;
            item.isFolder = listedAsFolder;
            items.push_back(std::move(item));
            continue;
        }
        const PathStat st = listing.stat(name);
        if (!st.exists && !st.isSymlink) {
            continue; // gone since it was listed
        }
        item.isSymlink = st.isSymlink;
        if (st.exists && st.isRegular) {
            item.kind = DirItem::File;
        } else if (st.exists && st.isFolder) {
            item.kind = item.isSymlink ? DirItem::FolderLink : DirItem::Folder;
            item.isFolder = !item.isSymlink;
        } else {
            item.kind = DirItem::Special;
        }
        items.push_back(std::move(item));
    }
    if (listing.failed() != 0) {
        error = listing.failed();
        return false;
    }
    std::sort(items.begin(), items.end(), [](const DirItem &a, const DirItem &b) { return a.name < b.name; });
    return true;
}

FolderScanner::FolderScanner(DirectoryReader &reader, RunControl &control, ScanCallbacks callbacks)
    : m_reader(reader), m_control(control), m_callbacks(std::move(callbacks))
{
}

void FolderScanner::ReadFolder(const std::string &folder, TFilesList &list, const ScanOptions &options,
                               ScanTotals &totals, const std::string &caption)
{
    // One tree cannot hold a path twice: into an empty list, entries go without a lookup.
    m_fresh = list.empty();
    m_countOnly = options.countOnly;
    m_budget->limit = m_fresh ? options.keepAtMost : SIZE_MAX; // a list that held entries is never dropped
    m_foldersWithoutFiles = 0;
    if (options.parallel > 1 && options.includeSubfolders) {
        scanParallel(folder, list, options, totals, caption);
    } else {
        ScanFolder(folder, list, options, totals, caption);
    }
    const bool keepEmpty = options.filter != nullptr && options.filter->includesEmptyFolders();
    const bool dropEmpty = options.applyFilters && options.filter != nullptr && !keepEmpty && !options.countOnly;
    if (overflowed()) {
        list.clear();
        if (dropEmpty) {
            totals.folders -= m_foldersWithoutFiles; // the folders removeEmptyFolders would drop
        }
    } else if (dropEmpty) {
        totals.folders -= removeEmptyFolders(list);
    }
}

// The files of one listed folder; false when the run is to stop.
bool FolderScanner::scanFiles(const std::string &folder, const std::vector<DirItem> &items, TFilesList &list,
                              const ScanOptions &options, ScanTotals &totals, const std::string &shown, bool &took)
{
    took = false;
    for (std::size_t k = 0; k < items.size(); ++k) {
        const DirItem &item = items[k];
        if (!m_control.checkpoint()) {
            return false;
        }
        if (item.kind == DirItem::Folder || isCopyTempName(item.name) || repeated(items, k)) {
            continue;
        }
        if (m_callbacks.progress) {
            m_callbacks.progress(shown + item.name);
        }
        if (item.kind != DirItem::File || (item.isSymlink && !options.takeFileLinks)) {
            if (m_callbacks.skippedSpecial) {
                m_callbacks.skippedSpecial(folder + item.name);
            }
            continue;
        }
        if (options.applyFilters && options.filter != nullptr && !options.filter->match(folder, item)) {
            continue;
        }
        add(list, folder, item.name, false, FileEntryInfo{item.size, item.mtimeNs, item.mode, false});
        totals.bytes += item.size;
        totals.files += 1;
        took = true;
    }
    return true;
}

// False (reported and remembered) when the folder cannot be listed.
bool FolderScanner::listFolder(const std::string &folder, const ScanOptions &options, std::vector<DirItem> &items)
{
    int error = 0;
    const bool listed =
        options.countOnly && !options.statEntries ? m_reader.listKinds(folder, items, error)
                                                  : m_reader.list(folder, items, error);
    if (!listed) {
        m_unreadable.push_back(folder);
        if (m_callbacks.unreadable) {
            m_callbacks.unreadable(folder, error);
        }
    } else if (m_callbacks.listed) {
        m_callbacks.listed(folder, items);
    }
    return listed;
}

bool FolderScanner::ScanFolder(const std::string &folder, TFilesList &list, const ScanOptions &options,
                               ScanTotals &totals, const std::string &caption)
{
    std::vector<DirItem> items;
    if (!listFolder(folder, options, items)) {
        return false;
    }
    const std::string shown = caption.empty() ? std::string() : caption + ": " + nameOf(folder) + "/";
    bool holds = false;
    if (!scanFiles(folder, items, list, options, totals, shown, holds) || !options.includeSubfolders) {
        return holds;
    }
    for (std::size_t k = 0; k < items.size(); ++k) {
        const DirItem &item = items[k];
        if (!m_control.checkpoint()) {
            return holds;
        }
        if (item.kind != DirItem::Folder || repeated(items, k)) {
            continue;
        }
        if (m_callbacks.progress) {
            m_callbacks.progress(shown + item.name);
        }
        const std::string sub = folder + item.name + "/";
        add(list, folder, item.name, true, FileEntryInfo{0, item.mtimeNs, item.mode, true});
        totals.folders += 1;
        const bool below = options.noDescend.count(sub) == 0 && ScanFolder(sub, list, options, totals, caption);
        if (!below) {
            ++m_foldersWithoutFiles;
        }
        holds = holds || below;
    }
    return holds;
}

void FolderScanner::scanParallel(const std::string &folder, TFilesList &list, const ScanOptions &options,
                                 ScanTotals &totals, const std::string &caption)
{
    std::vector<DirItem> items;
    if (!listFolder(folder, options, items)) {
        return;
    }
    const std::string shown = caption.empty() ? std::string() : caption + ": " + nameOf(folder) + "/";
    bool took = false;
    if (!scanFiles(folder, items, list, options, totals, shown, took)) {
        return;
    }
    struct Part {
        std::string folder;
        TFilesList list;
        ScanTotals totals;
        std::vector<std::string> unreadable;
        int foldersWithoutFiles = 0; // inside the part, and the part's folder itself
        // What the part met, reported when it is joined, so that the lines come in scan order:
        // special files (error -1) and folders that could not be listed.
        std::vector<std::pair<std::string, int>> reported;
        bool done = false;
    };
    // The top level's subfolders (places in `items`); a part exists only from the moment a worker
    // takes its subfolder until it is joined, so a top level of many folders costs a few parts.
    std::vector<std::size_t> subfolders;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (items[k].kind == DirItem::Folder && !repeated(items, k)) {
            subfolders.push_back(k);
        }
    }
    std::vector<std::unique_ptr<Part>> parts(subfolders.size());
    // Workers list whole subtrees; this thread joins their lists in order as they become ready.
    // A worker starts a subtree only within a few of the oldest one not yet joined, so the lists
    // waiting to be joined stay few however many folders the top level holds.
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(options.parallel), parts.size());
    const std::size_t ahead = 2 * count;
    ScanCallbacks quiet = m_callbacks;
    quiet.progress = nullptr;
    std::size_t next = 0;
    std::size_t joined = 0;
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    std::condition_variable roomSignal;
    auto work = [&] {
        for (;;) {
            Part *p = nullptr;
            {
                std::unique_lock<std::mutex> lock(doneMutex);
                roomSignal.wait(lock, [&] { return next >= parts.size() || next < joined + ahead; });
                if (next >= parts.size()) {
                    return;
                }
                const std::size_t k = next++;
                parts[k] = std::make_unique<Part>();
                p = parts[k].get();
                p->folder = folder + items[subfolders[k]].name + "/";
            }
            if (options.noDescend.count(p->folder) == 0 && m_control.checkpoint()) {
                ScanCallbacks held = quiet;
                held.skippedSpecial = [p](const std::string &path) { p->reported.emplace_back(path, -1); };
                held.unreadable = [p](const std::string &path, int error) { p->reported.emplace_back(path, error); };
                FolderScanner sub(m_reader, m_control, held);
                sub.m_fresh = true;
                sub.m_countOnly = m_countOnly;
                sub.m_budget = m_budget;
                const bool holds = sub.ScanFolder(p->folder, p->list, options, p->totals, std::string());
                p->unreadable = sub.m_unreadable;
                p->foldersWithoutFiles = sub.m_foldersWithoutFiles + (holds ? 0 : 1);
            } else {
                p->foldersWithoutFiles = 1;
            }
            {
                std::lock_guard<std::mutex> lock(doneMutex);
                p->done = true;
            }
            doneSignal.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < count; ++i) {
        workers.emplace_back([&work, &options] {
            if (options.threadStart) {
                options.threadStart();
            }
            work();
        });
    }
    for (std::size_t k = 0; k < parts.size(); ++k) {
        Part *part = nullptr;
        {
            std::unique_lock<std::mutex> lock(doneMutex);
            doneSignal.wait(lock, [&] { return parts[k] != nullptr && parts[k]->done; });
            part = parts[k].get();
        }
        const DirItem &item = items[subfolders[k]];
        if (m_callbacks.progress) {
            m_callbacks.progress(shown + item.name);
        }
        add(list, folder, item.name, true, FileEntryInfo{0, item.mtimeNs, item.mode, true});
        totals.folders += 1;
        for (std::size_t i = 0; i < part->list.size() && !overflowed(); ++i) {
            const FileEntryInfo info = part->list.info(i);
            add(list, part->list.folderOf(i), part->list.nameOf(i), info.isFolder, info, false);
        }
        m_foldersWithoutFiles += part->foldersWithoutFiles;
        for (const auto &[path, error] : part->reported) {
            if (error < 0 && m_callbacks.skippedSpecial) {
                m_callbacks.skippedSpecial(path);
            } else if (error >= 0 && m_callbacks.unreadable) {
                m_callbacks.unreadable(path, error);
            }
        }
        totals.bytes += part->totals.bytes;
        totals.files += part->totals.files;
        totals.folders += part->totals.folders;
        m_unreadable.insert(m_unreadable.end(), part->unreadable.begin(), part->unreadable.end());
        {
            std::lock_guard<std::mutex> lock(doneMutex);
            parts[k].reset();
            ++joined;
        }
        roomSignal.notify_all();
    }
    for (auto &w : workers) {
        w.join();
    }
}

void FolderScanner::add(TFilesList &list, std::string_view folder, std::string_view name, bool isFolder,
                        const FileEntryInfo &info, bool charge)
{
    if (m_countOnly || m_budget->overflow.load(std::memory_order_relaxed)) {
        return;
    }
    if (charge && m_budget->limit != SIZE_MAX) {
        // An entry and its name, as the list stores them.
        const std::size_t cost = 24 + 2 + name.size();
        if (m_budget->used.fetch_add(cost, std::memory_order_relaxed) + cost > m_budget->limit) {
            m_budget->overflow.store(true);
            return;
        }
    }
    if (m_fresh) {
        list.appendNew(folder, name, isFolder, info);
    } else {
        list.FileAdd(folder, name, isFolder, info);
    }
}

int removeEmptyFolders(TFilesList &list)
{
    const std::size_t n = list.size();
    std::vector<bool> remove(n, false);
    // Walking backwards: a folder is empty when no kept entry follows inside it.
    std::ptrdiff_t nextKept = -1;
    int removed = 0;
    for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(n) - 1; i >= 0; --i) {
        if (list.isFolder(static_cast<std::size_t>(i))) {
            const std::string folder = list.path(static_cast<std::size_t>(i));
            const bool holds = nextKept >= 0 && list.isInside(static_cast<std::size_t>(nextKept), folder);
            if (!holds) {
                remove[static_cast<std::size_t>(i)] = true;
                ++removed;
                continue;
            }
        }
        nextKept = i;
    }
    if (removed > 0) {
        list.removeIf(remove);
    }
    return removed;
}

} // namespace qv
