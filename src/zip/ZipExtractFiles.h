// File-system helpers of the extraction engine: the temporary file that becomes the target only
// when an entry proved good, folder creation, and the mode an extracted file gets. Every file and
// folder they make is made beneath the extraction folder (RootFolder): an entry never lands
// outside it through a symbolic link that stands in the target already.
#pragma once

#include "beneath/RootFolder.h"
#include "zip/ZipRecords.h"

#include <string>
#include <unordered_set>
#include <sys/types.h>

namespace qv {

// A temporary file ".<name>.qvtmp-XXXXXX" beside `target` (a path inside `root`), created
// exclusively in the target's folder opened beneath the root, so never through a link; open for
// writing until closeFile(); removed on destruction unless committed.
class TempFile
{
public:
    TempFile(const RootFolder &root, const std::string &target);
    ~TempFile();
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    bool ok() const { return !m_temp.empty(); }
    int error() const { return m_error; }
    int fd() const { return m_fd; }
    // Closes the descriptor; false (errno in error()) when the system reports a failed write.
    bool closeFile();
    // Renames the file to the target; false (errno in error()) when that fails. With `replace`
    // whatever stands there is replaced (a link too, never followed); without it nothing is, and
    // a target that exists fails with EEXIST.
    bool commit(bool replace);

private:
    int m_folder = -1;
    std::string m_name;
    std::string m_temp;
    int m_fd = -1;
    int m_error = 0;
    bool m_committed = false;
};

// Makes folders with their missing parents beneath the extraction root, never through a link, and
// remembers the folders it made or found, so that the files of one folder cost one check, not one
// per component of their path.
class FolderMaker
{
public:
    // True when `path` (inside `root`) is a folder afterwards; false with `error`: ELOOP when a
    // symbolic link stands on the way (its path in `link`), EXDEV for a path outside the root.
    bool make(const RootFolder &root, const std::string &path, int &error, std::string &link);

private:
    std::unordered_set<std::string> m_known;
};

// The mode of an extracted file, less `umask` and never writable by others: with `retain`, a Unix
// entry's permission bits (never setuid, setgid or sticky; 0644 for a symbolic link, which is
// extracted as a file holding the link's text) or 0666, less the write bits for the MS-DOS
// read-only attribute; without it 0666.
mode_t entryMode(const TZipHeaderInfo &entry, bool retain, mode_t umask);

} // namespace qv
