// What the copy engine needs to know about mounts: whether a folder's drive is missing, and
// whether a destination sits on a removable medium.
//
// A source folder at or below a mount point that the system's fstab lists but that is not mounted
// now is a disconnected drive: its mount point is then an empty folder of the parent file system,
// and an exact copy must not read that emptiness as "everything was deleted".
#pragma once

#include <string>
#include <vector>

namespace qv {

struct MountEntry {
    std::string mountPoint; // without a trailing "/" (except the root)
    std::string device;     // "major:minor"
    std::string source;     // the mounted device or file system name
    std::string root;       // the folder of the file system seen there ("/", or a bind mount's folder)
};

class MountTable
{
public:
    // Reads /proc/self/mountinfo and /etc/fstab (other files in tests).
    static MountTable system();
    // `removable` names mount points to treat as removable media (tests).
    static MountTable fromText(const std::string &mountinfo, const std::string &fstab,
                               const std::vector<std::string> &removable = {});

    // The fstab mount point that holds `path` and is not mounted now, or empty text.
    std::string missingMountFor(const std::string &path) const;
    // The fstab mount points at or below `folder` that are not mounted now.
    std::vector<std::string> missingMountsWithin(const std::string &folder) const;
    // The mount that holds `path` (the longest mount point containing it).
    const MountEntry *mountFor(const std::string &path) const;
    // The mount point when `path` lies on a removable medium, else empty text.
    std::string removableMountFor(const std::string &path) const;

    const std::vector<MountEntry> &mounts() const { return m_mounts; }

private:
    std::vector<MountEntry> m_mounts;
    std::vector<std::string> m_fstab;
    std::vector<std::string> m_removable;
};

// True when `path` equals `folder` or lies below it (whole components).
bool pathWithin(const std::string &path, const std::string &folder);

} // namespace qv
