// FolderListing: opendir/readdir with stats relative to the open folder.
#include "platform/FolderListing.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace qv {

FolderListing::~FolderListing()
{
    close();
}

bool FolderListing::open(const std::string &folder, int &error)
{
    close();
    DIR *d = ::opendir(folder.c_str());
    if (d == nullptr) {
        error = errno;
        return false;
    }
    m_dir = d;
    m_fd = ::dirfd(d);
    m_error = 0;
    return true;
}

bool FolderListing::openAt(int folder, int &error)
{
    close();
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    DIR *d = ::fdopendir(fd);
    if (d == nullptr) {
        error = errno;
        ::close(fd);
        return false;
    }
    m_dir = d;
    m_fd = fd;
    m_error = 0;
    return true;
}

const char *FolderListing::next(bool &isFolder)
{
    bool isRegular = false;
    return next(isFolder, isRegular);
}

const char *FolderListing::next(bool &isFolder, bool &isRegular)
{
    if (m_dir == nullptr) {
        return nullptr;
    }
    for (;;) {
        errno = 0;
        const struct dirent *e = ::readdir(static_cast<DIR *>(m_dir));
        if (e == nullptr) {
            m_error = errno;
            return nullptr;
        }
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) {
            continue;
        }
        isFolder = e->d_type == DT_DIR;
        isRegular = e->d_type == DT_REG;
        return e->d_name;
    }
}

PathStat FolderListing::stat(const char *name) const
{
    return statEntry(m_fd, name);
}

void FolderListing::close()
{
    if (m_dir != nullptr) {
        ::closedir(static_cast<DIR *>(m_dir));
        m_dir = nullptr;
        m_fd = -1;
    }
}

} // namespace qv
