// Deflating the files of a zip run ahead of the writer, on several threads.
#include "zip/ZipDeflatePool.h"

#include "zip/Crc32.h"
#include "zip/Deflate.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qv {

namespace {

struct StopWork {};

bool sameTime(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

bool ZipDeflatedFile::sameFile(const struct stat &st) const
{
    return st.st_dev == dev && st.st_ino == ino && static_cast<std::int64_t>(st.st_size) == size &&
           sameTime(st.st_mtim, mtime) && sameTime(st.st_ctim, ctime);
}

int ZipDeflatePool::threadsFor(int requested)
{
    return std::clamp(requested, 1, 64);
}

ZipDeflatePool::ZipDeflatePool(const std::vector<ZipPendingFile> &files, std::vector<bool> wanted, int level,
                               int threads, std::function<void()> workerStart)
    : m_files(files), m_wanted(std::move(wanted)), m_level(level), m_state(files.size(), State::Open),
      m_ready(files.size())
{
    const int workers = std::max(0, threadsFor(threads) - 1);
    m_wanted.resize(files.size(), false);
    m_maxAhead = 64 * static_cast<std::size_t>(workers) + 64;
    m_maxBytes = std::max<std::uint64_t>(128u << 20, static_cast<std::uint64_t>(workers) * (16u << 20));
    for (int i = 0; i < workers; ++i) {
        m_workers.emplace_back([this, workerStart] {
            if (workerStart) {
                workerStart();
            }
            work();
        });
    }
}

ZipDeflatePool::~ZipDeflatePool()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread &t : m_workers) {
        t.join();
    }
}

// Under the lock: the next file a worker may deflate, within the window ahead of the writer.
bool ZipDeflatePool::claim(std::size_t &index)
{
    while (m_scan < m_files.size() && (m_state[m_scan] != State::Open || !m_wanted[m_scan])) {
        ++m_scan;
    }
    if (m_scan >= m_files.size() || m_scan >= m_taken + m_maxAhead) {
        return false;
    }
    const std::uint64_t size = m_files[m_scan].size;
    if (m_bytesAhead > 0 && m_bytesAhead + size > m_maxBytes) {
        return false;
    }
    index = m_scan++;
    m_state[index] = State::Claimed;
    m_bytesAhead += size;
    return true;
}

void ZipDeflatePool::work()
{
    Deflater deflater;
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            bool claimed = false;
            m_changed.wait(lock, [&] {
                if (m_stop) {
                    return true;
                }
                claimed = claim(index);
                return claimed || m_scan >= m_files.size();
            });
            if (!claimed) {
                return; // stopped, or nothing left to claim
            }
        }
        std::unique_ptr<ZipDeflatedFile> result;
        try {
            result = deflate(m_files[index], deflater);
        } catch (const StopWork &) {
            return;
        } catch (...) {
            result.reset(); // the writer compresses it and reports what goes wrong
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_state[index] == State::Claimed) {
                m_state[index] = State::Done;
                m_ready[index] = std::move(result);
            }
        }
        m_changed.notify_all();
    }
}

std::unique_ptr<ZipDeflatedFile> ZipDeflatePool::deflate(const ZipPendingFile &file, Deflater &deflater)
{
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > kMaxFileSize) {
        return nullptr;
    }
    auto result = std::make_unique<ZipDeflatedFile>();
    result->dev = st.st_dev;
    result->ino = st.st_ino;
    result->size = static_cast<std::int64_t>(st.st_size);
    result->mtime = st.st_mtim;
    result->ctime = st.st_ctim;
    result->data.reserve(static_cast<std::size_t>(st.st_size) / 2 + 64);
    std::uint32_t crc = kCrc32Init;
    bool failed = false;
    const DeflateResult r = deflater.deflateFile(
        m_level,
        [&](std::uint8_t *buffer, std::size_t n) -> std::size_t {
            if (failed) {
                return 0;
            }
            if (m_stop) {
                throw StopWork{};
            }
            ssize_t got;
            do {
                got = ::read(fd, buffer, n);
            } while (got < 0 && errno == EINTR);
            if (got < 0) {
                failed = true;
                return 0;
            }
            crc = crc32UpdateRaw(crc, buffer, static_cast<std::size_t>(got));
            return static_cast<std::size_t>(got);
        },
        [&](const std::uint8_t *buffer, std::size_t n) { result->data.insert(result->data.end(), buffer, buffer + n); },
        true);
    if (failed) {
        return nullptr;
    }
    result->crc = ~crc;
    result->uncompressedSize = r.uncompressedSize;
    result->stored = r.stored;
    result->internalAttributes = r.internalAttributes;
    return result;
}

// Under the lock: results of files the writer went past without asking are freed.
void ZipDeflatePool::dropBefore(std::size_t index)
{
    for (; m_taken < index; ++m_taken) {
        if (m_state[m_taken] == State::Claimed || m_state[m_taken] == State::Done) {
            m_bytesAhead -= m_files[m_taken].size;
        }
        m_state[m_taken] = State::Passed;
        m_ready[m_taken].reset();
    }
}

std::unique_ptr<ZipDeflatedFile> ZipDeflatePool::take(std::size_t index)
{
    if (index >= m_files.size()) {
        return nullptr;
    }
    std::unique_ptr<ZipDeflatedFile> result;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        dropBefore(index);
        m_changed.wait(lock, [&] { return m_state[index] != State::Claimed; });
        result = std::move(m_ready[index]);
        dropBefore(index + 1);
    }
    m_changed.notify_all();
    return result;
}

} // namespace qv
