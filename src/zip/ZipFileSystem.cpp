// The Linux backend of the zip library's file-system layer: sysfs for the removable flag,
// FS_IOC_GETFSLABEL/SETFSLABEL for labels, VFAT_IOCTL_READDIR_BOTH for short names.
#include "zip/ZipFileSystem.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace qv {

namespace {

std::string parentOf(const std::string &path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    const auto slash = p.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : p.substr(0, slash);
}

std::string lastOf(const std::string &path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// Opens the path, or the nearest folder above it that exists.
int openNearest(const std::string &path)
{
    std::string p = path.empty() ? "." : path;
    for (int i = 0; i < 64; ++i) {
        const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0 || p == "/" || p == ".") {
            return fd;
        }
        p = parentOf(p);
    }
    return -1;
}

bool readFlag(const std::string &file)
{
    std::ifstream in(file);
    int value = 0;
    return (in >> value) && value == 1;
}

class LinuxZipFileSystem : public ZipFileSystem
{
public:
    bool IsRemovable(const std::string &path) override
    {
        const int fd = openNearest(path);
        if (fd < 0) {
            return false;
        }
        struct stat st {};
        const bool ok = ::fstat(fd, &st) == 0;
        ::close(fd);
        if (!ok) {
            return false;
        }
        // The block device of the file system; a partition's flag is its disk's.
        const std::string dev = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                                std::to_string(minor(st.st_dev));
        char *real = ::realpath(dev.c_str(), nullptr);
        if (real == nullptr) {
            return false;
        }
        const std::string device = real;
        std::free(real);
        struct stat probe {};
        if (::stat((device + "/removable").c_str(), &probe) == 0) {
            return readFlag(device + "/removable");
        }
        return readFlag(parentOf(device) + "/removable");
    }

    bool VolumeLabel(const std::string &path, std::string &label) override
    {
        const int fd = openNearest(path);
        if (fd < 0) {
            return false;
        }
        char buffer[FSLABEL_MAX + 1] = {};
        const bool ok = ::ioctl(fd, FS_IOC_GETFSLABEL, buffer) == 0;
        ::close(fd);
        if (!ok) {
            return false;
        }
        label.assign(buffer, ::strnlen(buffer, FSLABEL_MAX));
        return !label.empty();
    }

    bool SetVolumeLabel(const std::string &path, const std::string &label) override
    {
        if (label.size() >= FSLABEL_MAX) {
            errno = EINVAL;
            return false;
        }
        const int fd = openNearest(path);
        if (fd < 0) {
            return false;
        }
        char buffer[FSLABEL_MAX] = {};
        std::memcpy(buffer, label.data(), label.size());
        const bool ok = ::ioctl(fd, FS_IOC_SETFSLABEL, buffer) == 0;
        const int err = errno;
        ::close(fd);
        errno = err;
        return ok;
    }

    std::int64_t FreeSpace(const std::string &path) override
    {
        const int fd = openNearest(path);
        if (fd < 0) {
            return -1;
        }
        struct statvfs vfs {};
        const bool ok = ::fstatvfs(fd, &vfs) == 0;
        ::close(fd);
        return ok ? static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize) : -1;
    }
    std::string ShortName(const std::string &path) override { return vfatNames(path).first; }

    std::string LongName(const std::string &path) override { return vfatNames(path).second; }

    // The short and the long name of a file on a vfat file system, as the kernel lists its folder;
    // both empty elsewhere or when the file is not found.
    static std::pair<std::string, std::string> vfatNames(const std::string &path)
    {
        const std::string name = lastOf(path);
        const int fd = ::open(parentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return {};
        }
        struct statfs fs {};
        std::pair<std::string, std::string> result;
        if (::fstatfs(fd, &fs) == 0 && fs.f_type == MSDOS_SUPER_MAGIC) {
            struct __fat_dirent entries[2];
            while (::ioctl(fd, VFAT_IOCTL_READDIR_BOTH, entries) > 0 && entries[0].d_reclen > 0) {
                const std::string shortName = entries[0].d_name;
                const std::string longName = entries[1].d_reclen > 0 ? entries[1].d_name : shortName;
                if (longName == name || shortName == name) {
                    result = {shortName, longName};
                    break;
                }
            }
        }
        ::close(fd);
        return result;
    }
};

} // namespace

ZipFileSystem &ZipFileSystem::System()
{
    static LinuxZipFileSystem system;
    return system;
}

std::string ConvertPath(const std::string &path, bool longNames, ZipFileSystem &fs)
{
    const bool absolute = !path.empty() && path[0] == '/';
    const bool trailing = path.size() > 1 && path.back() == '/';
    std::string done = absolute ? "/" : "";
    std::string lookup = absolute ? "/" : "";
    std::size_t pos = absolute ? 1 : 0;
    bool first = true;
    while (pos < path.size()) {
        const std::size_t slash = std::min(path.find('/', pos), path.size());
        const std::string part = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty()) {
            continue;
        }
        const std::string here = lookup + part;
        std::string name;
        if (part == "." || part == "..") {
            name = part;
        } else if (longNames) {
            name = fs.LongName(here);
        } else {
            name = fs.ShortName(here);
            if (name.empty()) {
                name = part;
            }
        }
        if (name.empty()) {
            lookup = here + "/";
            continue; // not there: dropped from the long form
        }
        done += (first ? "" : "/") + name;
        first = false;
        // The long form finds the next component on every file system; the short one on vfat.
        lookup = longNames ? done + "/" : here + "/";
    }
    if (trailing && !done.empty() && done.back() != '/') {
        done += '/';
    }
    return done;
}

} // namespace qv
