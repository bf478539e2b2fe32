// Writes one new entry (a file or a folder) into the archive being built by a writer run.
#include "zip/ZipEntryWriter.h"

#include "zip/Crc32.h"
#include "zip/ZipArchiveOutput.h"
#include "zip/ZipErrors.h"
#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <ctime>

namespace qv {

namespace {

constexpr size_t kCopyPiece = 32768;
constexpr size_t kChecksumPiece = 8192;
constexpr uint64_t kMax32 = 0xFFFFFFFFull;
// A file this close to 4 GiB when it is opened gets a Zip64 field from the start, so that a
// little growth while it is read does not force it to be written twice.
constexpr uint64_t kZip64Margin = 1024 * 1024;
constexpr uint16_t kMadeByUnix = 0x0314; // host 3 (Unix), version 2.0
constexpr uint16_t kVersionNeeded = 20;

class FdCloser
{
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

private:
    int m_fd;
};

std::string baseName(const std::string &path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

} // namespace

ZipEntryWriter::ZipEntryWriter(ZipEntryHost &host)
    : m_host(host), m_readBuffer(kCopyPiece), m_scratch(std::max(kCopyPiece, Deflater::kOutputPiece))
{
}

void ZipEntryWriter::stampTime(TZipHeaderInfo &entry, int64_t modTime)
{
    entry.DateTime = unixToDosDateTime(modTime);
    entry.LocalExtra = extendedTimeField(modTime);
    entry.CentralExtra = entry.LocalExtra;
}

// Whether a file is to replace the entry made of it: another size always; else a later time, by
// the entry's extended timestamp (seconds, the same in every time zone and across a change of the
// clocks) where it has one, by its MS-DOS time (local time, two-second steps) where not.
bool ZipEntryWriter::changedSince(const struct stat &st, const TZipHeaderInfo &entry)
{
    if (static_cast<uint64_t>(st.st_size) != entry.UncompressedSize) {
        return true;
    }
    if (const std::optional<int64_t> entryTime = extendedModTime(entry.CentralExtra)) {
        return static_cast<int64_t>(st.st_mtime) > *entryTime;
    }
    return unixToDosDateTime(st.st_mtime) > repairDosDateTime(entry.DateTime);
}

uint32_t ZipEntryWriter::dosAttributes(const std::string &path, uint32_t mode, bool archiveBit)
{
    uint32_t attributes = 0;
    if ((mode & S_IWUSR) == 0) {
        attributes |= 0x01;
    }
    const std::string name = baseName(path);
    if (!name.empty() && name[0] == '.') {
        attributes |= 0x02;
    }
    if (S_ISDIR(mode)) {
        attributes |= 0x10;
    }
    if (archiveBit) {
        attributes |= 0x20;
    }
    return attributes;
}

bool ZipEntryWriter::isDuplicate(const std::string &storedName) const
{
    return m_host.hasEntry(storedName);
}

bool ZipEntryWriter::noCompress(const std::string &path) const
{
    for (const std::string &mask : m_options.noCompressList) {
        if (zipMaskMatches(mask, path)) {
            return true;
        }
    }
    return false;
}

bool ZipEntryWriter::addFolder(const TZipHeaderInfo &templ, const ZipPendingFile &file,
                               TZipHeaderInfo &entry)
{
    entry = templ;
    struct stat st {};
    uint32_t mode = S_IFDIR | 0755;
    int64_t mtime = static_cast<int64_t>(::time(nullptr));
    if (::stat(file.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        mode = st.st_mode;
        mtime = st.st_mtime;
    }
    stampTime(entry, mtime);
    entry.CompressionMethod = 0;
    entry.CRC32 = 0;
    entry.CompressedSize = entry.UncompressedSize = 0;
    entry.InternalAttributes = 0;
    entry.ExternalAttributes = dosAttributes(file.path, mode, true) | (mode << 16);
    if (isDuplicate(file.storedName)) {
        m_host.entrySkipped(zsrDuplicate, file.path, "another entry has the same name");
        return false;
    }
    bool skip = false;
    if (m_options.onStartZip) {
        m_options.onStartZip(file.path, entry, skip);
    }
    if (skip) {
        return false;
    }
    entry.SaveLocalToStream(m_host.entryOutput());
    if (m_options.onEndZip) {
        m_options.onEndZip(file.path, 0, 0, 0);
    }
    return true;
}

bool ZipEntryWriter::deflatesInAdvance(const ZipPendingFile &file) const
{
    return !file.folder && m_options.packLevel > 0 && m_options.password.empty() && !m_options.onEncrypt &&
           !noCompress(file.path);
}

bool ZipEntryWriter::addOneFile(const ZipPendingFile &file, TZipHeaderInfo &entry, const Ahead &given,
                                bool *usedReady)
{
    if (usedReady != nullptr) {
        *usedReady = false;
    }
    TZipHeaderInfo templ;
    templ.VersionMadeBy = kMadeByUnix;
    templ.VersionNeeded = kVersionNeeded;
    templ.SetFullName(file.storedName);
    if (file.folder) {
        return addFolder(templ, file, entry);
    }

    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT && m_options.onNoSuchFile) {
            m_options.onNoSuchFile(file.path);
        } else if (err != ENOENT) {
            m_host.entrySkipped(zsrFileOpenError, file.path, std::strerror(err));
        }
        return false;
    }
    FdCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_host.entrySkipped(zsrNotRegular, file.path, "not a regular file");
        return false;
    }
    if (m_host.isArchiveItself(st.st_dev, st.st_ino)) {
        m_host.entrySkipped(zsrIsArchive, file.path, "the archive is never added to itself");
        return false;
    }
    const bool archiveBit = m_options.archiveBitProbe ? m_options.archiveBitProbe(file.path) : true;
    entry = templ;
    stampTime(entry, st.st_mtime);
    entry.ExternalAttributes = dosAttributes(file.path, st.st_mode, archiveBit) | (static_cast<uint32_t>(st.st_mode) << 16);
    entry.InternalAttributes = 2;
    entry.ForceZip64 = static_cast<uint64_t>(st.st_size) >= kMax32 - kZip64Margin;
    if (isDuplicate(file.storedName)) {
        m_host.entryDropped(static_cast<int64_t>(file.size));
        m_host.entrySkipped(zsrDuplicate, file.path, "another entry has the same name");
        return false;
    }
    bool skip = false;
    if (m_options.onStartZip) {
        m_options.onStartZip(file.path, entry, skip);
    }
    if (skip) {
        return false;
    }

