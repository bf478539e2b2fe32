// The one file copy of the program: by blocks, cancellable, throttled, never losing the old copy.
//
// The data goes into a temporary file ".<name>.qvtmp-XXXXXXXX" created exclusively beside the
// destination; it gets the source's modification time (to the nanosecond), permission bits and
// attributes, and is renamed over the destination only when every byte is written and the file is
// closed without error. Any failure, a stop request or a full disk removes the temporary file and
// leaves the destination exactly as it was. The same-file test compares device and inode, so a
// symbolic or hard link to the source is never mistaken for another file and destroyed.
#include "core/util/FileUtils.h"

#include "platform/FileAttributes.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <new>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qv {
namespace {

constexpr std::int64_t kBlockSize = 0x40000;            // 256 KiB
constexpr std::int64_t kUnthrottledChunk = 4 * 1024 * 1024; // in-kernel copy step without a limit
const char kTempMarker[] = ".qvtmp-";
std::atomic<bool> g_kernelCopy{true};
constexpr std::size_t kTempRandomLength = 8;

class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    // Closes and reports the result of close() itself (a network file system reports late errors
    // there).
    int closeChecked()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int m_fd = -1;
};

std::string randomSuffix()
{
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 gen{std::random_device{}() ^
                                     static_cast<std::uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()))};
    std::string s;
    for (std::size_t i = 0; i < kTempRandomLength; ++i) {
        s += chars[gen() % (sizeof chars - 1)];
    }
    return s;
}

