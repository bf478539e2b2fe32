// The file system calls behind the copy, and the read and write loops of the whole program.
#include "platform/FileIo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qv {
namespace {

FileIo g_system;
std::atomic<FileIo *> g_current{&g_system};

const char kTempMarker[] = ".qvtmp-";
constexpr std::size_t kTempMarkerLength = sizeof kTempMarker - 1;
constexpr std::size_t kTempRandomLength = 8;

constexpr std::size_t kTempSealLength = 4; // of the 8: the seal over the name before it
const char kTempLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::uint64_t kTempLetterCount = sizeof kTempLetters - 1;

// The last letters of a temporary file's name, drawn from all that comes before them (the name,
// the marker and the random letters): a file a user named like one rarely has them (one in
// 62^4), and renamed it has them no more.
std::string tempSeal(std::string_view before)
{
    std::uint64_t h = 0xcbf29ce484222325ULL; // FNV-1a, 64 bits
    for (const char c : std::string_view("quorvellant temporary file")) {
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    for (const char c : before) {
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    std::string s(kTempSealLength, '0');
    for (char &c : s) {
        c = kTempLetters[h % kTempLetterCount];
        h /= kTempLetterCount;
    }
    return s;
}

std::string randomLetters()
{
    thread_local std::mt19937_64 gen{
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()))};
    std::uint64_t v = gen();
    std::string s(kTempRandomLength - kTempSealLength, '0');
    for (char &c : s) {
        c = kTempLetters[v % kTempLetterCount];
        v /= kTempLetterCount;
    }
    return s;
}

} // namespace

ssize_t FileIo::write(int fd, const void *data, std::size_t length)
{
    return ::write(fd, data, length);
}

int FileIo::close(int fd)
{
    return ::close(fd);
}

int FileIo::renameAt(int fromDir, const char *from, int toDir, const char *to)
{
    return ::renameat(fromDir, from, toDir, to);
}

int FileIo::fdatasync(int fd)
{
    return ::fdatasync(fd);
}

int FileIo::fsync(int fd)
{
    return ::fsync(fd);
}

int FileIo::openUnnamedAt(int dir, const char *folder)
{
    return ::openat(dir, folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
}

int FileIo::linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    return ::linkat(fromDir, from, toDir, to, flags);
}

FileIo &FileIo::current()
{
    return *g_current.load(std::memory_order_acquire);
}

FileIo *FileIo::install(FileIo *io)
{
    return g_current.exchange(io != nullptr ? io : &g_system, std::memory_order_acq_rel);
}

ssize_t readSome(int fd, void *buffer, std::size_t length)
{
    for (;;) {
        ssize_t n = ::read(fd, buffer, length);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

bool writeAll(int fd, const void *data, std::size_t length, int &error)
{
    FileIo &io = FileIo::current();
    const char *p = static_cast<const char *>(data);
    while (length > 0) {
        ssize_t n = io.write(fd, p, length);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string tempNameBeside(const std::string &target)
{
    const std::string::size_type slash = target.rfind('/');
    const std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
    std::size_t nameLength = target.size() - start;
    if (nameLength == 0) {
        return {};
    }
    const std::size_t room = NAME_MAX - 1 - kTempMarkerLength - kTempRandomLength;
    nameLength = std::min(nameLength, room);
    std::string path;
    path.reserve(start + 1 + nameLength + kTempMarkerLength + kTempRandomLength);
    path.append(target, 0, start).append(1, '.').append(target, start, nameLength);
    path.append(kTempMarker).append(randomLetters());
    path.append(tempSeal(std::string_view(path).substr(start)));
    return path;
}

bool isCopyTempName(std::string_view name)
{
    if (name.size() < 2 + kTempMarkerLength + kTempRandomLength || name[0] != '.') {
        return false;
    }
    const std::size_t marker = name.size() - kTempRandomLength - kTempMarkerLength;
    if (name.compare(marker, kTempMarkerLength, kTempMarker) != 0) {
        return false;
    }
    const std::size_t seal = name.size() - kTempSealLength;
    return name.substr(seal) == tempSeal(name.substr(0, seal));
}

int createTempBeside(const std::string &target, std::string &tempPath, int &error)
{
    return createTempAt(AT_FDCWD, target, tempPath, error);
}

int createTempAt(int dir, const std::string &target, std::string &tempPath, int &error)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = tempNameBeside(target);
        if (path.empty()) {
            error = EISDIR;
            return -1;
        }
        const int fd =
            ::openat(dir, path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            tempPath = std::move(path);
            return fd;
        }
        if (errno != EEXIST) {
            error = errno;
            return -1;
        }
    }
    error = EEXIST;
    return -1;
}

bool syncFolder(const std::string &folder, int &error)
{
    return syncFolderAt(AT_FDCWD, folder.empty() ? "." : folder.c_str(), error);
}

bool syncFolderAt(int dir, const char *name, int &error)
{
    const int fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    const bool ok = FileIo::current().fsync(fd) == 0 || errno == EINVAL;
    if (!ok) {
        error = errno;
    }
    ::close(fd);
    return ok;
}

bool syncFolderOf(const std::string &path, int &error)
{
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return syncFolder(".", error);
    }
    return syncFolder(slash == 0 ? std::string("/") : path.substr(0, slash), error);
}

bool replaceFile(const std::string &path, const std::string &data, unsigned mode, int &error)
{
    std::string temp;
    const int fd = createTempBeside(path, temp, error);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, data.data(), data.size(), error);
    if (ok && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
        error = errno;
        ok = false;
    }
    if (ok && FileIo::current().fdatasync(fd) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        ::close(fd);
    } else if (!closeChecked(fd, error)) {
        ok = false;
    } else if (FileIo::current().rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    return syncFolderOf(path, error);
}

int openForReading(const std::string &path, int &error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = errno;
    }
    return fd;
}

int openForAppend(const std::string &path, int &error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
        error = errno;
    }
    return fd;
}

bool truncateFile(const std::string &path, int &error)
{
    if (::truncate(path.c_str(), 0) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool rewindFile(int fd)
{
    return ::lseek(fd, 0, SEEK_SET) == 0;
}

void closeReadOnly(int fd)
{
    ::close(fd);
}

bool closeChecked(int fd, int &error)
{
    // Linux releases the descriptor even when close() fails; repeating it would close another.
    if (FileIo::current().close(fd) != 0) {
        error = errno;
        return false;
    }
    return true;
}

} // namespace qv
