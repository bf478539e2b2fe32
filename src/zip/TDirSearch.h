// Folder search for the zip writer: the files below a start folder whose names match a mask.
//
// The start folder may itself hold wildcards ("/data/*/logs"): each component after the first
// wildcard selects the subfolders to enter at that level. Files are returned with their full
// path; when recursing, each subfolder is returned (with a trailing "/") as it is entered.
// Symbolic links to folders are not followed and special files are never returned, so a loop of
// links cannot trap the search. Entries come in name order, so a search is repeatable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

class TDirSearch
{
public:
    TDirSearch(const std::string &startFolder, const std::string &fileMask, bool recurse);
    ~TDirSearch();
    TDirSearch(const TDirSearch &) = delete;
    TDirSearch &operator=(const TDirSearch &) = delete;

    // The next match, or an empty text when the search is over. `size` receives a file's size
    // (0 for a folder).
    std::string NextFile(std::int64_t &size);

    // Deeper levels are not entered (the start folder is level 0).
    static constexpr int kMaxDepth = 256;

private:
    struct Level;
    bool openLevel(const std::string &folder);

    std::vector<std::unique_ptr<Level>> m_stack;
    std::string m_fileMask;
    bool m_recurse;
    std::vector<std::string> m_levelMasks; // per wildcard level
};

} // namespace qv
