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
    std::random_device rd;
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 6; ++i) {
            suffix += kChars[rd() % (sizeof kChars - 1)];
        }
        const std::string path = folder + "." + name + ".qvtmp-" + suffix;
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::close(fd);
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
    if (!m_path.empty() && !m_committed) {
        ::unlink(m_path.c_str());
    }
}

bool TempFile::commit(const std::string &target)
{
    if (::rename(m_path.c_str(), target.c_str()) != 0) {
        m_error = errno;
        return false;
    }
    m_committed = true;
    return true;
}

bool makeFolders(const std::string &path)
{
    if (path.empty()) {
        return true;
    }
    std::string partial;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t slash = path.find('/', pos);
        partial = path.substr(0, slash == std::string::npos ? path.size() : slash);
        pos = slash == std::string::npos ? path.size() + 1 : slash + 1;
        if (partial.empty()) {
            continue;
        }
        if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
