// The file operations of the backup threads: stat, staged copy, folders, CRC, sync.
#include "core/engine/BackupFileOps.h"

#include "core/util/FileUtils.h"
#include "zip/Crc32.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qv {

namespace {

constexpr std::int64_t kMaxBlock = 256 * 1024;
constexpr std::int64_t kRangeChunk = 8 * 1024 * 1024;
constexpr std::size_t kNameMax = 255;

std::int64_t toNs(const struct timespec &ts)
{
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool cancelled(const std::atomic<bool> *cancel)
{
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

std::string randomSuffix()
{
    thread_local std::mt19937_64 gen{std::random_device{}() ^
                                     static_cast<std::uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()))};
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s(8, '0');
    std::uint64_t v = gen();
    for (char &c : s) {
        c = digits[v % 36];
        v /= 36;
    }
    return s;
}

// Writes all of `len` bytes, looping over short writes.
bool writeAll(int fd, const char *data, std::size_t len, int &error)
{
    while (len > 0) {
        ssize_t n = ::write(fd, data, len);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        data += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

// Waits until `written` bytes fit the rate since `start`; false when cancelled meanwhile.
bool throttle(std::chrono::steady_clock::time_point start, std::int64_t written, std::int64_t limit,
              const std::atomic<bool> *cancel)
{
    using namespace std::chrono;
    const auto due = start + microseconds(written * 1000000 / limit);
    for (;;) {
        if (cancelled(cancel)) {
            return false;
        }
        auto now = steady_clock::now();
        if (now >= due) {
            return true;
        }
        std::this_thread::sleep_for(std::min<steady_clock::duration>(due - now, milliseconds(50)));
    }
}

// Copies by read/write in blocks, with the optional limit.
bool copyByBlocks(int in, int out, const std::atomic<bool> *cancel, std::int64_t limit, std::int64_t &written,
                  int &error)
{
    const std::int64_t block = (limit > 0 && limit < kMaxBlock) ? limit : kMaxBlock;
    thread_local std::vector<char> buffer;
    if (buffer.size() < static_cast<std::size_t>(block)) {
        buffer.resize(static_cast<std::size_t>(block));
    }
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        ssize_t n = ::read(in, buffer.data(), static_cast<std::size_t>(block));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (cancelled(cancel)) {
            error = kCopyCancelled;
            return false;
        }
        if (!writeAll(out, buffer.data(), static_cast<std::size_t>(n), error)) {
            return false;
        }
        written += n;
        if (limit > 0 && !throttle(start, written, limit, cancel)) {
            error = kCopyCancelled;
            return false;
        }
    }
}

// Copies in the kernel where the file systems allow it; `fellBack` tells the caller to use blocks.
bool copyByRange(int in, int out, const std::atomic<bool> *cancel, std::int64_t &written, int &error,
                 bool &fellBack)
{
    fellBack = false;
    for (;;) {
        if (cancelled(cancel)) {
            error = kCopyCancelled;
            return false;
        }
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<std::size_t>(kRangeChunk), 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (written == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                                 errno == EBADF)) {
                fellBack = true;
                return false;
            }
            error = errno;
            return false;
        }
        if (n == 0) {
            return true;
        }
        written += n;
    }
}

} // namespace

PathStat statPath(const std::string &path)
{
    PathStat r;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        r.error = errno;
        return r;
    }
    r.exists = true;
    r.isFolder = S_ISDIR(st.st_mode);
    r.isRegular = S_ISREG(st.st_mode);
    r.size = st.st_size;
    r.mtimeNs = toNs(st.st_mtim);
    r.atimeNs = toNs(st.st_atim);
    r.mode = st.st_mode;
    r.dev = st.st_dev;
    r.ino = st.st_ino;
    return r;
}