    const int level = std::clamp(m_options.packLevel, 0, 9);
    const bool compress = level > 0 && !noCompress(file.path);
    m_encrypt = !m_options.password.empty();
    m_currentPath = file.path;
    m_fileSize = static_cast<uint64_t>(st.st_size);
    m_openStat = st;
    Ahead ahead = given;
    const bool pieces = Deflater::cutIntoPieces(m_fileSize);
    if (!compress || m_encrypt || pieces || (ahead.whole != nullptr && !ahead.whole->sameFile(st))) {
        ahead.whole = nullptr; // the file changed since: deflated here instead
    }
    if (!compress || m_encrypt || !pieces || (ahead.pool != nullptr && ahead.pool->piecesOf(ahead.index) == 0)) {
        ahead.pool = nullptr;
    }
    ZipArchiveOutput &out = m_host.entryOutput();
    const int64_t start = out.Position();
    int crcFailures = 0;
    for (;;) {
        Attempt result;
        try {
            result = writeAttempt(fd, entry, start, compress, ahead);
        } catch (const ZipSourceReadError &e) {
            out.Seek(start, soBeginning);
            out.truncateHere();
            m_host.entrySkipped(zsrFileOpenError, file.path, std::strerror(e.error));
            return false;
        }
        if (result == Attempt::Done && !unchangedSinceOpen(fd)) {
            // Written while the file changed: the entry may mix two states of it. It is left
            // out, so that an update keeps the entry it had and the next run takes the file.
            out.Seek(start, soBeginning);
            out.truncateHere();
            m_host.entrySkipped(zsrChangedWhileRead, file.path, "the file changed while it was read");
            return false;
        }
        if (result == Attempt::Done) {
            break;
        }
        out.Seek(start, soBeginning);
        out.truncateHere();
        if (result == Attempt::NeedZip64) {
            entry.ForceZip64 = true;
        } else if (result == Attempt::AheadStale) {
            ahead = Ahead{}; // pieces made from another state of the file: deflated here instead
        } else if (++crcFailures == 2 || ::fstat(fd, &m_openStat) != 0) {
            m_host.entrySkipped(zsrChangedWhileRead, file.path, "the file changed while it was read");
            return false;
        } else {
            // Written again as the file is now: its time and size as they are now.
            stampTime(entry, m_openStat.st_mtime);
            m_fileSize = static_cast<uint64_t>(m_openStat.st_size);
            entry.ForceZip64 = entry.ForceZip64 || m_fileSize >= kMax32 - kZip64Margin;
        }
    }
    if (usedReady != nullptr) {
        *usedReady = ahead.whole != nullptr || ahead.pool != nullptr;
    }
    if (m_options.resetArchiveBit && m_options.archiveBitReset) {
        m_options.archiveBitReset(file.path);
    }
    if (m_options.onEndZip) {
        m_options.onEndZip(file.path, entry.UncompressedSize, entry.CompressedSize,
                         static_cast<uint64_t>(out.Position()));
    }
    return true;
}

