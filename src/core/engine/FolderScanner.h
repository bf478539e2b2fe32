// The recursive scan of a folder into a file list, through the task's filters.
//
// A folder's files come first (sorted by name, byte order), then each subfolder followed by
// everything below it. Large trees may be listed by several threads, one first-level subfolder
// each and only a few subfolders ahead of the oldest one not yet joined; their lists are joined in
// order, and what each reports (special files, unreadable folders) is reported as it is joined,
// so the result and the lines are the same as from one thread. Regular files and symbolic links
// to regular files are taken; other special files and links to folders are reported and skipped,
// so a link loop can never trap the scan. The copy's own temporary files are never taken. A folder
// that cannot be listed is reported and remembered, so that nothing below its destination is
// treated as obsolete.
#pragma once

#include "core/engine/BackupTypes.h"
#include "core/engine/FilesList.h"
#include "core/engine/RunSnapshot.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace qv {

class RunControl;

struct DirItem : ScanItem {
    enum Kind { File, Folder, FolderLink, Special } kind = File;
};

// Lists one folder; replaced in tests to make a chosen folder fail.
class DirectoryReader
{
public:
    virtual ~DirectoryReader() = default;
    // `folder` ends with "/". False with an errno value when the folder cannot be listed.
    virtual bool list(const std::string &folder, std::vector<DirItem> &items, int &error);
    // The same with each entry's name and kind only (no size, times or mode): the system's listing
    // tells the kind, and only links and entries of an unknown kind are looked at with stat.
    virtual bool listKinds(const std::string &folder, std::vector<DirItem> &items, int &error);
};

struct ScanCallbacks {
    std::function<void(const std::string &caption)> progress;
    std::function<void(const std::string &path)> skippedSpecial;
    std::function<void(const std::string &folder, int error)> unreadable;
    // Each folder as listed (its entries sorted by name), on the thread that listed it.
    std::function<void(const std::string &folder, const std::vector<DirItem> &items)> listed;
};

struct ScanOptions {
    bool applyFilters = true;
    bool includeSubfolders = true;
    const EntryFilter *filter = nullptr; // null with applyFilters: every file is taken
    std::set<std::string> noDescend;     // folders (trailing "/") listed but not entered
    int parallel = 1;                    // threads that list the first level's subfolders
    // Entries are counted in the totals (no bytes) and its lines reported, but nothing is added to
    // the list; folders are listed by name and kind only. For a scan that needs neither the filters
    // nor the entries' sizes and times.
    bool countOnly = false;
    // The most the list may take (an estimate in bytes of its entries and names). A scan that would
    // need more goes on counting with the filters as before, adds nothing more and leaves the list
    // empty (overflowed()): the totals stay those of the whole scan. Only for a scan into an empty list.
    std::size_t keepAtMost = SIZE_MAX;
    bool statEntries = false;            // with countOnly: folders are listed with their entries' stats
    // Symbolic links to regular files are taken as files; without, they are reported and skipped
    // like other special files (a destination read as a source of files: nothing is taken through
    // a link there).
    bool takeFileLinks = true;
    std::function<void()> threadStart;   // runs first on each of those threads
};

class FolderScanner
{
public:
    FolderScanner(DirectoryReader &reader, RunControl &control, ScanCallbacks callbacks);

    // Adds `folder`'s contents to `list` and the totals; drops empty folders when the filters
    // apply and do not include them. `folder` ends with "/".
    void ReadFolder(const std::string &folder, TFilesList &list, const ScanOptions &options, ScanTotals &totals,
                    const std::string &caption);

    // Folders that could not be listed, in the order met.
    const std::vector<std::string> &unreadableFolders() const { return m_unreadable; }
    // The list would have taken more than ScanOptions::keepAtMost: it was left empty.
    bool overflowed() const { return m_budget->overflow.load(); }

private:
    // What the list may still take, shared by the threads of one scan.
    struct Budget {
        std::size_t limit = SIZE_MAX;
        std::atomic<std::size_t> used{0};
        std::atomic<bool> overflow{false};
    };
    void scanParallel(const std::string &folder, TFilesList &list, const ScanOptions &options, ScanTotals &totals,
                      const std::string &caption);
    // False when the run is to stop; `took` tells whether a file was taken.
    bool scanFiles(const std::string &folder, const std::vector<DirItem> &items, TFilesList &list,
                   const ScanOptions &options, ScanTotals &totals, const std::string &shown, bool &took);
    // True when a file was taken anywhere below `folder`.
    bool ScanFolder(const std::string &folder, TFilesList &list, const ScanOptions &options, ScanTotals &totals,
                    const std::string &caption);
    bool listFolder(const std::string &folder, const ScanOptions &options, std::vector<DirItem> &items);

    // `charge`: counted against the budget (an entry of a part, joined, was counted in the part).
    void add(TFilesList &list, std::string_view folder, std::string_view name, bool isFolder,
             const FileEntryInfo &info, bool charge = true);

    bool m_countOnly = false;
    Budget m_ownBudget;
    Budget *m_budget = &m_ownBudget; // a part of a parallel scan shares its scan's
    int m_foldersWithoutFiles = 0;  // folders below which no file was taken

    DirectoryReader &m_reader;
    RunControl &m_control;
    ScanCallbacks m_callbacks;
    std::vector<std::string> m_unreadable;
    bool m_fresh = false; // the list was empty when the scan began
};

// Drops the folders of `list` that hold nothing (walking backwards removes nested empty folders in
// one pass); returns how many went.
int removeEmptyFolders(TFilesList &list);

} // namespace qv
