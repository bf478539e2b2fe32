// The CRC-32 of a whole file.
#include "platform/FileCrc.h"

#include "platform/FileIo.h"
#include "zip/Crc32.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qv {

namespace {

// `name` relative to `folder`, with the extra open `flags`.
bool crcOf(int folder, const char *name, int flags, std::uint32_t &crc)
{
    crc = 0;
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are read.
    int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    thread_local std::vector<unsigned char> buffer(256 * 1024);
    Crc32 sum;
    bool complete = true;
    for (;;) {
        ssize_t n = readSome(fd, buffer.data(), buffer.size());
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        sum.update(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    crc = complete ? sum.value() : 0;
    return complete;
}

} // namespace

bool fileCrc32(const std::string &path, std::uint32_t &crc)
{
    return crcOf(AT_FDCWD, path.c_str(), 0, crc);
}

bool fileCrc32At(int folder, const std::string &name, std::uint32_t &crc)
{
    return crcOf(folder, name.c_str(), O_NOFOLLOW, crc);
}

} // namespace qv