void splitPath(const std::string &path, std::string &folder, std::string &name)
{
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

class FileCopy
{
public:
    FileCopy(const std::string &source, const std::string &destination, const CopyProgressCallback &progress,
             const std::atomic<bool> *cancel, std::int64_t limit)
        : m_source(source), m_destination(destination), m_progress(progress), m_cancel(cancel), m_limit(limit)
    {
    }
    ~FileCopy() { discardTemp(); }

    std::uint32_t run(bool clearArchiveBit);

private:
    std::uint32_t openSource();
    std::uint32_t checkDestination();
    std::uint32_t createTemp();
    std::uint32_t copyData();
    std::uint32_t readWriteStep(std::int64_t &n);
    std::uint32_t finishTemp();
    bool cancelled(std::int64_t copied) const;
    bool throttle(std::int64_t copied, std::chrono::steady_clock::time_point start) const;
    void discardTemp();

    const std::string &m_source;
    const std::string &m_destination;
    const CopyProgressCallback &m_progress;
    const std::atomic<bool> *m_cancel;
    std::int64_t m_limit; // < 0: none
    Fd m_src;
    Fd m_tmp;
    struct stat m_srcStat = {};
    std::uint32_t m_srcAttrs = 0;
    std::string m_tempPath;
    std::unique_ptr<char[]> m_buffer;
    std::int64_t m_blockSize = kBlockSize;
};

std::uint32_t FileCopy::openSource()
{
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are copied.
    m_src.reset(::open(m_source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (m_src.get() < 0) {
        return static_cast<std::uint32_t>(errno);
    }
    if (::fstat(m_src.get(), &m_srcStat) != 0) {
        return static_cast<std::uint32_t>(errno);
    }
    if (S_ISDIR(m_srcStat.st_mode)) {
        return EISDIR;
    }
    if (!S_ISREG(m_srcStat.st_mode)) {
        return EINVAL;
    }
    // O_NONBLOCK has no effect on a regular file, so it can stay set.
    m_srcAttrs = FileAttributes::fromStat(m_source, m_srcStat);
    return 0;
}

std::uint32_t FileCopy::checkDestination()
{
    struct stat st;
    if (::stat(m_destination.c_str(), &st) == 0) {
        if (st.st_dev == m_srcStat.st_dev && st.st_ino == m_srcStat.st_ino) {
            return kCopyErrorSameFile;
        }
        if (S_ISDIR(st.st_mode)) {
            return EISDIR;
        }
    }
    return 0;
}

std::uint32_t FileCopy::createTemp()
{
    std::string folder;
    std::string name;
    splitPath(m_destination, folder, name);
    if (name.empty()) {
        return EISDIR;
    }
    const std::size_t room = NAME_MAX - 1 - (sizeof kTempMarker - 1) - kTempRandomLength;
    if (name.size() > room) {
        name.resize(room);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = folder + "/." + name + kTempMarker + randomSuffix();
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            // Held while the copy runs, so that a clean-up of stale temporary files (another run
            // writing into the same folder) leaves this one alone.
            ::flock(fd, LOCK_EX | LOCK_NB);
            m_tmp.reset(fd);
            m_tempPath = path;
            return 0;
        }
        if (errno != EEXIST) {
            return static_cast<std::uint32_t>(errno);
        }
    }
    return EEXIST;
}

bool FileCopy::cancelled(std::int64_t copied) const
{
    if (m_cancel != nullptr && m_cancel->load(std::memory_order_relaxed)) {
        return true;
    }
    return m_progress && !m_progress(copied, m_srcStat.st_size);
}

// Keeps the average rate since the start at or below the limit, sleeping in short slices so that a
// stop request is seen promptly. False when cancelled while waiting.
bool FileCopy::throttle(std::int64_t copied, std::chrono::steady_clock::time_point start) const
{
    using namespace std::chrono;
    const double rate = m_limit > 0 ? static_cast<double>(m_limit) : 1.0;
    const auto due = start + duration_cast<steady_clock::duration>(duration<double>(static_cast<double>(copied) / rate));
    for (;;) {
        auto now = steady_clock::now();
        if (now >= due) {
            return true;
        }
        std::this_thread::sleep_for(std::min<steady_clock::duration>(due - now, milliseconds(50)));
        if (cancelled(copied)) {
            return false;
        }
    }
}

std::uint32_t FileCopy::readWriteStep(std::int64_t &n)
{
    if (!m_buffer) {
        m_buffer.reset(new (std::nothrow) char[static_cast<std::size_t>(m_blockSize)]);
        if (!m_buffer) {
            return kCopyErrorOutOfMemory;
        }
    }
    ssize_t got;
    do {
        got = ::read(m_src.get(), m_buffer.get(), static_cast<std::size_t>(m_blockSize));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return static_cast<std::uint32_t>(errno);
    }
    n = got;
    std::int64_t done = 0;
    while (done < got) {
        ssize_t w = ::write(m_tmp.get(), m_buffer.get() + done, static_cast<std::size_t>(got - done));
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return static_cast<std::uint32_t>(errno);
        }
        done += w;
    }
    return 0;
}

std::uint32_t FileCopy::copyData()
{
    const bool limited = m_limit >= 0;
    if (limited && m_limit < kBlockSize) {
        m_blockSize = m_limit > 0 ? m_limit : 1;
    }
    const std::int64_t chunk = limited ? m_blockSize : kUnthrottledChunk;
    const auto start = std::chrono::steady_clock::now();
    bool inKernel = g_kernelCopy.load(std::memory_order_relaxed);
    std::int64_t copied = 0;
    for (;;) {
        std::int64_t n = 0;
        if (inKernel) {
            ssize_t r = ::copy_file_range(m_src.get(), nullptr, m_tmp.get(), nullptr, static_cast<std::size_t>(chunk), 0);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r == 0 && copied >= m_srcStat.st_size) {
                return 0;
            }
            if (r <= 0) {
                // Not offered here, or an end before the size the file had: go on with read and
                // write from the same file positions, which find the real end.
                if (r < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                    errno != EBADF && errno != ETXTBSY) {
                    return static_cast<std::uint32_t>(errno);
                }
                inKernel = false;
                continue;
            }
            n = r;
        } else if (std::uint32_t err = readWriteStep(n); err != 0) {
            return err;
        }
        if (n == 0) {
            return 0;
        }
        copied += n;
        if (cancelled(copied)) {
            return kCopyErrorCancelled;
        }
        if (limited && !throttle(copied, start)) {
            return kCopyErrorCancelled;
        }
    }
}

