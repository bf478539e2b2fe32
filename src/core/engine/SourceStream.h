// SourceStream: the entries a scan of one folder tree puts into its list (FolderScanner), handed
// out one after another in the same order while a thread of its own lists the tree a window ahead,
// so that a pass over a tree of millions of files never holds all of them.
//
// It follows the scan's rules: a folder's files first (sorted by name), then each subfolder and
// everything below it; regular files and links to them through the filters, nothing else. When
// empty folders are dropped, a folder is handed out just before the first file taken below it,
// and not at all when there is none. The stream follows a scan of the same tree that reported
// what it met: special files are not reported again, and the folders that scan could not list are
// passed over. A folder the stream cannot list although the scan could is handed out as an
// `Unreadable` item, for the caller to report and keep.
#pragma once

#include "core/engine/FilesList.h"
#include "core/engine/FolderScanner.h"
#include "core/engine/ObsoletePlanner.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace qv {

class SourceStream
{
public:
    struct Options {
        const EntryFilter *filter = nullptr; // null: every file is taken
        bool includeSubfolders = true;
        std::set<std::string> passOver;     // folders (trailing "/") the scan could not list
        std::size_t window = 4096;          // entries listed ahead at most (a folder's files at once)
        std::function<void()> threadStart;  // runs first on the stream's threads
        // Threads that list the subfolders of the folder being walked a few ahead of it (0: the
        // stream's own thread lists every folder when it comes to it).
        int listers = 0;
        // Asked on the stream's thread with each folder's taken files (EntryDigest::addFile): true
        // marks them `asListed`.
        std::function<bool(const std::string &folder, const EntryDigest &files)> filesAsListed;
    };
    struct Item {
        enum Kind { Entry, Unreadable } kind = Entry;
        std::string path; // a folder ends with "/"
        FileEntryInfo info;
        int error = 0; // Unreadable: why
        bool asListed = false; // a file of a folder filesAsListed said yes to
    };

    // `root` ends with "/". The thread starts at once.
    SourceStream(DirectoryReader &reader, const std::atomic<bool> &stop, std::string root, Options options);
    ~SourceStream();
    SourceStream(const SourceStream &) = delete;
    SourceStream &operator=(const SourceStream &) = delete;

    // The next item, in scan order; false at the end (or when the run was stopped).
    bool next(Item &item);

private:
    void run();
    bool walk(const std::string &folder);
    // A folder's listing: taken from the listers when one was asked ahead, else made now.
    bool listFolder(const std::string &folder, std::vector<DirItem> &items, int &error);
    void listAhead(const std::string &folder);
    void lister();
    void push(Item item);
    void flush();
    bool stopped() const;

    DirectoryReader &m_reader;
    const std::atomic<bool> &m_runStop;
    const std::string m_root;
    const Options m_options;
    const bool m_dropEmpty;

    // The stream's thread only.
    std::vector<Item> m_batch;   // listed, not yet handed over
    std::vector<Item> m_pending; // folders handed out only once a file below them is taken

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Item> m_queue; // handed over, not yet taken
    bool m_done = false;
    std::atomic<bool> m_stop{false};
    std::deque<Item> m_taken; // the caller's: taken from the queue in one step

    // Listings asked ahead: the folders for the listers to take, and each asked folder's listing
    // until the walk takes it.
    struct Listing {
        bool started = false;
        bool done = false;
        bool listed = false;
        int error = 0;
        std::vector<DirItem> items;
    };
    std::mutex m_listMutex;
    std::condition_variable m_listChanged;
    std::deque<std::string> m_jobs;
    std::unordered_map<std::string, std::unique_ptr<Listing>> m_listings;
    bool m_listersEnd = false;
    std::vector<std::thread> m_listers;
    std::thread m_thread;
};

} // namespace qv
