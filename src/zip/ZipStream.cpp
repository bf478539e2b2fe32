// Byte streams: plain POSIX file access with every call's result checked, and a memory stream.
#include "zip/ZipStream.h"

#include "zip/ZipErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

std::string systemErrorText(const std::string &what, const std::string &fileName, int err)
{
    return what + " \"" + fileName + "\": " + std::strerror(err);
}

std::string formatIndexText(const char *text, long long value)
{
    std::string s(text);
    const auto pos = s.find("%d");
    if (pos != std::string::npos) {
        s.replace(pos, 2, std::to_string(value));
    }
    return s;
}

std::int64_t TStream::Size()
{
    const std::int64_t pos = Seek(0, soCurrent);
    const std::int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::ReadBuffer(void *buffer, std::int64_t n)
{
    if (n > 0 && Read(buffer, n) != n) {
        throw EStreamError("Stream read error");
    }
}

void TStream::WriteBuffer(const void *buffer, std::int64_t n)
{
    if (n > 0 && Write(buffer, n) != n) {
        throw EStreamError("Stream write error");
    }
}

std::int64_t TStream::CopyFrom(TStream &source, std::int64_t n)
{
    if (n == 0) {
        source.Seek(0, soBeginning);
        n = source.Size();
    }
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(n, 1 << 16)) + 1);
    std::int64_t done = 0;
    while (done < n) {
        const std::int64_t want = std::min<std::int64_t>(n - done, static_cast<std::int64_t>(buf.size()));
        source.ReadBuffer(buf.data(), want);
        WriteBuffer(buf.data(), want);
        done += want;
    }
    return done;
}

TFileStream::TFileStream(const std::string &fileName, unsigned mode) : m_fileName(fileName)
{
    int flags = O_CLOEXEC;
    if (mode == fmCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    } else {
        switch (mode & 3u) {
        case fmOpenWrite:
            flags |= O_WRONLY;
            break;
        case fmOpenReadWrite:
            flags |= O_RDWR;
            break;
        default:
            flags |= O_RDONLY;
            break;
        }
    }
    do {
        m_fd = ::open(fileName.c_str(), flags, 0666);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        const int err = errno;
        throw EFOpenError(
            systemErrorText(mode == fmCreate ? "Cannot create file" : "Cannot open file", fileName, err));
    }
}

TFileStream::~TFileStream()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::int64_t TFileStream::Read(void *buffer, std::int64_t n)
{
    auto *p = static_cast<char *>(buffer);
    std::int64_t done = 0;
    while (done < n) {
        const ssize_t r =
            ::read(m_fd, p + done, static_cast<std::size_t>(std::min<std::int64_t>(n - done, 1 << 30)));
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EStreamError(systemErrorText("Cannot read file", m_fileName, errno));
        }
        if (r == 0) {
            break;
        }
        done += r;
    }
    return done;
}

std::int64_t TFileStream::Write(const void *buffer, std::int64_t n)
{
    const auto *p = static_cast<const char *>(buffer);
    std::int64_t done = 0;
    while (done < n) {
        const ssize_t r =
            ::write(m_fd, p + done, static_cast<std::size_t>(std::min<std::int64_t>(n - done, 1 << 30)));
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EStreamError(systemErrorText("Cannot write file", m_fileName, errno));
        }
        if (r == 0) {
            break;
        }
        done += r;
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, int origin)
{
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t r = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (r < 0) {
        throw EStreamError(systemErrorText("Cannot seek in file", m_fileName, errno));
    }
    return r;
}

std::int64_t TFileStream::Size()
{
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0) {
        throw EStreamError(systemErrorText("Cannot read the size of file", m_fileName, errno));
    }
    return st.st_size;
}

void TFileStream::Truncate(std::int64_t length)
{
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
        throw EStreamError(systemErrorText("Cannot set the size of file", m_fileName, errno));
    }
}

void TFileStream::Flush()
{
    if (::fsync(m_fd) != 0) {
        throw EStreamError(systemErrorText("Cannot flush file", m_fileName, errno));
    }
}

std::int64_t TMemoryStream::Read(void *buffer, std::int64_t n)
{
    const std::int64_t size = Size();
    if (n <= 0 || m_pos >= size) {
        return 0;
    }
    const std::int64_t count = std::min(n, size - m_pos);
    std::memcpy(buffer, m_data.data() + m_pos, static_cast<std::size_t>(count));
    m_pos += count;
    return count;
}

std::int64_t TMemoryStream::Write(const void *buffer, std::int64_t n)
{
    if (n <= 0) {
        return 0;
    }
    if (m_pos + n > Size()) {
        m_data.resize(static_cast<std::size_t>(m_pos + n));
    }
    std::memcpy(m_data.data() + m_pos, buffer, static_cast<std::size_t>(n));
    m_pos += n;
    return n;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, int origin)
{
    std::int64_t base = 0;
    if (origin == soCurrent) {
        base = m_pos;
    } else if (origin == soEnd) {
        base = Size();
    }
    const std::int64_t pos = base + offset;
    if (pos < 0) {
        throw EStreamError("Cannot seek before the start of a memory stream");
    }
    m_pos = pos;
    return m_pos;
}

} // namespace qv
