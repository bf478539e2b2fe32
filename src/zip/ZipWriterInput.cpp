// TZipWriter: turning the caller's list into the files of a run (literal pairs, FilesList items,
// wildcard searches) and the names they get in the archive.
#include "zip/ZipWriter.h"

#include "zip/ZipArchiveOutput.h"
#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

// Lexical clean-up of a path: no empty or "." components, ".." removes the component before it.
// The result keeps a leading "/" when the path had one.
std::string normalisePath(const std::string &path)
{
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        const size_t slash = std::min(path.find('/', i), path.size());
        const std::string part = path.substr(i, slash - i);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (path.empty() || path[0] != '/') {
                parts.push_back(part);
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = slash + 1;
    }
    std::string out = !path.empty() && path[0] == '/' ? "/" : "";
    for (size_t k = 0; k < parts.size(); ++k) {
        out += (k > 0 ? "/" : "") + parts[k];
    }
    return out;
}

std::string withSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

} // namespace

bool zipMaskMatches(const std::string &mask, const std::string &path)
{
    std::string subject = path;
    if (mask.find('/') == std::string::npos) {
        std::string trimmed = path;
        while (!trimmed.empty() && trimmed.back() == '/') {
            trimmed.pop_back();
        }
        const auto slash = trimmed.rfind('/');
        subject = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    }
    return IsMatch(mask, subject);
}

std::string TZipWriter::storedNameFor(const std::string &path, bool folder) const
{
    const std::string clean = normalisePath(path);
    std::string dir;
    std::string name;
    if (folder) {
        dir = withSlash(clean);
    } else {
        const auto slash = clean.rfind('/');
        dir = slash == std::string::npos ? std::string() : clean.substr(0, slash + 1);
        name = slash == std::string::npos ? clean : clean.substr(slash + 1);
    }
    if (!StorePaths) {
        if (!folder) {
            return name;
        }
        const std::string trimmed = dir.substr(0, dir.size() - 1);
        const auto slash = trimmed.rfind('/');
        return withSlash(slash == std::string::npos ? trimmed : trimmed.substr(slash + 1));
    }
    if (RelativePaths && !m_rootDir.empty()) {
        // The root matches only whole folders: "/data/" is a prefix of "/data/x", not "/data2/x".
        const std::string root = withSlash(normalisePath(m_rootDir));
        if (dir.compare(0, root.size(), root) == 0) {
            dir.erase(0, root.size());
        }
    }
    // Never store an absolute name: extracting it elsewhere must stay below the target folder.
    while (!dir.empty() && dir[0] == '/') {
        dir.erase(0, 1);
    }
    return dir + name;
}

void TZipWriter::addPending(const std::string &path, const std::string &storedName, bool folder, uint64_t size,
                            bool literal)
{
    if (storedName.empty() || storedName == "/") {
        return;
    }
    if (ZipAction == zaFreshen && m_oldNames.count(storedName) == 0) {
        return;
    }
    PendingFile f;
    f.path = path;
    f.storedName = storedName;
    f.folder = folder;
    f.size = size;
    f.literal = literal;
    m_totalBytes += static_cast<int64_t>(size);
    m_pending.push_back(std::move(f));
}

bool TZipWriter::acceptFile(const std::string &path, bool literal, uint64_t &size)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (OnNoSuchFile) {
            OnNoSuchFile(path);
        }
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        skipped(zsrNotRegular, path, -1, "not a regular file");
        return false;
    }
    if (isArchiveItself(st.st_dev, st.st_ino)) {
        if (literal) {
            skipped(zsrIsArchive, path, -1, "the archive is never added to itself");
        }
        return false;
    }
    if (SkipIfArchiveBitNotSet && ArchiveBitProbe && !ArchiveBitProbe(path)) {
        return false;
    }
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

void TZipWriter::expandFilesList()
{
    for (const PendingFile &pair : m_pairs) {
        uint64_t size = 0;
        if (pair.folder) {
            addPending(pair.path, pair.storedName, true, 0, true);
        } else if (acceptFile(pair.path, true, size)) {
            addPending(pair.path, pair.storedName, false, size, true);
        }
    }
    const std::string root = m_rootDir.empty() ? std::string() : withSlash(m_rootDir);
    for (const std::string &item : FilesList) {
        if (item.empty()) {
            continue;
        }
        if (HasWildcards(item)) {
            expandMask(item);
            continue;
        }
        const std::string path = item[0] == '/' ? item : root + item;
        if (item.back() == '/') {
            addPending(path, storedNameFor(path, true), true, 0, false);
            continue;
        }
        bool excluded = false;
        for (const std::string &mask : ExcludeList) {
            excluded = excluded || zipMaskMatches(mask, path);
        }
        uint64_t size = 0;
        if (!excluded && acceptFile(path, true, size)) {
            addPending(path, storedNameFor(path, false), false, size, false);
        }
    }
}

void TZipWriter::expandMask(const std::string &item)
{
    bool recurse = Recurse;
    size_t skip = 0;
    if (item[0] == '|') {
        recurse = false;
        skip = 1;
    } else if (item[0] == '>') {
        recurse = true;
        skip = 1;
    }
    const std::string mask(item.begin() + static_cast<long>(skip), item.end());
    const auto slash = mask.rfind('/');
    std::string folder;
    if (slash != std::string::npos) {
        folder = slash == 0 ? std::string("/") : mask.substr(0, slash);
    }
    const std::string pattern = slash == std::string::npos ? mask : mask.substr(slash + 1);
    if (folder.empty() || folder[0] != '/') {
        const std::string base = m_rootDir.empty() ? std::string(".") : m_rootDir;
        folder = folder.empty() ? base : withSlash(base) + folder;
    }
    walkFolder(folder, pattern, recurse);
}

void TZipWriter::walkFolder(const std::string &folder, const std::string &pattern, bool recurse)
{
    std::vector<std::string> names;
    if (DIR *dir = ::opendir(folder.c_str())) {
        while (dirent *e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                names.emplace_back(e->d_name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    const std::string base = withSlash(folder);
    for (const std::string &name : names) {
        checkCancel();
        const std::string path = base + name;
        struct stat lst;
        if (::lstat(path.c_str(), &lst) != 0) {
            continue;
        }
        if (S_ISDIR(lst.st_mode)) {
            if (recurse) {
                if (OnRecursingFile) {
                    OnRecursingFile(path + "/");
                }
                if (AddDirEntriesOnRecurse) {
                    addPending(path, storedNameFor(path, true), true, 0, false);
                }
                walkFolder(path, pattern, recurse);
            }
            continue;
        }
        // Symbolic links count when they lead to a regular file; folders behind links are not
        // entered, so a link loop cannot make the search endless.
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        if (!IsMatch(pattern, name)) {
            continue;
        }
        if (OnRecursingFile) {
            OnRecursingFile(path);
        }
        bool excluded = false;
        for (const std::string &mask : ExcludeList) {
            excluded = excluded || zipMaskMatches(mask, path);
        }
        uint64_t size = 0;
        if (!excluded && acceptFile(path, false, size)) {
            addPending(path, storedNameFor(path, false), false, size, false);
        }
    }
}

} // namespace qv
