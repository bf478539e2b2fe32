// The file system calls behind the copy, and the read and write loops of the whole program.
#include "platform/FileIo.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace qv {
namespace {

FileIo g_system;
std::atomic<FileIo *> g_current{&g_system};

} // namespace

ssize_t FileIo::write(int fd, const void *data, std::size_t length)
{
    return ::write(fd, data, length);
}

int FileIo::close(int fd)
{
    return ::close(fd);
}

int FileIo::rename(const char *from, const char *to)
{
    return std::rename(from, to);
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

bool replaceFile(const std::string &path, const std::string &data, unsigned mode, int &error)
{
    const std::string temp = path + ".qvtmp-new";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, static_cast<mode_t>(mode));
    if (fd < 0) {
        error = errno;
        return false;
    }
    bool ok = writeAll(fd, data.data(), data.size(), error);
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
    }
    return ok;
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
