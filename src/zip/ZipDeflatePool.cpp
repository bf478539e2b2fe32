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
    : m_files(files), m_level(level), m_firstUnit(files.size() + 1, 0), m_pieces(files.size(), 0)
{
    wanted.resize(files.size(), false);
    for (std::size_t i = 0; i < files.size(); ++i) {
        m_firstUnit[i] = m_units.size();
        if (!wanted[i]) {
            continue;
        }
        const std::uint64_t size = files[i].size;
        if (Deflater::cutIntoPieces(size)) {
            const std::size_t pieces = static_cast<std::size_t>((size + Deflater::kPieceSize - 1) / Deflater::kPieceSize);
            m_pieces[i] = pieces;
            for (std::size_t p = 0; p < pieces; ++p) {
                const std::uint64_t offset = static_cast<std::uint64_t>(p) * Deflater::kPieceSize;
                m_units.push_back(Unit{i, p, std::min<std::uint64_t>(Deflater::kPieceSize, size - offset)});
            }
        } else {
            m_units.push_back(Unit{i, kWhole, size});
        }
    }
    m_firstUnit[files.size()] = m_units.size();
    m_state.assign(m_units.size(), State::Open);
    m_ready.resize(m_units.size());
    const int workers = std::max(0, threadsFor(threads) - 1);
    m_maxAhead = 1024 * static_cast<std::size_t>(workers) + 64;
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

std::size_t ZipDeflatePool::piecesOf(std::size_t index) const
{
    return index < m_pieces.size() ? m_pieces[index] : 0;
}

// Under the lock: the next unit a worker may deflate, within the window ahead of the writer.
bool ZipDeflatePool::claim(std::size_t &unit)
{
    while (m_scan < m_units.size() && m_state[m_scan] != State::Open) {
        ++m_scan;
    }
    if (m_scan >= m_units.size() || m_scan >= m_taken + m_maxAhead) {
        return false;
    }
    const std::uint64_t size = m_units[m_scan].length;
    if (m_bytesAhead > 0 && m_bytesAhead + size > m_maxBytes) {
        return false;
    }
    unit = m_scan++;
    m_state[unit] = State::Claimed;
    m_bytesAhead += size;
    return true;
}

// Under no lock: stores a unit's result unless the writer went past it meanwhile.
void ZipDeflatePool::finishUnit(std::size_t unit, std::unique_ptr<ZipDeflatedFile> result)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state[unit] == State::Claimed) {
            m_state[unit] = State::Done;
            m_ready[unit] = std::move(result);
        }
    }
    m_changed.notify_all();
}

void ZipDeflatePool::work()
{
    Deflater deflater;
    std::vector<std::uint8_t> buffer;
    for (;;) {
        std::size_t unit = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            bool claimed = false;
            m_changed.wait(lock, [&] {
                if (m_stop) {
                    return true;
                }
                claimed = claim(unit);
                return claimed || m_scan >= m_units.size();
            });
            if (!claimed) {
                return; // stopped, or nothing left to claim
            }
        }
        std::unique_ptr<ZipDeflatedFile> result;
        try {
            result = make(unit, deflater, buffer);
        } catch (const StopWork &) {
            return;
        } catch (...) {
            result.reset(); // the writer compresses it and reports what goes wrong
        }
        finishUnit(unit, std::move(result));
    }
}

std::unique_ptr<ZipDeflatedFile> ZipDeflatePool::make(std::size_t unit, Deflater &deflater,
                                                      std::vector<std::uint8_t> &buffer)
{
    const Unit &u = m_units[unit];
    return u.piece == kWhole ? deflateWhole(m_files[u.file], deflater) : deflatePiece(u, deflater, buffer);
}

namespace {

// Opens a file to deflate ahead and reads its identity; -1 when it is not a regular file.
int openSource(const std::string &path, struct stat &st, ZipDeflatedFile &result)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    result.dev = st.st_dev;
    result.ino = st.st_ino;
    result.size = static_cast<std::int64_t>(st.st_size);
    result.mtime = st.st_mtim;
    result.ctime = st.st_ctim;
    return fd;
}

struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
};

} // namespace

