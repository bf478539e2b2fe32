// The fault-injecting FileIo of the tests.
#include "platform/fake/FakeFileIo.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace qv {
namespace {

std::string pathOfFd(int fd)
{
    char buf[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// A name relative to a folder descriptor as a path, for the fragments to match.
std::string pathAt(int dir, const char *name)
{
    if (dir == AT_FDCWD || *name == '/') {
        return name;
    }
    return std::string_view(name) == "." ? pathOfFd(dir) : pathOfFd(dir) + "/" + name;
}

} // namespace

FakeFileIo::FakeFileIo() : m_previous(FileIo::install(this)) {}

FakeFileIo::~FakeFileIo()
{
    FileIo::install(m_previous);
}

void FakeFileIo::failClose(const std::string &fragment, int error, int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_close = {fragment, error, times};
}

void FakeFileIo::failRename(const std::string &fragment, int error, int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rename = {fragment, error, times};
}

void FakeFileIo::failWrite(const std::string &fragment, int error, int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_write = {fragment, error, times};
}

void FakeFileIo::failSync(const std::string &fragment, int error, int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sync = {fragment, error, times};
}

void FakeFileIo::failUnnamed(const std::string &fragment, int error, int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unnamed = {fragment, error, times};
}

void FakeFileIo::failLink(const std::string &fragment, int error, int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_link = {fragment, error, times};
}

void FakeFileIo::refuseLinkWays(bool descriptor, bool proc)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refuseDescriptor = descriptor;
    m_refuseProc = proc;
}

int FakeFileIo::injected() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_injected;
}

bool FakeFileIo::armed(const Fault &fault) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return fault.times > 0;
}

int FakeFileIo::take(Fault &fault, const std::string &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fault.times <= 0 || path.find(fault.fragment) == std::string::npos) {
        return 0;
    }
    --fault.times;
    ++m_injected;
    return fault.error;
}

ssize_t FakeFileIo::write(int fd, const void *data, std::size_t length)
{
    if (int error = armed(m_write) ? take(m_write, pathOfFd(fd)) : 0; error != 0) {
        errno = error;
        return -1;
    }
    return FileIo::write(fd, data, length);
}

int FakeFileIo::close(int fd)
{
    if (int error = armed(m_close) ? take(m_close, pathOfFd(fd)) : 0; error != 0) {
        FileIo::close(fd);
        errno = error;
        return -1;
    }
    return FileIo::close(fd);
}

int FakeFileIo::renameAt(int fromDir, const char *from, int toDir, const char *to)
{
    if (int error = armed(m_rename) ? take(m_rename, pathAt(fromDir, from)) : 0; error != 0) {
        errno = error;
        return -1;
    }
    return FileIo::renameAt(fromDir, from, toDir, to);
}

int FakeFileIo::fdatasync(int fd)
{
    if (int error = armed(m_sync) ? take(m_sync, pathOfFd(fd)) : 0; error != 0) {
        errno = error;
        return -1;
    }
    return FileIo::fdatasync(fd);
}

int FakeFileIo::fsync(int fd)
{
    if (int error = armed(m_sync) ? take(m_sync, pathOfFd(fd)) : 0; error != 0) {
        errno = error;
        return -1;
    }
    return FileIo::fsync(fd);
}

int FakeFileIo::openUnnamedAt(int dir, const char *folder)
{
    if (int error = armed(m_unnamed) ? take(m_unnamed, pathAt(dir, folder)) : 0; error != 0) {
        errno = error;
        return -1;
    }
    return FileIo::openUnnamedAt(dir, folder);
}

int FakeFileIo::linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const bool descriptor = (flags & AT_EMPTY_PATH) != 0 && *from == '\0';
        const bool proc = std::string_view(from).rfind("/proc/self/fd/", 0) == 0;
        if ((descriptor && m_refuseDescriptor) || (proc && m_refuseProc)) {
            errno = ENOENT;
            return -1;
        }
    }
    if (int error = armed(m_link) ? take(m_link, pathAt(toDir, to)) : 0; error != 0) {
        errno = error;
        return -1;
    }
    return FileIo::linkat(fromDir, from, toDir, to, flags);
}

} // namespace qv
