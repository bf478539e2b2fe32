// Pure rules of the inotify watcher.
#include "platform/FolderWatcherRules.h"

#include <sys/inotify.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace qv::watchrules {

std::uint32_t structuralMask()
{
    return IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
           IN_EXCL_UNLINK;
}

std::uint32_t kernelMaskForKinds(FolderChangeKinds kinds)
{
    std::uint32_t mask = 0;
    if (kinds & (ChangeKind::kAttributes | ChangeKind::kSecurity)) {
        mask |= IN_ATTRIB;
    }
    if (kinds & (ChangeKind::kSize | ChangeKind::kLastWrite)) {
        mask |= IN_MODIFY | IN_CLOSE_WRITE;
    }
    if (kinds & ChangeKind::kLastAccess) {
        mask |= IN_ACCESS;
    }
    return mask;
}

FolderChangeKinds kindsOfEvent(std::uint32_t mask)
{
    const bool isDir = (mask & IN_ISDIR) != 0;
    const FolderChangeKinds name = isDir ? ChangeKind::kDirName : ChangeKind::kFileName;
    FolderChangeKinds kinds = 0;
    if (mask & IN_CREATE) {
        kinds |= name | ChangeKind::kCreation;
    }
    if (mask & (IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) {
        kinds |= name;
    }
    if (mask & IN_ATTRIB) {
        kinds |= ChangeKind::kAttributes | ChangeKind::kSecurity;
    }
    if (mask & (IN_MODIFY | IN_CLOSE_WRITE)) {
        kinds |= ChangeKind::kSize | ChangeKind::kLastWrite;
    }
    if (mask & IN_ACCESS) {
        kinds |= ChangeKind::kLastAccess;
    }
    return kinds;
}

FolderChangeKinds kindsOfFoundEntry(bool isFolder)
{
    return kindsOfEvent(IN_CREATE | (isFolder ? IN_ISDIR : 0u));
}

std::string childPath(const std::string &folder, const std::string &name)
{
    if (!folder.empty() && folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}


bool isNetworkFileSystemType(const std::string &type)
{
    static const char *const kKernel[] = {"nfs", "nfs4", "cifs", "smb3",  "smbfs", "ncpfs", "9p",
                                          "afs", "ceph", "coda", "davfs", "ocfs2", "gfs2",  "lustre"};
    static const char *const kFuse[] = {"sshfs",    "rclone",    "s3fs",       "gcsfuse", "goofys",
                                        "smbnetfs", "curlftpfs", "gvfsd-fuse", "davfs2",  "glusterfs",
                                        "cephfs",   "ceph-fuse", "afpfs",      "ftpfs"};
    for (const char *k : kKernel) {
        if (type == k) {
            return true;
        }
    }
    if (type.rfind("fuse.", 0) == 0) {
        const std::string sub = type.substr(5);
        for (const char *k : kFuse) {
            if (sub == k) {
                return true;
            }
        }
    }
    return false;
}

namespace {

// Mount points in mountinfo escape space, tab, newline and backslash as \ooo.
std::string unescapeMountField(const std::string &s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string oct = s.substr(i + 1, 3);
            if (oct.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::strtol(oct.c_str(), nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

bool isUnder(const std::string &path, const std::string &mountPoint)
{
    if (mountPoint == "/") {
        return true;
    }
    return path == mountPoint || (path.rfind(mountPoint, 0) == 0 && path.size() > mountPoint.size() &&
                                  path[mountPoint.size()] == '/');
}

} // namespace

std::string fileSystemTypeOf(const std::string &path, const std::string &mountInfo)
{
    std::istringstream in(mountInfo);
    std::string line;
    std::string bestType;
    std::size_t bestLength = 0;
    bool found = false;
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point options [optional fields] - type source options
        std::istringstream fields(line);
        std::vector<std::string> parts;
        std::string f;
        while (fields >> f) {
            parts.push_back(f);
        }
        std::size_t dash = 0;
        for (std::size_t i = 6; i < parts.size(); ++i) {
            if (parts[i] == "-") {
                dash = i;
                break;
            }
        }
        if (parts.size() < 5 || dash == 0 || dash + 1 >= parts.size()) {
            continue;
        }
        const std::string mountPoint = unescapeMountField(parts[4]);
        // Later mounts over the same point hide earlier ones, so ">=" keeps the last.
        if (isUnder(path, mountPoint) && (!found || mountPoint.size() >= bestLength)) {
            found = true;
            bestLength = mountPoint.size();
            bestType = parts[dash + 1];
        }
    }
    return bestType;
}

std::string networkFileSystemWarning(const std::string &folder)
{
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr) {
        return {};
    }
    std::ifstream in("/proc/self/mountinfo");
    if (!in) {
        return {};
    }
    std::stringstream text;
    text << in.rdbuf();
    const std::string type = fileSystemTypeOf(resolved, text.str());
    if (!isNetworkFileSystemType(type)) {
        return {};
    }
    return "The folder \"" + folder + "\" is on a network file system (" + type +
           "): changes made on this computer start the task, changes made on other computers do not.";
}

} // namespace qv::watchrules
