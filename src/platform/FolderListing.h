// FolderListing: the entries of one folder as the system lists them, with a stat of each entry
// made relative to the open folder (no path is rebuilt per entry), for the scans of the backup runs.
#pragma once

#include "platform/FileStat.h"

#include <string>

namespace qv {

class FolderListing
{
public:
    FolderListing() = default;
    ~FolderListing();
    FolderListing(const FolderListing &) = delete;
    FolderListing &operator=(const FolderListing &) = delete;

    // Opens `folder` for listing; false with errno in `error`.
    bool open(const std::string &folder, int &error);
    // Opens the folder `folder` names (a descriptor of it, O_PATH will do) for listing; the
    // descriptor stays the caller's. False with errno in `error`.
    bool openAt(int folder, int &error);
    // The next entry's name ("." and ".." are skipped), or nullptr at the end of the listing or on
    // a read error (then `failed()` gives its errno). `isFolder` is true when the listing itself
    // says the entry is a folder (no stat needed); false means "look with stat()". The name stays
    // valid until the next call.
    const char *next(bool &isFolder);
    // The same; `isRegular` is true when the listing itself says the entry is a regular file.
    const char *next(bool &isFolder, bool &isRegular);
    int failed() const { return m_error; }
    // The entry `name` of the open folder: links followed and marked, as statEntry does.
    PathStat stat(const char *name) const;
    void close();

private:
    void *m_dir = nullptr; // DIR *
    int m_fd = -1;
    int m_error = 0;
};

} // namespace qv
