// The new archive while it is being written: temporary file, buffered writes, commit by rename.
#include "zip/ZipArchiveOutput.h"

#include "zip/ZipErrors.h"
#include "zip/ZipLib.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qv {

namespace {

constexpr size_t kBufferSize = 256 * 1024;
constexpr const char *kNotEnoughRoom = "Not enough room to write archive";

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

[[noreturn]] void raiseSystem(const std::string &what, const std::string &file, int err)
{
    if (err == ENOSPC || err == EDQUOT) {
        throw ENotEnoughRoom(kNotEnoughRoom);
    }
    throw EStreamError(systemErrorText(what, file, err));
}

mode_t currentUmask()
{
    return processUmask();
}

} // namespace

std::string ZipArchiveOutput::tempPrefix(const std::string &archivePath)
{
    // Appended piece by piece: GCC 12 at -O3 wrongly warns (stringop-overflow) about
    // `"literal" + temporary string`.
    std::string prefix = ".";
    prefix += nameOf(archivePath);
    prefix += ".KPZ";
    return prefix;
}

void ZipArchiveOutput::removeLeftovers(const std::string &archivePath)
{
    const std::string folder = folderOf(archivePath);
    const std::string prefix = tempPrefix(archivePath);
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    std::vector<std::string> stale;
    while (dirent *e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            stale.push_back(folder + "/" + name);
        }
    }
    ::closedir(dir);
    for (const std::string &path : stale) {
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            ::unlink(path.c_str());
        }
    }
}

int ZipArchiveOutput::createTemp(const std::string &forPath, std::string &tempPath, const std::string &folder)
{
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::string base = (folder.empty() ? folderOf(forPath) : folder) + "/" + tempPrefix(forPath);
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            for (auto &r : random) {
                r = static_cast<unsigned char>(std::rand());
            }
        }
        std::string path = base;
        for (unsigned char r : random) {
            path += kChars[r % (sizeof kChars - 1)];
        }
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            tempPath = path;
            return fd;
        }
        if (errno != EEXIST) {
            const int err = errno;
            throw EFOpenError(systemErrorText("Cannot create the temporary archive", path, err));
        }
    }
    throw EFOpenError(systemErrorText("Cannot create the temporary archive", base, EEXIST));
}

mode_t ZipArchiveOutput::modeFor(const std::string &path)
{
    struct stat old;
    return ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~currentUmask());
}

void ZipArchiveOutput::syncFolderOf(const std::string &path)
{
    const int dirFd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

ZipArchiveOutput::ZipArchiveOutput(const std::string &archivePath, const std::string &tempFolder)
    : m_archivePath(archivePath)
{
    m_fd = createTemp(archivePath, m_tempPath, tempFolder);
    struct stat st;
    if (::fstat(m_fd, &st) == 0) {
        m_dev = st.st_dev;
        m_ino = st.st_ino;
    }
    m_buffer.reserve(kBufferSize);
}

ZipArchiveOutput::~ZipArchiveOutput()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (!m_committed && !m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
    }
}

void ZipArchiveOutput::writeAll(const uint8_t *data, size_t n)
{
    while (n > 0) {
        const ssize_t done = ::pwrite(m_fd, data, n, m_bufferStart);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            raiseSystem("Cannot write the temporary archive", m_tempPath, errno);
        }
        if (done == 0) {
            throw ENotEnoughRoom(kNotEnoughRoom);
        }
        data += done;
        n -= static_cast<size_t>(done);
        m_bufferStart += done;
    }
}

void ZipArchiveOutput::flushBuffer()
{
    if (!m_buffer.empty()) {
        const int64_t start = m_bufferStart;
        try {
            writeAll(m_buffer.data(), m_buffer.size());
        } catch (...) {
            m_bufferStart = start;
            m_buffer.clear();
            throw;
        }
        m_buffer.clear();
    }
}

std::int64_t ZipArchiveOutput::Write(const void *buffer, std::int64_t n)
{
    const auto *p = static_cast<const uint8_t *>(buffer);
    size_t left = static_cast<size_t>(n);
    while (left > 0) {
        if (m_buffer.size() == kBufferSize) {
            flushBuffer();
        }
        const size_t k = std::min(left, kBufferSize - m_buffer.size());
        m_buffer.insert(m_buffer.end(), p, p + k);
        p += k;
        left -= k;
    }
    return n;
}

std::int64_t ZipArchiveOutput::Read(void *buffer, std::int64_t n)
{
    flushBuffer();
    const ssize_t done = ::pread(m_fd, buffer, static_cast<size_t>(n), m_bufferStart);
    if (done < 0) {
        raiseSystem("Cannot read the temporary archive", m_tempPath, errno);
    }
    m_bufferStart += done;
    return done;
}

std::int64_t ZipArchiveOutput::Seek(std::int64_t offset, int origin)
{
    int64_t target = offset;
    if (origin == soCurrent) {
        target = Position() + offset;
    } else if (origin == soEnd) {
        target = Size() + offset;
    }
    if (target != Position()) {
        flushBuffer();
        m_bufferStart = target;
    }
    return target;
}

std::int64_t ZipArchiveOutput::Size()
{
    flushBuffer();
    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        raiseSystem("Cannot read the size of the temporary archive", m_tempPath, errno);
    }
    return std::max<int64_t>(st.st_size, m_bufferStart);
}

