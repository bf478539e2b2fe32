// TLocalBackup: symbolic links met below the destination, its versions folder and the archive.
//
// Below a folder the user gave nothing follows a link (RootFolder): a link there, whoever made it,
// would let the run write, replace or delete outside the folder it was given. The folder roots
// themselves stay followed, since the user chose them.
//
// An exact copy makes the destination the mirror of its sources: a link where a source has a
// folder or a file is an obsolete entry, removed the way the task deletes (permanently, to the
// trash or into the deleted-files archive: the link itself, never what it points at), and the real
// entry takes its place. Every other mode leaves the link and everything through it alone, with
// one warning line naming it. In the versions folder and the archive, a link where a folder is
// needed is an error for the file it concerns; the file at the destination stays as it was.
#include "core/engine/LocalBackup.h"

#include "core/engine/BackupMessages.h"
#include "platform/PathText.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

bool TLocalBackup::destinationRootOpen(bool make)
{
    if (m_destinationRoot.isOpen()) {
        return true;
    }
    int error = 0;
    const std::string &root = m_snapshot->destinationRoot;
    return make ? m_destinationRoot.openMaking(root, 0777, error) : m_destinationRoot.open(root, error);
}

TLocalBackup::FolderLook TLocalBackup::lookBelowDestination(const std::string &relative, PendingCopy *p)
{
    if (!destinationRootOpen(false)) {
        return FolderLook::Missing; // no destination yet: made with the folder
    }
    int error = 0;
    if (m_destinationRoot.isFolder(relative, error)) {
        return FolderLook::Folder;
    }
    if (error == ELOOP) {
        const std::string link = m_destinationRoot.linkOnTheWay(relative);
        if (!link.empty() && !linkBelowDestination(m_destinationRoot.pathOf(link), p)) {
            return FolderLook::Refused;
        }
    }
    return FolderLook::Missing; // anything else in the way is reported by the making
}

bool TLocalBackup::linkBelowDestination(const std::string &link, PendingCopy *p)
{
    if (m_snapshot->taskType == BackupTaskType::ExactCopy) {
        say(p, kLogWarning, formatMessage(msg::LinkObsolete, {link}));
        return DeleteFileByKind(link);
    }
    NotDone(); // what the source has there is not copied
    if (m_linksWarned.insert(link).second) {
        say(p, kLogWarning, formatMessage(msg::LinkLeftAlone, {link}));
    }
    return false;
}

bool TLocalBackup::makeBelow(RootFolder &root, const std::string &rootPath, const std::string &folder,
                             int &error, std::string &link)
{
    std::string relative;
    if (!relativeTo(rootPath, folder, relative)) {
        return makeFolders(folder, error); // not below it: as the user gave it
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!root.isOpen() && !root.openMaking(rootPath, 0777, error)) {
            return false;
        }
        if (root.makeFolders(relative, 0777, error)) {
            return true;
        }
        if (error == ELOOP) {
            const std::string found = root.linkOnTheWay(relative);
            link = found.empty() ? folder : root.pathOf(found);
            return false;
        }
        if (error != ENOENT) {
            return false;
        }
        root.close(); // the root itself went away during the run: made again, once
    }
    return false;
}

bool TLocalBackup::fileLinkAtDestination(const std::string &destination, int folder, PendingCopy *p)
{
    struct stat st;
    const std::string at = folder != AT_FDCWD ? nameOf(destination) : destination;
    if (::fstatat(folder, at.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) {
        return true;
    }
    if (m_snapshot->taskType == BackupTaskType::ExactCopy) {
        say(p, kLogWarning, formatMessage(msg::LinkObsolete, {destination}));
        return DeleteFileByKind(destination);
    }
    NotDone();
    if (m_linksWarned.insert(destination).second) {
        say(p, kLogWarning, formatMessage(msg::LinkLeftAlone, {destination}));
    }
    return false;
}

OpenFolder::OpenFolder(std::string folderPath, int folderFd) : path(std::move(folderPath)), fd(folderFd)
{
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        dev = st.st_dev;
    }
}

OpenFolder::~OpenFolder()
{
    ::close(fd);
}

bool TLocalBackup::openDestinationFolder(PendingCopy &p, const std::string &folder)
{
    if (m_openFolder != nullptr && m_openFolder->path == folder) {
        p.folder = m_openFolder;
        return true;
    }
    std::string relative;
    if (!relativeTo(m_snapshot->destinationRoot, folder, relative)) {
        return true; // a synchronisation's way back into a source: by path, as the user gave it
    }
    int error = ENOENT;
    int fd = -1;
    for (int attempt = 0; attempt < 2 && fd < 0 && error == ENOENT; ++attempt) {
        if (attempt > 0) {
            // Gone since its check: made again, once.
            m_destination.noteGone(folder);
            if (!CreateFolder(folder, std::string(), &p)) {
                return false;
            }
        }
        if (destinationRootOpen(false)) {
            fd = m_destinationRoot.openBeneath(relative, O_PATH | O_DIRECTORY | O_CLOEXEC, 0, error);
        }
    }
    if (fd < 0) {
        NotDone();
        const std::string link = error == ELOOP ? m_destinationRoot.linkOnTheWay(relative) : std::string();
        const std::string text =
            link.empty()
                ? formatMessage(msg::FileCopyError, {p.source, p.destination, errnoText(error), error})
                : formatMessage(msg::LinkNotWrittenThrough, {m_destinationRoot.pathOf(link)});
        notify(&p, kLogError, akError, "CS", text);
        return false;
    }
    m_openFolder = std::make_shared<const OpenFolder>(folder, fd);
    p.folder = m_openFolder;
    return true;
}

} // namespace qv
