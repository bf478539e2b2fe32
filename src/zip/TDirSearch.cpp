// Folder search over a stack of open folder listings.
#include "zip/TDirSearch.h"

#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace qv {

struct TDirSearch::Level
{
    std::string path; // ends in "/"
    std::vector<std::string> names;
    std::size_t next = 0;
};

TDirSearch::TDirSearch(const std::string &startFolder, const std::string &fileMask, bool recurse)
    : m_fileMask(fileMask.empty() ? "*" : fileMask), m_recurse(recurse)
{
    std::string start = startFolder.empty() ? "./" : startFolder;
    if (start.back() != '/') {
        start += '/';
    }
    std::string root = start;
    const std::size_t wild = start.find_first_of("*?<>|");
    if (wild != std::string::npos) {
        const std::size_t cut = start.rfind('/', wild);
        root = cut == std::string::npos ? "./" : start.substr(0, cut + 1);
        std::string rest = cut == std::string::npos ? start : start.substr(cut + 1);
        std::size_t pos = 0;
        while (pos < rest.size()) {
            const std::size_t slash = rest.find('/', pos);
            const std::string part = rest.substr(pos, slash - pos);
            if (!part.empty()) {
                m_levelMasks.push_back(part);
            }
            if (slash == std::string::npos) {
                break;
            }
            pos = slash + 1;
        }
    }
    openLevel(root);
}

TDirSearch::~TDirSearch() = default;

bool TDirSearch::openLevel(const std::string &folder)
{
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    auto level = std::make_unique<Level>();
    level->path = folder;
    while (const dirent *ent = ::readdir(dir)) {
        const std::string name = ent->d_name;
        if (name != "." && name != "..") {
            level->names.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(level->names.begin(), level->names.end());
    m_stack.push_back(std::move(level));
    return true;
}

std::string TDirSearch::NextFile(std::int64_t &size)
{
    size = 0;
    while (!m_stack.empty()) {
        Level &level = *m_stack.back();
        if (level.next >= level.names.size()) {
            m_stack.pop_back();
            continue;
        }
        const std::string name = level.names[level.next++];
        const std::string path = level.path + name;
        struct stat lst
        {
        };
        if (::lstat(path.c_str(), &lst) != 0) {
            continue;
        }
        const int depth = static_cast<int>(m_stack.size()) - 1;
        const bool inWildLevels = depth < static_cast<int>(m_levelMasks.size());
        if (S_ISDIR(lst.st_mode)) {
            if (depth + 1 > kMaxDepth) {
                continue;
            }
            if (inWildLevels) {
                if (IsMatch(m_levelMasks[static_cast<std::size_t>(depth)], name)) {
                    openLevel(path + "/");
                }
                continue;
            }
            if (m_recurse && openLevel(path + "/")) {
                return path + "/";
            }
            continue;
        }
        if (inWildLevels) {
            continue;
        }
        struct stat st
        {
        };
        if (S_ISLNK(lst.st_mode)) {
            if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
                continue;
            }
        } else if (S_ISREG(lst.st_mode)) {
            st = lst;
        } else {
            continue;
        }
        // A name without an extension also matches as if it ended in "." (so "*.*" takes it).
        if (IsMatch(m_fileMask, name) ||
            (name.find('.') == std::string::npos && IsMatch(m_fileMask, name + "."))) {
            size = st.st_size;
            return path;
        }
    }
    return {};
}

} // namespace qv