// Whether the open file still shows the size, times and identity it had when it was opened.
bool ZipEntryWriter::unchangedSinceOpen(int fd) const
{
    struct stat now {};
    const auto same = [](const struct timespec &a, const struct timespec &b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return ::fstat(fd, &now) == 0 && now.st_dev == m_openStat.st_dev && now.st_ino == m_openStat.st_ino &&
           now.st_size == m_openStat.st_size && same(now.st_mtim, m_openStat.st_mtim) &&
           same(now.st_ctim, m_openStat.st_ctim);
}

ZipEntryWriter::Attempt ZipEntryWriter::writeAttempt(int fd, TZipHeaderInfo &entry, int64_t start, bool compress,
                                                     const Ahead &ahead)
{
    TStream &out = m_host.entryOutput();
    uint32_t firstCrc = 0;
    if (m_encrypt) {
        firstCrc = checksumPass(fd);
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        throw ZipSourceReadError{errno};
    }
    const int level = std::clamp(m_options.packLevel, 1, 9);
    uint16_t flags = static_cast<uint16_t>(entry.Flags & ~(kFlagEncrypted | 0x0006 | kFlagDescriptor));
    if (compress) {
        flags |= Deflater::flagBitsForLevel(level);
    }
    if (m_encrypt) {
        flags |= kFlagEncrypted;
    }
    entry.Flags = flags;
    entry.CompressionMethod = compress ? 8 : 0;
    entry.CRC32 = firstCrc;
    entry.CompressedSize = entry.UncompressedSize = 0;
    out.Seek(start, soBeginning);
    entry.SaveLocalToStream(out);
    const int64_t headerEnd = out.Position();

    m_crcRegister = kCrc32Init;
    m_fileDone = 0;
    m_written = 0;
    if (m_encrypt) {
        encryptHeader(firstCrc);
    }
    uint64_t dataIn = 0;
    if (ahead.whole != nullptr) {
        dataIn = writeReady(*ahead.whole, entry);
    } else if (ahead.pool != nullptr) {
        if (!writePieces(*ahead.pool, ahead.index, entry, dataIn)) {
            return Attempt::AheadStale;
        }
    } else if (compress && Deflater::cutIntoPieces(m_fileSize)) {
        const DeflateResult r = deflateInPieces(fd, level);
        dataIn = r.uncompressedSize;
        entry.InternalAttributes = r.internalAttributes;
    } else if (compress) {
        const DeflateResult r = m_deflater.deflateFile(
            level, [&](uint8_t *buffer, size_t n) { return readInput(fd, buffer, n); },
            [&](const uint8_t *buffer, size_t n) { emit(buffer, n); }, true);
        dataIn = r.uncompressedSize;
        entry.InternalAttributes = r.internalAttributes;
        if (r.stored) {
            entry.CompressionMethod = 0;
            entry.Flags = static_cast<uint16_t>(entry.Flags & ~0x0006);
        }
    } else {
        entry.InternalAttributes = 0;
        for (;;) {
            const size_t n = readInput(fd, m_readBuffer.data(), kCopyPiece);
            if (n == 0) {
                break;
            }
            dataIn += n;
            emit(m_readBuffer.data(), n);
        }
    }
    const uint32_t crc = ~m_crcRegister;
    if (m_encrypt && crc != firstCrc) {
        return Attempt::CrcChanged;
    }
    entry.CRC32 = crc;
    entry.UncompressedSize = dataIn;
    entry.CompressedSize = m_written;
    if (!entry.ForceZip64 && entry.NeedsZip64Local()) {
        return Attempt::NeedZip64;
    }
    const int64_t end = out.Position();
    out.Seek(start, soBeginning);
    entry.SaveLocalToStream(out);
    if (out.Position() != headerEnd) {
        throw EBadZipFile("local header changed its length while it was rewritten");
    }
    out.Seek(end, soBeginning);
    entry.RelativeOffset = static_cast<uint64_t>(start);
    return Attempt::Done;
}

// The data deflated in advance goes out as the encoder made it; the run's progress and cancel
// checks pass as if the file were read here, piece by piece.
uint64_t ZipEntryWriter::writeReady(const ZipDeflatedFile &ready, TZipHeaderInfo &entry)
{
    passReady(ready);
    m_crcRegister = ~ready.crc;
    entry.InternalAttributes = ready.internalAttributes;
    if (ready.stored) {
        entry.CompressionMethod = 0;
        entry.Flags = static_cast<uint16_t>(entry.Flags & ~0x0006);
    }
    return ready.uncompressedSize;
}

// The pieces of a large file, as the pool hands them over in order; false when one of them was
// made from another state of the file (nothing of the entry is then worth keeping).
bool ZipEntryWriter::writePieces(ZipDeflatePool &pool, std::size_t index, TZipHeaderInfo &entry, uint64_t &dataIn)
{
    const std::size_t pieces = pool.piecesOf(index);
    uint32_t crc = 0;
    dataIn = 0;
    for (std::size_t p = 0; p < pieces; ++p) {
        const std::unique_ptr<ZipDeflatedFile> piece = pool.takePiece(index, p);
        if (!piece || !piece->sameFile(m_openStat)) {
            return false;
        }
        if (p == 0) {
            entry.InternalAttributes = piece->internalAttributes;
        }
        passReady(*piece);
        crc = p == 0 ? piece->crc : crc32Combine(crc, piece->crc, piece->uncompressedSize);
        dataIn += piece->uncompressedSize;
    }
    emit(Deflater::kFinalBlock, sizeof Deflater::kFinalBlock);
    m_crcRegister = ~crc;
    return true;
}

// A large file read here and deflated in pieces, exactly as the pool's threads would cut it.
DeflateResult ZipEntryWriter::deflateInPieces(int fd, int level)
{
    m_pieceBuffer.resize(Deflater::kPieceHistory + Deflater::kPieceSize);
    uint8_t *buffer = m_pieceBuffer.data();
    const Deflater::WriteFn write = [&](const uint8_t *data, size_t n) { emit(data, n); };
    DeflateResult total;
    size_t history = 0;
    for (bool first = true;; first = false) {
        size_t got = 0;
        while (got < Deflater::kPieceSize) {
            const size_t n = readInput(fd, buffer + history + got, Deflater::kPieceSize - got);
            if (n == 0) {
                break;
            }
            got += n;
        }
        if (got == 0) {
            break;
        }
        const DeflateResult r = m_deflater.deflatePiece(level, buffer, history, buffer + history, got, write);
        if (first) {
            total.internalAttributes = r.internalAttributes;
        }
        total.uncompressedSize += got;
        const size_t keep = std::min(Deflater::kPieceHistory, history + got);
        std::memmove(buffer, buffer + history + got - keep, keep);
        history = keep;
        if (got < Deflater::kPieceSize) {
            break;
        }
    }
    emit(Deflater::kFinalBlock, sizeof Deflater::kFinalBlock);
    return total;
}

void ZipEntryWriter::passReady(const ZipDeflatedFile &ready)
{
    for (uint64_t done = 0; done < ready.uncompressedSize;) {
        const uint64_t k = std::min<uint64_t>(kCopyPiece, ready.uncompressedSize - done);
        done += k;
        m_fileDone += k;
        if (m_options.onFilePercentDone) {
            m_options.onFilePercentDone(percentOf(static_cast<int64_t>(m_fileDone), static_cast<int64_t>(m_fileSize)));
        }
        m_host.entryProgress(static_cast<int64_t>(k));
        m_host.checkCancel();
    }
    for (size_t at = 0; at < ready.data.size();) {
        const size_t k = std::min(kCopyPiece, ready.data.size() - at);
        emit(ready.data.data() + at, k);
        at += k;
    }
}

uint32_t ZipEntryWriter::checksumPass(int fd)
{
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        throw ZipSourceReadError{errno};
    }
    Crc32 crc;
    for (;;) {
        const ssize_t n = ::read(fd, m_readBuffer.data(), kChecksumPiece);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw ZipSourceReadError{errno};
        }
        if (n == 0) {
            break;
        }
        crc.update(m_readBuffer.data(), static_cast<size_t>(n));
        m_host.checkCancel();
    }
    return crc.value();
}

