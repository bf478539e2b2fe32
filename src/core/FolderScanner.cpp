// The recursive scan of a folder into a file list.
#include "core/FolderScanner.h"

#include "core/BackupFileOps.h"
#include "core/RunControl.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

std::int64_t ns(const struct timespec &ts)
{
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void fill(DirItem &item, const struct stat &st)
{
    item.size = st.st_size;
    item.mtimeNs = ns(st.st_mtim);
    item.atimeNs = ns(st.st_atim);
    item.ctimeNs = ns(st.st_ctim);
    item.mode = st.st_mode;
    std::uint32_t attributes = 0;
    if ((st.st_mode & S_IWUSR) == 0) {
        attributes |= 0x1;
    }
    if (!item.name.empty() && item.name[0] == '.') {
        attributes |= 0x2;
    }
    if (S_ISDIR(st.st_mode)) {
        attributes |= 0x10;
    } else {
        attributes |= 0x20;
    }
    item.attributes = attributes;
}

} // namespace

bool DirectoryReader::list(const std::string &folder, std::vector<DirItem> &items, int &error)
{
    items.clear();
    DIR *d = ::opendir(folder.c_str());
    if (d == nullptr) {
        error = errno;
        return false;
    }
    const int dfd = ::dirfd(d);
    for (;;) {
        errno = 0;
        struct dirent *e = ::readdir(d);
        if (e == nullptr) {
            break;
        }
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) {
            continue;
        }
        DirItem item;
        item.name = e->d_name;
        struct stat st;
        if (e->d_type == DT_DIR) {
            item.kind = DirItem::Folder;
            item.isFolder = true;
            item.attributes = 0x10 | (item.name[0] == '.' ? 0x2 : 0);
            items.push_back(std::move(item));
            continue;
        }
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue; // gone since it was listed
        }
        if (S_ISLNK(st.st_mode)) {
            item.isSymlink = true;
            if (::fstatat(dfd, e->d_name, &st, 0) != 0) {
                item.kind = DirItem::Special; // a dangling link
                items.push_back(std::move(item));
                continue;
            }
        }
        if (S_ISREG(st.st_mode)) {
            item.kind = DirItem::File;
        } else if (S_ISDIR(st.st_mode)) {
            item.kind = item.isSymlink ? DirItem::FolderLink : DirItem::Folder;
            item.isFolder = !item.isSymlink;
        } else {
            item.kind = DirItem::Special;
        }
        fill(item, st);
        items.push_back(std::move(item));
    }
    const int readError = errno;
    ::closedir(d);
    if (readError != 0) {
        error = readError;
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
    ScanFolder(folder, list, options, totals, caption);
    const bool keepEmpty = options.filter != nullptr && options.filter->includesEmptyFolders();
    if (options.applyFilters && options.filter != nullptr && !keepEmpty) {
        totals.folders -= removeEmptyFolders(list);
    }
}

void FolderScanner::ScanFolder(const std::string &folder, TFilesList &list, const ScanOptions &options,
                               ScanTotals &totals, const std::string &caption)
{
    std::vector<DirItem> items;
    int error = 0;
    if (!m_reader.list(folder, items, error)) {
        m_unreadable.push_back(folder);
        if (m_callbacks.unreadable) {
            m_callbacks.unreadable(folder, error);
        }
        return;
    }
    const std::string shown = caption.empty() ? std::string() : caption + ": " + nameOf(folder) + "/";
    for (const DirItem &item : items) {
        if (!m_control.checkpoint()) {
            return;
        }
        if (item.kind == DirItem::Folder || isTempCopyName(item.name)) {
            continue;
        }
        if (m_callbacks.progress) {
            m_callbacks.progress(shown + item.name);
        }
        if (item.kind != DirItem::File) {
            if (m_callbacks.skippedSpecial) {
                m_callbacks.skippedSpecial(folder + item.name);
            }
            continue;
        }
        if (options.applyFilters && options.filter != nullptr && !options.filter->match(folder, item)) {
            continue;
        }
        list.FileAdd(folder + item.name, FileEntryInfo{item.size, item.mtimeNs, item.mode, false});
        totals.bytes += item.size;
        totals.files += 1;
    }
    if (!options.includeSubfolders) {
        return;
    }
    for (const DirItem &item : items) {
        if (!m_control.checkpoint()) {
            return;
        }
        if (item.kind != DirItem::Folder) {
            continue;
        }
        if (m_callbacks.progress) {
            m_callbacks.progress(shown + item.name);
        }
        const std::string sub = folder + item.name + "/";
        list.FileAdd(sub, FileEntryInfo{0, item.mtimeNs, item.mode, true});
        totals.folders += 1;
        if (options.noDescend.count(sub) == 0) {
            ScanFolder(sub, list, options, totals, caption);
        }
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
            std::string_view folder = list.path(static_cast<std::size_t>(i));
            bool holds = nextKept >= 0 && list.path(static_cast<std::size_t>(nextKept)).substr(0, folder.size()) == folder;
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