int compareTimes(std::int64_t aNs, std::int64_t bNs, bool coarse)
{
    if (coarse) {
        // Both into 2-second steps, odd seconds down to the even second below.
        auto step = [](std::int64_t ns) {
            std::int64_t s = ns >= 0 ? ns / 1000000000 : (ns - 999999999) / 1000000000;
            return s - (((s % 2) + 2) % 2);
        };
        std::int64_t a = step(aNs);
        std::int64_t b = step(bNs);
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    std::int64_t d = aNs - bNs;
    if (d > -1000000 && d < 1000000) {
        return 0;
    }
    return d < 0 ? -1 : 1;
}

bool hasCoarseTimes(const std::string &path)
{
    struct statfs sf;
    if (::statfs(path.c_str(), &sf) != 0) {
        return false;
    }
    const auto type = static_cast<unsigned long>(sf.f_type);
    return type == 0x4d44ul /* msdos, vfat */ || type == 0x2011BAB0ul /* exfat */;
}

std::string errnoText(int error)
{
    if (error == kCopyCancelled) {
        return "The operation was stopped.";
    }
    char buf[256];
    return std::string(strerror_r(error, buf, sizeof buf));
}

std::string folderOf(const std::string &path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    auto pos = p.rfind('/');
    return pos == std::string::npos ? std::string() : p.substr(0, pos + 1);
}

std::string nameOf(const std::string &path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    auto pos = p.rfind('/');
    return pos == std::string::npos ? p : p.substr(pos + 1);
}

std::string withoutSlash(const std::string &folder)
{
    std::string p = folder;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    return p;
}

bool makeFolders(const std::string &folder, int &error)
{
    std::string p = withoutSlash(folder);
    if (p.empty()) {
        error = ENOENT;
        return false;
    }
    struct stat st;
    if (::stat(p.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return true;
        }
        error = ENOTDIR;
        return false;
    }
    std::string parent = folderOf(p);
    if (!parent.empty() && parent != p + "/" && !makeFolders(parent, error)) {
        return false;
    }
    if (::mkdir(p.c_str(), 0777) != 0 && errno != EEXIST) {
        error = errno;
        return false;
    }
    return true;
}

bool copyFolderMeta(const std::string &source, const std::string &folder, int &error)
{
    struct stat st;
    if (::stat(withoutSlash(source).c_str(), &st) != 0) {
        error = errno;
        return false;
    }
    const std::string target = withoutSlash(folder);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::utimensat(AT_FDCWD, target.c_str(), times, 0) != 0) {
        error = errno;
        return false;
    }
    // The owner keeps the right to write into the copy, or nothing could be added to it later.
    if (::chmod(target.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool fileCrc32(const std::string &path, std::uint32_t &crc)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    thread_local std::vector<char> buffer(kMaxBlock);
    Crc32 sum;
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        sum.update(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    crc = sum.value();
    return ok;
}

bool deleteFile(const std::string &path, int &error)
{
    if (::unlink(path.c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool removeEmptyFolder(const std::string &folder, int &error)
{
    if (::rmdir(withoutSlash(folder).c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool folderIsEmpty(const std::string &folder, bool *readable)
{
    DIR *d = ::opendir(withoutSlash(folder).c_str());
    if (readable != nullptr) {
        *readable = d != nullptr;
    }
    if (d == nullptr) {
        return false;
    }
    bool empty = true;
    while (struct dirent *e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    return empty;
}

bool movePath(const std::string &from, const std::string &to, const std::atomic<bool> *cancel,
              std::int64_t bytesPerSecond, int &error)
{
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        error = errno;
        return false;
    }
    PathStat src = statPath(from);
    if (!src.isRegular) {
        error = EXDEV;
        return false;
    }
    StagedCopy copy;
    if (!copy.write(from, to, cancel, bytesPerSecond, error)) {
        return false;
    }
    if (copy.bytesWritten() != src.size) {
        error = EIO;
        return false;
    }
    if (!copy.commit(error)) {
        return false;
    }
    return deleteFile(from, error);
}

bool isTempCopyName(std::string_view name)
{
    return IsCopyTempFileName(std::string(name));
}

bool syncFileSystem(const std::string &path, int &error)
{
    int fd = ::open(withoutSlash(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    bool ok = ::syncfs(fd) == 0;
    if (!ok) {
        error = errno;
    }
    ::close(fd);
    return ok;
}

bool StagedCopy::write(const std::string &source, const std::string &destination, const std::atomic<bool> *cancel,
                       std::int64_t bytesPerSecond, int &error)
{
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = errno;
        discard();
        return false;
    }
    const bool ok = write(in, destination, nullptr, cancel, bytesPerSecond, error);
    ::close(in);
    return ok;
}

bool StagedCopy::write(int in, const std::string &destination, const PathStat *knownDestination,
                       const std::atomic<bool> *cancel, std::int64_t bytesPerSecond, int &error)
{
    discard();
    error = 0;
    m_written = 0;
    struct stat st;
    if (::fstat(in, &st) != 0) {
        error = errno;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    const PathStat dst = knownDestination != nullptr ? *knownDestination : statPath(destination);
    if (dst.exists && dst.dev == st.st_dev && dst.ino == st.st_ino) {
        error = EEXIST; // source and destination are the same file
        return false;
    }
    std::string name = nameOf(destination);
    if (name.size() + 18 > kNameMax) {
        name.resize(kNameMax - 18);
    }
    const std::string folder = folderOf(destination);
    int out = -1;
    for (int attempt = 0; attempt < 8 && out < 0; ++attempt) {
        m_temp = folder + "." + name + ".qvtmp-" + randomSuffix();
        out = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (out < 0 && errno != EEXIST) {
            break;
        }
    }
    if (out < 0) {
        error = errno;
        m_temp.clear();
        return false;
    }
    m_lockFd = out;
    m_destination = destination;
    ::flock(out, LOCK_EX | LOCK_NB); // marks the temporary file as live for other runs' clean-up

    bool ok = false;
    if (bytesPerSecond < 0 && st.st_size > 64 * 1024) {
        bool fellBack = false;
        ok = copyByRange(in, out, cancel, m_written, error, fellBack);
        if (!ok && fellBack) {
            ok = copyByBlocks(in, out, cancel, -1, m_written, error);
        }
    } else {
        ok = copyByBlocks(in, out, cancel, bytesPerSecond, m_written, error);
    }
    if (ok && cancelled(cancel)) {
        error = kCopyCancelled;
        ok = false;
    }
    if (ok) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::fchmod(out, st.st_mode & 07777) != 0 || ::futimens(out, times) != 0) {
            error = errno;
            ok = false;
        }
    }
    if (!ok) {
        discard();
    }
    return ok;
}

bool StagedCopy::commit(int &error)
{
    if (m_temp.empty()) {
        error = ENOENT;
        return false;
    }
    if (::rename(m_temp.c_str(), m_destination.c_str()) != 0) {
        error = errno;
        discard();
        return false;
    }
    m_temp.clear();
    bool ok = true;
    if (m_lockFd >= 0) {
        if (::close(m_lockFd) != 0) {
            error = errno;
            ok = false;
        }
        m_lockFd = -1;
    }
    return ok;
}

void StagedCopy::discard()
{
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

} // namespace qv