std::uint32_t FileCopy::finishTemp()
{
    struct timespec times[2] = {m_srcStat.st_atim, m_srcStat.st_mtim};
    if (::futimens(m_tmp.get(), times) != 0) {
        return static_cast<std::uint32_t>(errno);
    }
    mode_t mode = m_srcStat.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO | S_ISVTX);
    if (::fchmod(m_tmp.get(), mode) != 0) {
        return static_cast<std::uint32_t>(errno);
    }
    if ((m_srcAttrs & faArchive) == 0) {
        // The copy carries a cleared archive attribute like its source; a file system that cannot
        // keep the mark shows the copy as "to be archived", which is harmless.
        int err = 0;
        if (!FileAttributes::writeFd(m_tmp.get(), m_srcAttrs, &err) && err != ENOTSUP && err != EOPNOTSUPP) {
            return static_cast<std::uint32_t>(err);
        }
    }
    if (m_tmp.closeChecked() != 0) {
        return static_cast<std::uint32_t>(errno);
    }
    if (::rename(m_tempPath.c_str(), m_destination.c_str()) != 0) {
        return static_cast<std::uint32_t>(errno);
    }
    m_tempPath.clear();
    return 0;
}

void FileCopy::discardTemp()
{
    m_tmp.reset();
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

std::uint32_t FileCopy::run(bool clearArchiveBit)
{
    std::uint32_t err = openSource();
    if (err == 0) {
        err = checkDestination();
    }
    if (err == 0) {
        err = createTemp();
    }
    if (err == 0) {
        err = copyData();
    }
    if (err == 0) {
        err = finishTemp();
    }
    if (err != 0) {
        discardTemp();
        return err;
    }
    if (clearArchiveBit && (m_srcAttrs & faArchive) != 0) {
        // The mark names the source as it was when the copy started: if it changed meanwhile, the
        // mark does not match and the file stays "to be archived" for the next run.
        int e = 0;
        if (!FileAttributes::markArchiveCleared(m_source, m_srcStat, &e) && e != ENOTSUP && e != EOPNOTSUPP) {
            return static_cast<std::uint32_t>(e);
        }
    }
    return 0;
}

} // namespace

bool CopyFileThrottled(const std::string &source, const std::string &destination, const CopyProgressCallback &progress,
                       const std::atomic<bool> *cancel, std::uint32_t &errorCode, bool clearArchiveBit,
                       std::int64_t bytesPerSecond)
{
    errorCode = kCopyErrorNone;
    try {
        FileCopy copy(source, destination, progress, cancel, bytesPerSecond);
        errorCode = copy.run(clearArchiveBit);
    } catch (const std::bad_alloc &) {
        errorCode = kCopyErrorOutOfMemory;
    } catch (...) {
        errorCode = EIO;
    }
    return errorCode == kCopyErrorNone;
}

void detail::setKernelCopyEnabled(bool enabled)
{
    g_kernelCopy.store(enabled);
}

bool IsCopyTempFileName(const std::string &name)
{
    if (name.size() < 1 + (sizeof kTempMarker - 1) + kTempRandomLength || name[0] != '.') {
        return false;
    }
    std::string::size_type marker = name.size() - kTempRandomLength - (sizeof kTempMarker - 1);
    if (name.compare(marker, sizeof kTempMarker - 1, kTempMarker) != 0) {
        return false;
    }
    for (std::size_t i = name.size() - kTempRandomLength; i < name.size(); ++i) {
        char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return true;
}

int RemoveStaleCopyTempFiles(const std::string &folder)
{
    int removed = 0;
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) {
        return 0;
    }
    DIR *dir = ::fdopendir(dfd);
    if (dir == nullptr) {
        ::close(dfd);
        return 0;
    }
    while (struct dirent *e = ::readdir(dir)) {
        if (!IsCopyTempFileName(e->d_name)) {
            continue;
        }
        Fd fd(::openat(dfd, e->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat st;
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        // A copy still running holds its lock on the file.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        if (::unlinkat(dfd, e->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

} // namespace qv
