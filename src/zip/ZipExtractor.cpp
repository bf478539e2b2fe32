// The extraction engine: selection, checks, decoding and the safe write of each entry.
#include "zip/ZipExtractor.h"

#include "zip/Crc32.h"
#include "zip/DecodeIO.h"
#include "zip/ZipCipher.h"
#include "zip/ZipExtractFiles.h"
#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

constexpr std::size_t kInputChunk = 32768;

// Compressed bytes of one entry, decrypted as they are read.
class ArchiveSource : public ByteSource
{
public:
    ArchiveSource(TZipReader &reader, std::uint64_t count, TZipCipher *cipher, bool stored)
        : m_reader(reader), m_stream(reader.ArchiveStream()), m_left(count), m_cipher(cipher),
          m_stored(stored)
    {
    }

    std::size_t fill(std::uint8_t *dst, std::size_t max) override
    {
        if (m_left == 0 || max == 0) {
            return 0;
        }
        m_reader.CheckCancel();
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>({max, kInputChunk, m_left}));
        if (m_stream.Read(dst, static_cast<std::int64_t>(n)) != static_cast<std::int64_t>(n)) {
            throw EFatalUnzipError(ziptext::kPrematureEnd);
        }
        m_left -= n;
        if (m_cipher != nullptr) {
            if (m_reader.OnDecrypt && !m_stored) {
                m_reader.OnDecrypt(dst, n, m_reader.Password);
            } else {
                m_cipher->DecryptBuffer(dst, n);
            }
        }
        return n;
    }

private:
    TZipReader &m_reader;
    TS_BufferStream &m_stream;
    std::uint64_t m_left;
    TZipCipher *m_cipher;
    bool m_stored;
};

const char *kDotDot = "..";

} // namespace

// Decoded bytes of one entry: size limit, CRC, progress, and the target.
class EntryOutput : public ByteSink
{
public:
    EntryOutput(ZipExtractor &engine, const TZipHeaderInfo &entry, TStream *out)
        : m_engine(engine), m_entry(entry), m_out(out)
    {
    }

    void write(const std::uint8_t *data, std::size_t n) override
    {
        if (n == 0) {
            return;
        }
        if (m_written + n > m_entry.UncompressedSize) {
            throw EBiggerThanUncompressed(ziptext::kBiggerThanUncompressed);
        }
        if (m_out != nullptr &&
            m_out->Write(data, static_cast<std::int64_t>(n)) != static_cast<std::int64_t>(n)) {
            throw ECantWriteUCF(ziptext::kCantWrite);
        }
        m_crc.update(data, n);
        m_written += n;
        m_engine.m_done += static_cast<std::int64_t>(n);
        TZipReader &r = m_engine.m_reader;
        if (r.OnFilePercentDone) {
            r.OnFilePercentDone(percentOf(static_cast<std::int64_t>(m_written),
                                          static_cast<std::int64_t>(m_entry.UncompressedSize)));
        }
        if (r.OnTotalPercentDone) {
            r.OnTotalPercentDone(percentOf(m_engine.m_done, m_engine.m_total));
        }
    }

    std::uint32_t crc() const { return m_crc.value(); }
    std::uint64_t written() const { return m_written; }

private:
    ZipExtractor &m_engine;
    const TZipHeaderInfo &m_entry;
    TStream *m_out;
    Crc32 m_crc;
    std::uint64_t m_written = 0;
};

std::string ZipExtractor::safeRelativePath(const std::string &name, bool dosHost)
{
    if (name.find('\0') != std::string::npos) {
        return {};
    }
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= name.size()) {
        const std::size_t slash = name.find('/', pos);
        const std::string part =
            name.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (part == kDotDot) {
            return {};
        }
        const bool drive = dosHost && parts.empty() && pos == 0 && part.size() == 2 && part[1] == ':' &&
                           std::isalpha(static_cast<unsigned char>(part[0]));
        if (!part.empty() && part != "." && !drive) {
            parts.push_back(part);
        }
        if (slash == std::string::npos) {
            break;
        }
        pos = slash + 1;
    }
    std::string out;
    for (const auto &p : parts) {
        out += out.empty() ? p : "/" + p;
    }
    return out;
}

int ZipExtractor::viewIndex(const TZipHeaderInfo *entry) const
{
    const auto it = m_viewIndex.find(entry);
    return it == m_viewIndex.end() ? -1 : it->second;
}