std::unique_ptr<ZipDeflatedFile> ZipDeflatePool::deflateWhole(const ZipPendingFile &file, Deflater &deflater)
{
    auto result = std::make_unique<ZipDeflatedFile>();
    struct stat st {};
    const int fd = openSource(file.path, st, *result);
    if (fd < 0) {
        return nullptr;
    }
    Closer closer{fd};
    if (Deflater::cutIntoPieces(static_cast<std::uint64_t>(st.st_size))) {
        return nullptr; // grown since it was listed: the writer cuts it into pieces itself
    }
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

std::unique_ptr<ZipDeflatedFile> ZipDeflatePool::deflatePiece(const Unit &unit, Deflater &deflater,
                                                              std::vector<std::uint8_t> &buffer)
{
    auto result = std::make_unique<ZipDeflatedFile>();
    struct stat st {};
    const int fd = openSource(m_files[unit.file].path, st, *result);
    if (fd < 0) {
        return nullptr;
    }
    Closer closer{fd};
    if (static_cast<std::uint64_t>(st.st_size) != m_files[unit.file].size) {
        return nullptr; // not the file that was planned: the writer deflates it itself
    }
    const std::uint64_t offset = static_cast<std::uint64_t>(unit.piece) * Deflater::kPieceSize;
    const std::size_t history = static_cast<std::size_t>(std::min<std::uint64_t>(Deflater::kPieceHistory, offset));
    const std::size_t length = static_cast<std::size_t>(unit.length);
    buffer.resize(history + length);
    for (std::size_t done = 0; done < buffer.size();) {
        const ssize_t got = ::pread(fd, buffer.data() + done, buffer.size() - done,
                                    static_cast<off_t>(offset - history + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return nullptr;
        }
        done += static_cast<std::size_t>(got);
    }
    if (m_stop) {
        throw StopWork{};
    }
    result->data.reserve(length / 2 + 64);
    result->crc = crc32(0, buffer.data() + history, length);
    const DeflateResult r = deflater.deflatePiece(
        m_level, buffer.data(), history, buffer.data() + history, length,
        [&](const std::uint8_t *out, std::size_t n) { result->data.insert(result->data.end(), out, out + n); });
    result->uncompressedSize = length;
    result->internalAttributes = r.internalAttributes;
    return result;
}

// Under the lock: results of units the writer went past without asking are freed.
void ZipDeflatePool::dropBefore(std::size_t unit)
{
    for (; m_taken < unit; ++m_taken) {
        if (m_state[m_taken] == State::Claimed || m_state[m_taken] == State::Done) {
            m_bytesAhead -= m_units[m_taken].length;
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
    const std::size_t unit = m_firstUnit[index];
    std::unique_ptr<ZipDeflatedFile> result;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        dropBefore(unit);
        if (unit == m_firstUnit[index + 1] || m_units[unit].piece != kWhole) {
            return nullptr;
        }
        waitHelping(lock, unit);
        result = std::move(m_ready[unit]);
        dropBefore(unit + 1);
    }
    m_changed.notify_all();
    return result;
}

// Under the lock: waits until no worker is making `unit`. The writer is one of the run's threads:
// while it waits it deflates the next units no worker has claimed yet, as a worker would.
void ZipDeflatePool::waitHelping(std::unique_lock<std::mutex> &lock, std::size_t unit)
{
    while (m_state[unit] == State::Claimed) {
        std::size_t other = 0;
        if (!claim(other)) {
            // Nothing to take until the writer moves on: only the unit waited for can change.
            m_changed.wait(lock, [&] { return m_state[unit] != State::Claimed; });
            return;
        }
        lock.unlock();
        if (!m_callerDeflater) {
            m_callerDeflater = std::make_unique<Deflater>();
        }
        std::unique_ptr<ZipDeflatedFile> made;
        try {
            made = make(other, *m_callerDeflater, m_callerBuffer);
        } catch (...) {
            made.reset(); // the writer compresses it itself when it gets there
        }
        lock.lock();
        if (m_state[other] == State::Claimed) {
            m_state[other] = State::Done;
            m_ready[other] = std::move(made);
        }
    }
}

std::unique_ptr<ZipDeflatedFile> ZipDeflatePool::takePiece(std::size_t index, std::size_t piece)
{
    if (index >= m_files.size() || piece >= m_pieces[index]) {
        return nullptr;
    }
    const std::size_t unit = m_firstUnit[index] + piece;
    std::unique_ptr<ZipDeflatedFile> result;
    bool makeHere = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        dropBefore(unit);
        if (m_state[unit] == State::Open) {
            m_state[unit] = State::Claimed;
            m_bytesAhead += m_units[unit].length;
            makeHere = true;
        }
    }
    if (makeHere) {
        if (!m_callerDeflater) {
            m_callerDeflater = std::make_unique<Deflater>();
        }
        std::unique_ptr<ZipDeflatedFile> made;
        try {
            made = deflatePiece(m_units[unit], *m_callerDeflater, m_callerBuffer);
        } catch (const StopWork &) {
            made.reset();
        }
        finishUnit(unit, std::move(made));
    }
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        waitHelping(lock, unit);
        result = std::move(m_ready[unit]);
        dropBefore(unit + 1);
    }
    m_changed.notify_all();
    return result;
}

} // namespace qv
