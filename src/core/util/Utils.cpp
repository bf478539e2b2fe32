// Shared utilities: file CRC-32.
#include "core/util/Utils.h"

#include "zip/Crc32.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace qv {

bool GetFileCRC32(const std::string &fileName, std::uint32_t &crc)
{
    crc = 0;
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    constexpr std::size_t kReadSize = 256 * 1024;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[kReadSize]);
    Crc32 sum;
    bool complete = true;
    for (;;) {
        ssize_t n = ::read(fd, buf.get(), kReadSize);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            complete = false;
            break;
        }
        if (n == 0) {
            break;
        }
        sum.update(buf.get(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    crc = complete ? sum.value() : 0;
    return complete;
}

} // namespace qv
