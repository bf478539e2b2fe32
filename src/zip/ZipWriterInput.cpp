// TZipWriter: turning the caller's list into the files of a run (literal pairs, FilesList items,
// wildcard searches) and the names they get in the archive.
#include "zip/ZipWriter.h"

#include "zip/ZipArchiveOutput.h"
#include "zip/ZipLib.h"
#include "zip/TDirSearch.h"
#include "zip/ZipMatch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>

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

std::string TZipWriter::storedNameFor(const std::string &path, bool folder) const
{
    const std::string clean = normalisePath(Store83Names ? ConvertPath(path, false, FileSystem()) : path);
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
        const std::string root =
            withSlash(normalisePath(Store83Names ? ConvertPath(m_rootDir, false, FileSystem()) : m_rootDir));
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
        ++m_missingInputs;
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
    if (mask.empty()) {
        return;
    }
    // The last component is the file mask; the folders before it may hold wildcards of their own
    // ("data/*/logs/*.log"), which the folder search resolves level by level.
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
    TDirSearch search(folder, pattern, recurse);
    std::int64_t found = 0;
    bool anyFile = false;
    for (std::string hit = search.NextFile(found); !hit.empty(); hit = search.NextFile(found)) {
        checkCancel();
        if (OnRecursingFile) {
            OnRecursingFile(hit);
        }
        if (hit.back() == '/') {
            if (recurse && AddDirEntriesOnRecurse) {
                addPending(hit, storedNameFor(hit, true), true, 0, false);
            }
            continue;
        }
        bool excluded = false;
        for (const std::string &exclude : ExcludeList) {
            excluded = excluded || zipMaskMatches(exclude, hit);
        }
        anyFile = true;
        uint64_t size = 0;
        if (!excluded && acceptFile(hit, false, size)) {
            addPending(hit, storedNameFor(hit, false), false, size, false);
        }
    }
    // A mask that selects no file at all is reported like a missing file: the caller asked for
    // something that is not there.
    if (!anyFile) {
        ++m_missingInputs;
        if (OnNoSuchFile) {
            OnNoSuchFile(item);
        }
    }
}

} // namespace qv