void ZipExtractor::skip(TSkipReason reason, const std::string &name, int index)
{
    if (m_reader.OnSkippingFile) {
        bool retry = false;
        m_reader.OnSkippingFile(reason, name, index, retry);
    }
}

void ZipExtractor::error(int index, const std::string &text)
{
    if (m_reader.OnError) {
        m_reader.OnError(index, text);
    }
}

void ZipExtractor::select()
{
    TSortedZip &dir = m_reader.Directory();
    bool anySelected = false;
    for (const TZipHeaderInfo *e : dir) {
        anySelected = anySelected || e->Selected;
    }
    std::vector<std::string> masks;
    for (const auto &m : m_reader.FilesList) {
        masks.push_back(asciiLower(m));
    }
    m_total = 0;
    for (TZipHeaderInfo *e : dir) {
        bool chosen = false;
        if (e->IsFolder() && !m_reader.RecreateDirs) {
            chosen = false;
        } else if (anySelected) {
            chosen = e->Selected || m_reader.DoAll;
        } else if (m_reader.DoAll) {
            chosen = true;
        } else {
            const std::string name = asciiLower(e->FullName());
            chosen = std::any_of(masks.begin(), masks.end(),
                                 [&](const std::string &m) { return IsMatch(m, name); });
        }
        e->Selected = false;
        e->Matched = chosen;
        if (chosen) {
            // Sizes are the archive's word: the total saturates instead of overflowing.
            const auto size =
                static_cast<std::int64_t>(std::min<std::uint64_t>(e->UncompressedSize, INT64_MAX / 2));
            m_total = m_total > INT64_MAX / 2 - size ? INT64_MAX / 2 : m_total + size;
        }
    }
}

int ZipExtractor::run(Target target)
{
    m_target = target;
    const std::string &dest = m_reader.DestDir();
    if (target == Target::File && !dest.empty() && !makeFolders(dest)) {
        throw EZipError(systemErrorText("Cannot create folder", dest, errno));
    }
    return runSelected();
}

int ZipExtractor::runSelected()
{
    TZipReader &r = m_reader;
    for (int i = 0; i < r.Count(); ++i) {
        m_viewIndex[&r.Entry(i)] = i;
    }
    r.OpenZip();
    select();
    int count = 0;
    int chosen = 0;
    for (const TZipHeaderInfo *e : r.Directory()) {
        chosen += e->Matched ? 1 : 0;
    }
    if (r.OnStartUnZipInfo) {
        bool stop = false;
        r.OnStartUnZipInfo(chosen, m_total, stop);
        if (stop) {
            return 0;
        }
    }
    for (TZipHeaderInfo *e : r.Directory()) {
        if (!e->Matched) {
            continue;
        }
        r.CheckCancel();
        Outcome outcome = Outcome::Retry;
        while (outcome == Outcome::Retry) {
            outcome = extractEntry(*e, viewIndex(e));
        }
        e->Matched = false;
        count += outcome == Outcome::Extracted ? 1 : 0;
    }
    return count;
}

bool ZipExtractor::runToStream(TStream &out, const std::string &mask)
{
    m_target = Target::Stream;
    m_out = &out;
    TZipReader &r = m_reader;
    for (int i = 0; i < r.Count(); ++i) {
        m_viewIndex[&r.Entry(i)] = i;
    }
    for (TZipHeaderInfo *e : r.Directory()) {
        if (!e->IsFolder() && IsMatch(asciiLower(mask), asciiLower(e->FullName()))) {
            m_total = static_cast<std::int64_t>(std::min<std::uint64_t>(e->UncompressedSize, INT64_MAX / 2));
            Outcome outcome = Outcome::Retry;
            while (outcome == Outcome::Retry) {
                outcome = extractEntry(*e, viewIndex(e));
            }
            return outcome == Outcome::Extracted;
        }
    }
    return false;
}

std::string ZipExtractor::destinationFor(const TZipHeaderInfo &e) const
{
    std::string name = e.FileName();
    if (m_reader.RecreateDirs && !e.Directory().empty()) {
        std::string dir = e.Directory();
        const std::string &root = m_reader.RootDir();
        if (!root.empty() && asciiLower(dir.substr(0, root.size())) == asciiLower(root)) {
            dir = dir.substr(root.size());
        }
        name = dir + name;
    }
    const std::string rel = safeRelativePath(name, isDosHost(e.HostSystem()));
    if (rel.empty() && !e.IsFolder()) {
        return {};
    }
    const std::string base = m_reader.DestDir().empty() ? "." : m_reader.DestDir();
    return rel.empty() ? base : (base == "/" ? "/" + rel : base + "/" + rel);
}