std::int64_t ZipArchiveOutput::readAt(std::int64_t pos, void *buffer, std::int64_t n)
{
    flushBuffer();
    auto *p = static_cast<std::uint8_t *>(buffer);
    std::int64_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(m_fd, p + done, static_cast<std::size_t>(n - done), pos + done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            raiseSystem("Cannot read the temporary archive", m_tempPath, errno);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void ZipArchiveOutput::keepAs(const std::string &path)
{
    truncateHere();
    if (::fchmod(m_fd, modeFor(m_archivePath)) != 0 || ::fsync(m_fd) != 0) {
        raiseSystem("Cannot write the temporary archive to the disk", m_tempPath, errno);
    }
    if (::rename(m_tempPath.c_str(), path.c_str()) != 0) {
        raiseSystem("Cannot keep the temporary archive as", path, errno);
    }
    m_committed = true;
    m_tempPath = path;
    syncFolderOf(path);
}

void ZipArchiveOutput::truncateHere()
{
    flushBuffer();
    if (::ftruncate(m_fd, m_bufferStart) != 0) {
        raiseSystem("Cannot truncate the temporary archive", m_tempPath, errno);
    }
}

void ZipArchiveOutput::commit()
{
    truncateHere();
    struct stat old;
    const bool existed = ::stat(m_archivePath.c_str(), &old) == 0;
    const mode_t mode = existed ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    if (existed) {
        // Keep the owner where we may (root updating someone's archive); failure is harmless.
        if (::fchown(m_fd, old.st_uid, old.st_gid) != 0) {
            errno = 0;
        }
    }
    if (::fchmod(m_fd, mode) != 0) {
        raiseSystem("Cannot set the mode of the temporary archive", m_tempPath, errno);
    }
    if (::fsync(m_fd) != 0) {
        raiseSystem("Cannot write the temporary archive to the disk", m_tempPath, errno);
    }
    if (::rename(m_tempPath.c_str(), m_archivePath.c_str()) != 0) {
        const int err = errno;
        throw EStreamError(systemErrorText("Cannot replace the archive with", m_tempPath, err));
    }
    m_committed = true;
    const int dirFd = ::open(folderOf(m_archivePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

namespace {

// A temporary file for one volume; removed unless it was renamed into place.
struct VolumeTemp
{
    std::string target;
    std::string path;
    int fd = -1;
    bool placed = false;
    ~VolumeTemp()
    {
        if (fd >= 0) {
            ::close(fd);
        }
        if (!placed && !path.empty()) {
            ::unlink(path.c_str());
        }
    }
};

// The configuration file is the last of the volumes written and the first put in place.
bool isConfig(const std::string &target)
{
    return target.size() > 4 && target.compare(target.size() - 4, 4, ".zfc") == 0;
}

[[noreturn]] void raiseVolume(const std::string &volume, int err)
{
    if (isConfig(volume)) {
        const std::string text = systemErrorText(ziptext::kCantSaveConfig, volume, err);
        if (err == ENOSPC || err == EDQUOT) {
            throw ENotEnoughRoom(text);
        }
        throw EStreamError(text);
    }
    if (err == ENOSPC || err == EDQUOT) {
        throw ENotEnoughRoom(std::string(kNotEnoughRoom) + " volume " + volume);
    }
    throw EStreamError(systemErrorText("Cannot write the archive volume", volume, err));
}

void writeVolumeBytes(VolumeTemp &v, const std::uint8_t *data, std::size_t n)
{
    while (n > 0) {
        const ssize_t k = ::write(v.fd, data, n);
        if (k < 0 && errno == EINTR) {
            continue;
        }
        if (k <= 0) {
            raiseVolume(v.target, k < 0 ? errno : ENOSPC);
        }
        data += k;
        n -= static_cast<std::size_t>(k);
    }
}

} // namespace

void ZipArchiveOutput::commitVolumes(const std::vector<std::int64_t> &starts, const std::vector<std::string> &names,
                                     const std::string &configName, const std::vector<std::uint8_t> &config)
{
    flushBuffer();
    const std::int64_t total = Size();
    struct stat old;
    const bool existed = ::stat(m_archivePath.c_str(), &old) == 0;
    const mode_t mode = existed ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    std::vector<std::unique_ptr<VolumeTemp>> temps;
    std::vector<std::uint8_t> piece(kBufferSize);
    for (std::size_t i = 1; i <= names.size(); ++i) {
        auto v = std::make_unique<VolumeTemp>();
        v->target = i < names.size() ? names[i] : configName;
        removeLeftovers(v->target);
        try {
            v->fd = createTemp(v->target, v->path);
        } catch (const EZipError &e) {
            if (!isConfig(v->target)) {
                throw;
            }
            throw EFOpenError(std::string(ziptext::kCantCreateConfig) + ": " + e.what());
        }
        if (i < names.size()) {
            std::int64_t pos = starts[i];
            const std::int64_t end = i + 1 < starts.size() ? starts[i + 1] : total;
            while (pos < end) {
                const ssize_t got =
                    ::pread(m_fd, piece.data(), static_cast<std::size_t>(std::min<std::int64_t>(end - pos, kBufferSize)), pos);
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                if (got <= 0) {
                    throw EStreamError(systemErrorText("Cannot read the temporary archive", m_tempPath, errno));
                }
                writeVolumeBytes(*v, piece.data(), static_cast<std::size_t>(got));
                pos += got;
            }
        } else {
            writeVolumeBytes(*v, config.data(), config.size());
        }
        if (::fchmod(v->fd, mode) != 0 || ::fsync(v->fd) != 0) {
            raiseVolume(v->target, errno);
        }
        temps.push_back(std::move(v));
    }
    m_bufferStart = starts.size() > 1 ? starts[1] : total;
    m_buffer.clear();
    truncateHere();
    for (auto it = temps.rbegin(); it != temps.rend(); ++it) {
        VolumeTemp &v = **it;
        if (::rename(v.path.c_str(), v.target.c_str()) != 0) {
            raiseVolume(v.target, errno);
        }
        v.placed = true;
    }
    commit();
}

} // namespace qv
