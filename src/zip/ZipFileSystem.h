// What the zip library asks of the file system that holds a path: whether its medium is
// removable, its free space, its volume label, and the short (8.3) names of its entries.
//
// The library cannot use the program's Qt platform layer, so this small layer lives here: an
// interface with the Linux backend (System) and, in the tests, a fake. Only vfat keeps short
// names (the kernel reports them through VFAT_IOCTL_READDIR_BOTH); on any other file system a
// name has no short form and stays as written. Labels are read and set with the kernel's
// FS_IOC_GETFSLABEL and FS_IOC_SETFSLABEL, which every file system that has labels and supports
// changing them while mounted provides.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

class ZipFileSystem
{
public:
    virtual ~ZipFileSystem() = default;

    // True when the medium holding `path` (or its folder, for a file not yet there) is removable.
    virtual bool IsRemovable(const std::string &path) = 0;
    // The label of the file system holding `path`; false when it has none or cannot tell.
    virtual bool VolumeLabel(const std::string &path, std::string &label) = 0;
    // Sets it; false (with errno set) when the file system refuses.
    virtual bool SetVolumeLabel(const std::string &path, const std::string &label) = 0;
    // Bytes the user may still write on the file system holding `path` (or its folder); -1 when
    // it cannot tell.
    virtual std::int64_t FreeSpace(const std::string &path) = 0;
    // The short form of the last component of `path`, or empty when it has none.
    virtual std::string ShortName(const std::string &path) = 0;
    // The long form of the last component of `path` (which may be given by its short form), or
    // empty when no such entry exists.
    virtual std::string LongName(const std::string &path) = 0;

    // The Linux backend.
    static ZipFileSystem &System();
};

// Rebuilds `path` component by component. With `longNames` each component takes its long name
// and a component that does not exist is dropped; otherwise each takes its short name, or stays
// as written when it has none or does not exist. A leading "/" stays; the result ends in "/"
// only when `path` did.
std::string ConvertPath(const std::string &path, bool longNames, ZipFileSystem &fs);

} // namespace qv