bool ZipExtractor::checkPassword(TZipHeaderInfo &e, int index, std::uint64_t dataStart)
{
    TS_BufferStream &s = m_reader.ArchiveStream();
    const std::uint8_t check = expectedCheckByte(e.Flags, e.DateTime, e.CRC32);
    for (;;) {
        std::uint8_t header[kEncryptionHeaderSize];
        s.Seek(static_cast<std::int64_t>(dataStart), soBeginning);
        if (s.Read(header, kEncryptionHeaderSize) != static_cast<std::int64_t>(kEncryptionHeaderSize)) {
            throw EFatalUnzipError(ziptext::kPrematureEnd);
        }
        TZipCipher cipher;
        if (cipher.DecryptHeader(m_reader.Password, header) == check) {
            return true;
        }
        std::string answer = m_reader.Password;
        if (m_reader.OnBadPassword) {
            m_reader.OnBadPassword(index, answer);
        }
        if (!m_reader.OnBadPassword || answer == m_reader.Password) {
            return false;
        }
        m_reader.Password = answer;
    }
}

bool ZipExtractor::mayReplace(const TZipHeaderInfo &e, int index, std::string &path)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        skip(srCreateError, path, index);
        return false;
    }
    bool replace = false;
    switch (m_reader.OverwriteMode) {
    case TUZOverwriteMode::Always:
        replace = true;
        break;
    case TUZOverwriteMode::Never:
        replace = false;
        break;
    case TUZOverwriteMode::ifNewer:
    case TUZOverwriteMode::ifOlder: {
        const double fileDate = dosDateTimeToDayCount(repairDosDateTime(unixToDosDateTime(st.st_mtime)));
        const double entryDate = dosDateTimeToDayCount(e.DateTime);
        replace = m_reader.OverwriteMode == TUZOverwriteMode::ifNewer ? entryDate > fileDate : entryDate < fileDate;
        break;
    }
    case TUZOverwriteMode::Prompt:
        if (m_reader.OnPromptForOverwrite) {
            m_reader.OnPromptForOverwrite(replace, index, path);
        }
        break;
    }
    if (replace && !m_reader.ReplaceReadOnly && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
        replace = false;
    }
    if (!replace) {
        skip(srNoOverwrite, path, index);
    }
    return replace;
}