size_t ZipEntryWriter::readInput(int fd, uint8_t *buffer, size_t n)
{
    ssize_t got;
    do {
        got = ::read(fd, buffer, n);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        throw ZipSourceReadError{errno};
    }
    const size_t k = static_cast<size_t>(got);
    m_crcRegister = crc32UpdateRaw(m_crcRegister, buffer, k);
    m_fileDone += k;
    if (m_options.onFilePercentDone) {
        m_options.onFilePercentDone(percentOf(static_cast<int64_t>(m_fileDone), static_cast<int64_t>(m_fileSize)));
    }
    m_host.entryProgress(static_cast<int64_t>(k));
    m_host.checkCancel();
    return k;
}

void ZipEntryWriter::emit(const uint8_t *data, size_t n)
{
    if (m_encrypt) {
        while (n > 0) {
            const size_t k = std::min(n, m_scratch.size());
            std::memcpy(m_scratch.data(), data, k);
            if (m_options.onEncrypt) {
                m_options.onEncrypt(m_scratch.data(), k, m_options.password);
            } else {
                m_cipher.EncryptBuffer(m_scratch.data(), k);
            }
            m_host.entryOutput().WriteBuffer(m_scratch.data(), static_cast<int64_t>(k));
            m_written += k;
            data += k;
            n -= k;
        }
    } else {
        m_host.entryOutput().WriteBuffer(data, static_cast<int64_t>(n));
        m_written += n;
    }
    m_host.pollCancel();
}

void ZipEntryWriter::encryptHeader(uint32_t crc)
{
    if (m_options.onEncrypt) {
        // A custom cipher gets the plain header: random bytes, then the check bytes.
        std::array<uint8_t, kEncryptionHeaderSize> plain{};
        if (::getrandom(plain.data(), 10, 0) != 10) {
            for (size_t i = 0; i < 10; ++i) {
                plain[i] = static_cast<uint8_t>(std::rand() >> 7);
            }
        }
        plain[10] = static_cast<uint8_t>(crc >> 16);
        plain[11] = static_cast<uint8_t>(crc >> 24);
        m_options.onEncrypt(plain.data(), plain.size(), m_options.password);
        m_host.entryOutput().WriteBuffer(plain.data(), static_cast<int64_t>(plain.size()));
    } else {
        const std::array<uint8_t, kEncryptionHeaderSize> header = m_cipher.MakeHeader(m_options.password, crc);
        m_host.entryOutput().WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
    }
    m_written += kEncryptionHeaderSize;
}

} // namespace qv
