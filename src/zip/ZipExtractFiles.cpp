// File-system helpers of the extraction engine.
#include "zip/ZipExtractFiles.h"

#include "zip/ZipLib.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

TempFile::TempFile(const RootFolder &root, const std::string &target)
{
    std::string relative;
    if (!root.relativeOf(target, relative)) {
        m_error = EXDEV;
        return;
    }
    m_folder = root.openParent(relative, m_name, m_error);
    if (m_folder < 0) {
        return;
    }
    const std::string name = m_name.substr(0, 200);
    // One generator per thread, seeded once: the name need only be unlikely to exist, since the
    // file is created exclusively.
    thread_local std::mt19937_64 gen{std::random_device{}()};
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        std::uint64_t bits = gen();
        for (int i = 0; i < 6; ++i) {
            suffix += kChars[bits % (sizeof kChars - 1)];
            bits /= sizeof kChars - 1;
        }
        const std::string temp = "." + name + ".qvtmp-" + suffix;
        const int fd =
            ::openat(m_folder, temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            m_fd = fd;
            m_temp = temp;
            return;
        }
        if (errno != EEXIST) {
            m_error = errno;
            return;
        }
    }
    m_error = EEXIST;
}

TempFile::~TempFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (!m_temp.empty() && !m_committed) {
        ::unlinkat(m_folder, m_temp.c_str(), 0);
    }
    if (m_folder >= 0) {
        ::close(m_folder);
    }
}

bool TempFile::closeFile()
{
    if (m_fd < 0) {
        return true;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        m_error = errno;
        return false;
    }
    return true;
}

namespace {

// Renames `from` to `to` in one folder unless `to` exists (EEXIST). A file system that cannot
// rename that way does the same with a hard link; one without hard links either gets a look
// before an ordinary rename, the best it allows.
int renameNoReplace(int folder, const char *from, const char *to)
{
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return -1;
    }
    if (::linkat(folder, from, folder, to, 0) == 0) {
        ::unlinkat(folder, from, 0);
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) {
        return -1;
    }
    struct stat st;
    if (::fstatat(folder, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(folder, from, folder, to);
}

} // namespace

bool TempFile::commit(bool replace)
{
    if (!closeFile()) {
        return false;
    }
    const int rc = replace ? ::renameat(m_folder, m_temp.c_str(), m_folder, m_name.c_str())
                           : renameNoReplace(m_folder, m_temp.c_str(), m_name.c_str());
    if (rc != 0) {
        m_error = errno;
        return false;
    }
    m_committed = true;
    return true;
}

bool FolderMaker::make(const RootFolder &root, const std::string &given, int &error, std::string &link)
{
    std::string path = given;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (path.empty() || m_known.count(path) != 0) {
        return true;
    }
    std::string relative;
    if (!root.relativeOf(path, relative)) {
        error = EXDEV;
        return false;
    }
    if (!root.makeFolders(relative, 0777, error)) {
        if (error == ELOOP) {
            const std::string found = root.linkOnTheWay(relative);
            link = found.empty() ? path : root.pathOf(found);
        }
        return false;
    }
    m_known.insert(path);
    return true;
}

mode_t entryMode(const TZipHeaderInfo &e, bool retain, mode_t umask)
{
    mode_t mode = 0666;
    if (retain) {
        const std::uint32_t unixMode = e.ExternalAttributes >> 16;
        if (e.HostSystem() == 3 && unixMode != 0) {
            // A symbolic link is written as a plain file holding the link's text: its 0777 is the
            // link's own and says nothing about who may change the file.
            mode = (unixMode & S_IFMT) == S_IFLNK ? 0644 : static_cast<mode_t>(unixMode & 0777);
        }
        if ((e.ExternalAttributes & 0x01) != 0) {
            mode &= ~static_cast<mode_t>(0222);
        }
    }
    // Nobody else may change what came out of an archive, whatever the mask.
    return mode & ~umask & ~static_cast<mode_t>(S_IWOTH);
}

} // namespace qv
