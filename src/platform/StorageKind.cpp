// Rotating disks, network and user-space file systems, told apart through statfs and /sys.
#include "platform/StorageKind.h"

#include "platform/TextFile.h"

#include <cstdlib>
#include <sys/statfs.h>

namespace qv {
namespace {

bool remoteOrUserSpaceType(unsigned long type)
{
    switch (type) {
    case 0x6969ul:     // nfs
    case 0x517Bul:     // smbfs
    case 0xFF534D42ul: // cifs
    case 0xFE534D42ul: // smb2
    case 0x65735546ul: // fuse
    case 0x01021997ul: // 9p
    case 0x00C36400ul: // ceph
    case 0x5346414Ful: // afs
    case 0x73757245ul: // coda
    case 0x47504653ul: // gpfs
        return true;
    default:
        return false;
    }
}

bool remoteOrUserSpace(const std::string &path)
{
    struct statfs sf;
    return ::statfs(path.c_str(), &sf) == 0 && remoteOrUserSpaceType(static_cast<unsigned long>(sf.f_type));
}

// "1", "0", or empty text when the file cannot be read.
std::string firstLine(const std::string &file)
{
    std::string text;
    readTextFile(file, text);
    return text.substr(0, text.find('\n'));
}

std::string resolved(const std::string &path)
{
    std::string result;
    if (char *real = ::realpath(path.c_str(), nullptr)) {
        result = real;
        std::free(real);
    }
    return result;
}

// The rotational flag of a block device's /sys folder; a partition has it in its disk's folder.
std::string rotationalFlag(const std::string &sysFolder)
{
    const std::string folder = resolved(sysFolder);
    if (folder.empty()) {
        return {};
    }
    std::string flag = firstLine(folder + "/queue/rotational");
    if (flag.empty()) {
        flag = firstLine(folder.substr(0, folder.rfind('/')) + "/queue/rotational");
    }
    return flag;
}

} // namespace

bool parallelWritesHelp(const std::string &path, const MountTable &mounts)
{
    if (remoteOrUserSpace(path)) {
        return false;
    }
    const MountEntry *mount = mounts.mountFor(path);
    if (mount == nullptr) {
        return true;
    }
    std::string flag;
    if (mount->source.rfind("/dev/", 0) == 0) {
        const std::string device = resolved(mount->source);
        if (!device.empty()) {
            flag = rotationalFlag("/sys/class/block/" + device.substr(device.rfind('/') + 1));
        }
    }
    if (flag.empty() && !mount->device.empty()) {
        flag = rotationalFlag("/sys/dev/block/" + mount->device);
    }
    return flag != "1";
}

bool isLocalFileSystem(int fd)
{
    struct statfs sf;
    return ::fstatfs(fd, &sf) == 0 && !remoteOrUserSpaceType(static_cast<unsigned long>(sf.f_type));
}

bool fileSystemSyncCoversFiles(int fd)
{
    return isLocalFileSystem(fd);
}

} // namespace qv
