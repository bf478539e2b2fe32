// The file system calls behind the copy, and the read and write loops of the whole program.
#include "platform/FileIo.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
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
