// File-system helpers of the extraction engine.
#include "zip/ZipExtractFiles.h"

#include "zip/ZipLib.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

TempFile::TempFile(const std::string &target)
{
    const std::string folder = extractFilePath(target);
    const std::string name = extractFileName(target).substr(0, 200);
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
        const std::string path = folder + "." + name + ".qvtmp-" + suffix;
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            m_fd = fd;
            m_path = path;
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
    if (!m_path.empty() && !m_committed) {
        ::unlink(m_path.c_str());
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

bool TempFile::commit(const std::string &target)
{
    if (!closeFile()) {
        return false;
    }
    if (::rename(m_path.c_str(), target.c_str()) != 0) {
        m_error = errno;
        return false;
    }
    m_committed = true;
    return true;
}

namespace {

bool isFolder(const std::string &path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool FolderMaker::make(const std::string &given)
{
    std::string path = given;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (path.empty() || m_known.count(path) != 0) {
        return true;
    }
    bool made = ::mkdir(path.c_str(), 0777) == 0;
    if (!made && errno == ENOENT) {
        // A parent is missing: make it first, then try again.
        const std::size_t slash = path.find_last_of('/');
        if (slash != std::string::npos && slash > 0 && make(path.substr(0, slash))) {
            made = ::mkdir(path.c_str(), 0777) == 0;
        }
    }
    if (!made && (errno != EEXIST || !isFolder(path))) {
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