ZipExtractor::Outcome ZipExtractor::extractEntry(TZipHeaderInfo &e, int index)
{
    TS_BufferStream &s = m_reader.ArchiveStream();
    const std::string shownName = e.FullName();
    std::uint8_t local[kLocalHeaderSize];
    s.Seek(static_cast<std::int64_t>(e.RelativeOffset), soBeginning);
    if (s.Read(local, kLocalHeaderSize) != static_cast<std::int64_t>(kLocalHeaderSize)) {
        throw EFatalUnzipError(ziptext::kPrematureEnd);
    }
    if (getLE32(local) != localSignature()) {
        error(index, "No local header where the directory puts \"" + shownName + "\"");
        skip(srFileOpenError, shownName, index);
        return Outcome::Failed;
    }
    std::uint64_t dataStart = e.RelativeOffset + kLocalHeaderSize + getLE16(local + 26) + getLE16(local + 28);

    std::string path;
    if (m_target == Target::File) {
        path = destinationFor(e);
        if (path.empty()) {
            skip(srCreateError, shownName, index);
            return Outcome::Skipped;
        }
    } else {
        path = shownName;
    }
    bool skipIt = false;
    if (m_reader.OnStartUnZip) {
        m_reader.OnStartUnZip(index, path, skipIt);
    }
    if (skipIt) {
        return Outcome::Skipped;
    }
    if (e.IsFolder()) {
        if (m_target == Target::File && !makeFolders(path)) {
            skip(srCreateError, path, index);
            return Outcome::Failed;
        }
        return Outcome::Extracted;
    }

    std::uint64_t packed = e.CompressedSize;
    TZipCipher cipher;
    if (e.Encrypted()) {
        if (!checkPassword(e, index, dataStart)) {
            m_total -= std::min(m_total, static_cast<std::int64_t>(
                                             std::min<std::uint64_t>(e.UncompressedSize, INT64_MAX / 2)));
            skip(srBadPassword, path, index);
            return Outcome::Skipped;
        }
        std::uint8_t header[kEncryptionHeaderSize];
        s.Seek(static_cast<std::int64_t>(dataStart), soBeginning);
        s.ReadBuffer(header, kEncryptionHeaderSize);
        cipher.DecryptHeader(m_reader.Password, header);
        dataStart += kEncryptionHeaderSize;
        packed = packed >= kEncryptionHeaderSize ? packed - kEncryptionHeaderSize : 0;
    }

    std::unique_ptr<TempFile> temp;
    std::unique_ptr<TLFNFileStream> file;
    TStream *out = m_out;
    if (m_target == Target::File) {
        const std::string folder = extractFilePath(path);
        if (!folder.empty() && !makeFolders(folder)) {
            skip(srCreateError, path, index);
            return Outcome::Failed;
        }
        if (!mayReplace(e, index, path)) {
            return Outcome::Skipped;
        }
        temp = std::make_unique<TempFile>(path);
        if (!temp->ok()) {
            error(index, systemErrorText("Cannot create file", path, temp->error()));
            skip(srCreateError, path, index);
            return Outcome::Failed;
        }
        file =
            std::make_unique<TLFNFileStream>(temp->path(), fmOpenReadWrite, m_reader.FlushFilesOnClose, 8192);
        out = file.get();
    } else if (m_target == Target::Test) {
        out = nullptr;
    }

    s.Seek(static_cast<std::int64_t>(dataStart), soBeginning);
    ArchiveSource source(m_reader, packed, e.Encrypted() ? &cipher : nullptr, e.CompressionMethod == 0);
    EntryOutput sink(*this, e, out);
    const std::int64_t doneBefore = m_done;
    DecodeStatus status = DecodeStatus::Ok;
    bool methodKnown = true;
    switch (e.CompressionMethod) {
    case 0: {
        std::vector<std::uint8_t> buf(kInputChunk);
        for (std::size_t n = source.fill(buf.data(), buf.size()); n > 0;
             n = source.fill(buf.data(), buf.size())) {
            sink.write(buf.data(), n);
        }
        break;
    }
    case 1:
        status = unshrinkStream(source, sink, e.UncompressedSize);
        break;
    case 2:
    case 3:
    case 4:
    case 5:
        status = unreduceStream(source, sink, e.UncompressedSize, e.CompressionMethod - 1);
        break;
    case 6:
        status = explodeStream(source, sink, e.UncompressedSize, (e.Flags & 2) != 0, (e.Flags & 4) != 0);
        break;
    case 8:
        status = inflateStream(source, sink);
        break;
    default:
        methodKnown = false;
        error(index, ziptext::kUnknownMethod);
        break;
    }
    if (status == DecodeStatus::OutOfMemory) {
        error(index, ziptext::kInflateOutOfMemory);
    }
    if (file) {
        file->Close();
        const std::int64_t t = dosDateTimeToUnix(e.DateTime);
        if (t >= 0) {
            const struct timespec times[2] = {{t, 0}, {t, 0}};
            ::utimensat(AT_FDCWD, temp->path().c_str(), times, AT_SYMLINK_NOFOLLOW);
        }
        ::chmod(temp->path().c_str(), entryMode(e, m_reader.RetainAttributes, processUmask()));
        file.reset();
    }
    const bool good = methodKnown && status == DecodeStatus::Ok && sink.written() == e.UncompressedSize &&
                      sink.crc() == e.CRC32;
    if (good) {
        if (temp && !temp->commit(path)) {
            error(index, systemErrorText("Cannot replace file", path, temp->error()));
            skip(srCreateError, path, index);
            return Outcome::Failed;
        }
        if (m_reader.OnEndUnZip) {
            m_reader.OnEndUnZip(index, path);
        }
        return Outcome::Extracted;
    }
    m_done = doneBefore;
    if (e.Encrypted() && methodKnown) {
        std::string answer = m_reader.Password;
        if (m_reader.OnBadPassword) {
            m_reader.OnBadPassword(index, answer);
        }
        if (m_reader.OnBadPassword && answer != m_reader.Password) {
            m_reader.Password = answer;
            return Outcome::Retry;
        }
        skip(srBadPassword, path, index);
        return Outcome::Failed;
    }
    if (m_reader.OnBadCRC) {
        m_reader.OnBadCRC(sink.crc(), e.CRC32, index);
    }
    return Outcome::Failed;
}

} // namespace qv
