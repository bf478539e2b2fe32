// The extraction engine: selection, checks, decoding and the safe write of each entry.
#include "zip/ZipExtractor.h"

#include "zip/Crc32.h"
#include "zip/DecodeIO.h"
#include "zip/ZipCipher.h"
#include "zip/ZipExtractFiles.h"
#include "zip/ZipLib.h"
#include "zip/ZipDeflatePool.h"
#include "zip/ZipMatch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qv {
namespace {

constexpr std::size_t kInputChunk = 32768;
constexpr std::size_t kReadAheadChunk = 256 * 1024; // archive bytes read at once with pread
constexpr std::size_t kHeaderWindow = 64 * 1024;    // archive bytes read ahead for local headers
constexpr std::size_t kOutputBuffer = 64 * 1024;    // decoded bytes written at once to a file

const char *kDotDot = "..";

// An entry's modification time: the exact second of its extended timestamp where it has one (as
// our writer and Info-ZIP store it), else its MS-DOS time; nothing for an impossible MS-DOS date.
std::optional<std::int64_t> entryTime(const TZipHeaderInfo &e)
{
    if (const std::optional<std::int64_t> exact = extendedModTime(e.CentralExtra)) {
        return exact;
    }
    const std::int64_t t = dosDateTimeToUnix(e.DateTime);
    return t >= 0 ? std::optional<std::int64_t>(t) : std::nullopt;
}

// Whether the entry is newer (> 0), older (< 0) or as old (0) as a file of `fileTime`: by the
// exact second where the entry has it, else in MS-DOS time (local time, two-second steps).
int compareTimes(const TZipHeaderInfo &e, std::int64_t fileTime)
{
    if (const std::optional<std::int64_t> exact = extendedModTime(e.CentralExtra)) {
        return (*exact > fileTime) - (*exact < fileTime);
    }
    const double file = dosDateTimeToDayCount(repairDosDateTime(unixToDosDateTime(fileTime)));
    const double entry = dosDateTimeToDayCount(e.DateTime);
    return (entry > file) - (entry < file);
}

} // namespace

struct ZipExtractor::Job {
    TZipHeaderInfo *entry = nullptr;
    int index = -1;
    std::string path;
    std::uint64_t dataStart = 0;
    std::uint64_t packed = 0;
    bool replace = false; // what stands at `path` is replaced (else the file goes in only where none is)
    TZipCipher cipher; // an encrypted entry's keys after its header
    // What decoding gave.
    std::unique_ptr<TempFile> temp;
    DecodeStatus status = DecodeStatus::Ok;
    bool methodKnown = true;
    std::uint32_t crc = 0;
    std::uint64_t written = 0;
    std::int64_t doneBefore = 0;
    std::exception_ptr failure;
    bool done = false; // set under the decoders' lock
};

// Compressed bytes of one entry, read with pread from a plain archive or through the archive
// stream, decrypted as they are read.
class EntrySource : public ByteSource
{
public:
    EntrySource(ZipExtractor &engine, ZipExtractor::Job &job, bool report)
        : m_engine(engine), m_job(job), m_at(job.dataStart), m_left(job.packed), m_report(report)
    {
        if (m_engine.m_archiveFd < 0) {
            m_engine.m_reader.ArchiveStream().Seek(static_cast<std::int64_t>(job.dataStart), soBeginning);
        }
    }

    std::size_t fill(std::uint8_t *dst, std::size_t max) override
    {
        if (m_left == 0 || max == 0) {
            return 0;
        }
        TZipReader &r = m_engine.m_reader;
        if (m_report) {
            r.CheckCancel();
        } else if (m_engine.m_stop.load() || r.CancelRequested()) {
            throw EUserCanceled(ziptext::kUserAborted);
        }
        const int fd = m_engine.m_archiveFd;
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({max, fd >= 0 ? kReadAheadChunk : kInputChunk, m_left}));
        if (fd >= 0) {
            for (std::size_t got = 0; got < n;) {
                const ssize_t k = ::pread(fd, dst + got, n - got, static_cast<off_t>(m_at + got));
                if (k < 0 && errno == EINTR) {
                    continue;
                }
                if (k <= 0) {
                    throw EFatalUnzipError(ziptext::kPrematureEnd);
                }
                got += static_cast<std::size_t>(k);
            }
        } else if (r.ArchiveStream().Read(dst, static_cast<std::int64_t>(n)) != static_cast<std::int64_t>(n)) {
            throw EFatalUnzipError(ziptext::kPrematureEnd);
        }
        m_at += n;
        m_left -= n;
        const TZipHeaderInfo &e = *m_job.entry;
        if (e.Encrypted()) {
            if (r.OnDecrypt && e.CompressionMethod != 0) {
                r.OnDecrypt(dst, n, r.Password);
            } else {
                m_job.cipher.DecryptBuffer(dst, n);
            }
        }
        return n;
    }

private:
    ZipExtractor &m_engine;
    ZipExtractor::Job &m_job;
    std::uint64_t m_at;
    std::uint64_t m_left;
    bool m_report;
};

// Decoded bytes of one entry: size limit, CRC, progress when reported, and the target (a file's
// descriptor, a stream, or nothing for a test).
class EntryOutput : public ByteSink
{
public:
    EntryOutput(ZipExtractor &engine, const TZipHeaderInfo &entry, TStream *out, int fd, bool report)
        : m_engine(engine), m_entry(entry), m_out(out), m_fd(fd), m_report(report)
    {
        if (m_fd >= 0) {
            m_buffer.reserve(kOutputBuffer);
        }
    }

    void write(const std::uint8_t *data, std::size_t n) override
    {
        if (n == 0) {
            return;
        }
        if (m_written + n > m_entry.UncompressedSize) {
            throw EBiggerThanUncompressed(ziptext::kBiggerThanUncompressed);
        }
        if (m_fd >= 0) {
            if (m_buffer.size() + n > kOutputBuffer) {
                flush();
            }
            if (n >= kOutputBuffer) {
                writeOut(data, n);
            } else {
                m_buffer.insert(m_buffer.end(), data, data + n);
            }
        } else if (m_out != nullptr &&
                   m_out->Write(data, static_cast<std::int64_t>(n)) != static_cast<std::int64_t>(n)) {
            throw ECantWriteUCF(ziptext::kCantWrite);
        }
        m_crc.update(data, n);
        m_written += n;
        if (!m_report) {
            return;
        }
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

    // Writes what the file buffer holds.
    void flush()
    {
        if (!m_buffer.empty()) {
            writeOut(m_buffer.data(), m_buffer.size());
            m_buffer.clear();
        }
    }

    std::uint32_t crc() const { return m_crc.value(); }
    std::uint64_t written() const { return m_written; }

private:
    void writeOut(const std::uint8_t *data, std::size_t n)
    {
        while (n > 0) {
            const ssize_t k = ::write(m_fd, data, n);
            if (k < 0 && errno == EINTR) {
                continue;
            }
            if (k <= 0) {
                throw ECantWriteUCF(ziptext::kCantWrite);
            }
            data += k;
            n -= static_cast<std::size_t>(k);
        }
    }

    ZipExtractor &m_engine;
    const TZipHeaderInfo &m_entry;
    TStream *m_out;
    int m_fd;
    bool m_report;
    std::vector<std::uint8_t> m_buffer;
    Crc32 m_crc;
    std::uint64_t m_written = 0;
};

// Threads that decode entries handed to them in directory order. The caller's thread, waiting for
// the oldest entry, decodes it itself when no thread has started it. Wake-ups go only to a thread that
// waits for them: an idle decoder for a new entry, the caller for the entry it waits for.
class ZipExtractor::Decoders
{
public:
    Decoders(ZipExtractor &engine, int threads) : m_engine(engine)
    {
        for (int i = 0; i < threads; ++i) {
            m_threads.emplace_back([this] { work(); });
        }
    }

    ~Decoders()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
            m_queue.clear();
        }
        m_work.notify_all();
        for (std::thread &t : m_threads) {
            t.join();
        }
    }

    void submit(Job *job)
    {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(job);
            wake = m_idle > 0;
        }
        if (wake) {
            m_work.notify_one();
        }
    }

    void wait(Job &job)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!job.done && !m_queue.empty() && m_queue.front() == &job) {
            m_queue.pop_front();
            lock.unlock();
            m_engine.decode(job, false);
            lock.lock();
            job.done = true;
        }
        while (!job.done) {
            m_awaited = &job;
            m_done.wait(lock, [&] { return job.done; });
            m_awaited = nullptr;
        }
    }

private:
    void work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_work.wait(lock, [&] { return m_stop || !m_queue.empty(); });
            --m_idle;
            if (m_queue.empty()) {
                return;
            }
            Job *job = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            m_engine.decode(*job, false);
            lock.lock();
            job->done = true;
            if (m_awaited == job) {
                m_done.notify_one();
            }
        }
    }

    ZipExtractor &m_engine;
    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_done;
    std::deque<Job *> m_queue;
    Job *m_awaited = nullptr;
    int m_idle = 0;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

ZipExtractor::ZipExtractor(TZipReader &reader) : m_reader(reader) {}

ZipExtractor::~ZipExtractor() = default;

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

bool ZipExtractor::makeFolder(const std::string &path, int index)
{
    int error = 0;
    std::string link;
    if (m_folders.make(m_root, path, error, link)) {
        return true;
    }
    if (error == ELOOP) {
        this->error(index, "\"" + link + "\" is a symbolic link: nothing is extracted through it");
    }
    return false;
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
    if (target == Target::File) {
        // Everything below the extraction folder is made beneath it, never through a link.
        const std::string root = dest.empty() ? std::string(".") : dest;
        int error = 0;
        if (!m_root.openMaking(root, 0777, error)) {
            throw EZipError(systemErrorText("Cannot create folder", root, error));
        }
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
    m_archiveFd = r.PlainArchiveHandle();
    const int threads = m_archiveFd >= 0 && chosen > 1 ? ZipDeflatePool::threadsFor(r.Threads) : 1;
    std::unique_ptr<Decoders> decoders;
    if (threads > 1) {
        decoders = std::make_unique<Decoders>(*this, threads - 1);
    }
    // Entries handed to the decoders and not yet finished, oldest first; at most this many. A
    // wide window keeps the other threads busy while the oldest entry's thread waits for a
    // processor; an entry waiting in it holds no file and no buffer.
    const std::size_t window = 128 * static_cast<std::size_t>(threads);
    std::deque<std::unique_ptr<Job>> pending;
    const auto finishOldest = [&] {
        r.CheckCancel(); // as between entries of a run on one thread
        Job &job = *pending.front();
        decoders->wait(job);
        const Outcome outcome = finish(job, false);
        job.entry->Matched = false;
        count += outcome == Outcome::Extracted ? 1 : 0;
        pending.pop_front();
    };
    try {
        for (TZipHeaderInfo *e : r.Directory()) {
            if (!e->Matched) {
                continue;
            }
            r.CheckCancel();
            if (decoders && decodesAside(*e)) {
                auto job = std::make_unique<Job>();
                Outcome outcome = Outcome::Skipped;
                if (!prepare(*e, viewIndex(e), *job, outcome)) {
                    e->Matched = false;
                    count += outcome == Outcome::Extracted ? 1 : 0;
                    continue;
                }
                decoders->submit(job.get());
                pending.push_back(std::move(job));
                while (pending.size() > window) {
                    finishOldest();
                }
                continue;
            }
            while (!pending.empty()) {
                finishOldest();
            }
            Outcome outcome = Outcome::Retry;
            while (outcome == Outcome::Retry) {
                outcome = extractEntry(*e, viewIndex(e));
            }
            e->Matched = false;
            count += outcome == Outcome::Extracted ? 1 : 0;
        }
        while (!pending.empty()) {
            finishOldest();
        }
    } catch (const EUserCanceled &) {
        // A cancel ends the run where it was asked for: entries still on their way are dropped.
        m_stop = true;
        decoders.reset();
        pending.clear();
        throw;
    } catch (...) {
        // The entries before the failure that came out whole are put in place, up to the first
        // that did not; the others are dropped with their temporary files.
        m_stop = true;
        try {
            while (!pending.empty()) {
                finishOldest();
            }
        } catch (...) {
        }
        decoders.reset();
        pending.clear();
        throw;
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

bool ZipExtractor::mayReplace(const TZipHeaderInfo &e, int index, std::string &path, bool &replace)
{
    struct stat st
    {
    };
    const bool onDisk = ::lstat(path.c_str(), &st) == 0;
    // A file an earlier entry of this run writes counts as there, in place or not yet (an entry
    // tried again with another password is no earlier entry).
    auto earlier = m_written.find(path);
    if (earlier != m_written.end() && earlier->second.entry == &e) {
        earlier = m_written.end();
    }
    replace = m_reader.OverwriteMode == TUZOverwriteMode::Always;
    if (!onDisk && earlier == m_written.end()) {
        return true;
    }
    if (onDisk && S_ISDIR(st.st_mode)) {
        error(index, "a folder of this name is there; the file is not extracted over it");
        skip(srCreateError, path, index);
        return false;
    }
    const std::int64_t fileTime =
        earlier != m_written.end() ? earlier->second.time : static_cast<std::int64_t>(st.st_mtime);
    switch (m_reader.OverwriteMode) {
    case TUZOverwriteMode::Always:
        break;
    case TUZOverwriteMode::Never:
        replace = false;
        break;
    case TUZOverwriteMode::ifNewer:
    case TUZOverwriteMode::ifOlder: {
        const int order = compareTimes(e, fileTime);
        replace = m_reader.OverwriteMode == TUZOverwriteMode::ifNewer ? order > 0 : order < 0;
        break;
    }
    case TUZOverwriteMode::Prompt:
        if (m_reader.OnPromptForOverwrite) {
            m_reader.OnPromptForOverwrite(replace, index, path);
        }
        break;
    }
    if (replace && onDisk && !m_reader.ReplaceReadOnly && S_ISREG(st.st_mode) &&
        (st.st_mode & S_IWUSR) == 0) {
        replace = false;
    }
    if (!replace) {
        skip(srNoOverwrite, path, index);
    }
    return replace;
}

bool ZipExtractor::decodesAside(const TZipHeaderInfo &e) const
{
    return (m_target == Target::File || m_target == Target::Test) && !e.Encrypted() &&
           (e.CompressionMethod <= 6 || e.CompressionMethod == 8);
}

void ZipExtractor::readLocalHeader(std::uint64_t offset, std::uint8_t *header)
{
    if (m_archiveFd < 0) {
        TS_BufferStream &s = m_reader.ArchiveStream();
        s.Seek(static_cast<std::int64_t>(offset), soBeginning);
        if (s.Read(header, kLocalHeaderSize) != static_cast<std::int64_t>(kLocalHeaderSize)) {
            throw EFatalUnzipError(ziptext::kPrematureEnd);
        }
        return;
    }
    // Entries follow each other: one read brings the headers of many small ones.
    if (offset < m_headersAt || offset + kLocalHeaderSize > m_headersAt + m_headers.size()) {
        m_headers.resize(kHeaderWindow);
        ssize_t got;
        do {
            got = ::pread(m_archiveFd, m_headers.data(), m_headers.size(), static_cast<off_t>(offset));
        } while (got < 0 && errno == EINTR);
        m_headers.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        m_headersAt = offset;
        if (m_headers.size() < kLocalHeaderSize) {
            throw EFatalUnzipError(ziptext::kPrematureEnd);
        }
    }
    std::memcpy(header, m_headers.data() + (offset - m_headersAt), kLocalHeaderSize);
}

// The checks before an entry is decoded, in directory order on the caller's thread. False when
// the entry ends here (`outcome` tells how).
bool ZipExtractor::prepare(TZipHeaderInfo &e, int index, Job &job, Outcome &outcome)
{
    const std::string shownName = e.FullName();
    std::uint8_t local[kLocalHeaderSize];
    readLocalHeader(e.RelativeOffset, local);
    if (getLE32(local) != localSignature()) {
        error(index, "No local header where the directory puts \"" + shownName + "\"");
        skip(srFileOpenError, shownName, index);
        outcome = Outcome::Failed;
        return false;
    }
    std::uint64_t dataStart = e.RelativeOffset + kLocalHeaderSize + getLE16(local + 26) + getLE16(local + 28);

    std::string path;
    if (m_target == Target::File) {
        if (shownName.empty()) {
            // Not a folder either, whatever its lack of a file name says.
            error(index, "the entry has no name; nothing is extracted for it");
            skip(srCreateError, shownName, index);
            outcome = Outcome::Failed;
            return false;
        }
        path = destinationFor(e);
        if (path.empty()) {
            skip(srCreateError, shownName, index);
            outcome = Outcome::Skipped;
            return false;
        }
    } else {
        path = shownName;
    }
    bool skipIt = false;
    if (m_reader.OnStartUnZip) {
        m_reader.OnStartUnZip(index, path, skipIt);
    }
    if (skipIt) {
        outcome = Outcome::Skipped;
        return false;
    }
    if (e.IsFolder()) {
        if (m_target == Target::File && m_written.count(path) != 0) {
            error(index, "a file of this name is there; the folder is not made");
            skip(srCreateError, path, index);
            outcome = Outcome::Failed;
            return false;
        }
        if (m_target == Target::File && !makeFolder(path, index)) {
            skip(srCreateError, path, index);
            outcome = Outcome::Failed;
            return false;
        }
        outcome = Outcome::Extracted;
        return false;
    }

    std::uint64_t packed = e.CompressedSize;
    if (e.Encrypted()) {
        if (!checkPassword(e, index, dataStart)) {
            m_total -= std::min(m_total, static_cast<std::int64_t>(
                                             std::min<std::uint64_t>(e.UncompressedSize, INT64_MAX / 2)));
            skip(srBadPassword, path, index);
            outcome = Outcome::Skipped;
            return false;
        }
        TS_BufferStream &s = m_reader.ArchiveStream();
        std::uint8_t header[kEncryptionHeaderSize];
        s.Seek(static_cast<std::int64_t>(dataStart), soBeginning);
        s.ReadBuffer(header, kEncryptionHeaderSize);
        job.cipher.DecryptHeader(m_reader.Password, header);
        dataStart += kEncryptionHeaderSize;
        packed = packed >= kEncryptionHeaderSize ? packed - kEncryptionHeaderSize : 0;
    }

    if (m_target == Target::File) {
        const std::string folder = extractFilePath(path);
        if (!folder.empty() && !makeFolder(folder, index)) {
            skip(srCreateError, path, index);
            outcome = Outcome::Failed;
            return false;
        }
        if (!mayReplace(e, index, path, job.replace)) {
            outcome = Outcome::Skipped;
            return false;
        }
        m_written[path] = Written{&e, entryTime(e).value_or(0)};
    }
    job.entry = &e;
    job.index = index;
    job.path = path;
    job.dataStart = dataStart;
    job.packed = packed;
    return true;
}

void ZipExtractor::decode(Job &job, bool report)
{
    const TZipHeaderInfo &e = *job.entry;
    try {
        int fd = -1;
        TStream *out = m_out;
        if (m_target == Target::File) {
            job.temp = std::make_unique<TempFile>(m_root, job.path);
            if (!job.temp->ok()) {
                return; // reported in its turn
            }
            fd = job.temp->fd();
            out = nullptr;
        } else if (m_target == Target::Test) {
            out = nullptr;
        }
        EntrySource source(*this, job, report);
        EntryOutput sink(*this, e, out, fd, report);
        switch (e.CompressionMethod) {
        case 0: {
            std::vector<std::uint8_t> buf(kReadAheadChunk);
            for (std::size_t n = source.fill(buf.data(), buf.size()); n > 0;
                 n = source.fill(buf.data(), buf.size())) {
                sink.write(buf.data(), n);
            }
            break;
        }
        case 1:
            job.status = unshrinkStream(source, sink, e.UncompressedSize);
            break;
        case 2:
        case 3:
        case 4:
        case 5:
            job.status = unreduceStream(source, sink, e.UncompressedSize, e.CompressionMethod - 1);
            break;
        case 6:
            job.status = explodeStream(source, sink, e.UncompressedSize, (e.Flags & 2) != 0, (e.Flags & 4) != 0);
            break;
        case 8:
            job.status = inflateStream(source, sink);
            break;
        default:
            job.methodKnown = false;
            break;
        }
        sink.flush();
        job.crc = sink.crc();
        job.written = sink.written();
        if (fd >= 0) {
            if (const std::optional<std::int64_t> t = entryTime(e)) {
                const struct timespec times[2] = {{static_cast<time_t>(*t), 0}, {static_cast<time_t>(*t), 0}};
                ::futimens(fd, times);
            }
            ::fchmod(fd, entryMode(e, m_reader.RetainAttributes, processUmask()));
            if (m_reader.FlushFilesOnClose && ::fsync(fd) != 0) {
                throw ECantWriteUCF(ziptext::kCantWrite);
            }
            if (!job.temp->closeFile()) {
                throw ECantWriteUCF(ziptext::kCantWrite);
            }
        }
    } catch (...) {
        if (report) {
            throw;
        }
        job.failure = std::current_exception();
    }
}

// After an entry was decoded, in directory order on the caller's thread: its exception raised,
// its failures reported, the file put in place. `reported`: its progress went out while it was
// decoded.
ZipExtractor::Outcome ZipExtractor::finish(Job &job, bool reported)
{
    if (job.failure) {
        std::rethrow_exception(job.failure);
    }
    TZipHeaderInfo &e = *job.entry;
    const int index = job.index;
    const std::string &path = job.path;
    if (job.temp && !job.temp->ok()) {
        error(index, systemErrorText("Cannot create file", path, job.temp->error()));
        skip(srCreateError, path, index);
        return Outcome::Failed;
    }
    if (!job.methodKnown) {
        error(index, ziptext::kUnknownMethod);
    }
    if (job.status == DecodeStatus::OutOfMemory) {
        error(index, ziptext::kInflateOutOfMemory);
    }
    if (!reported) {
        job.doneBefore = m_done;
        m_done += static_cast<std::int64_t>(job.written);
        if (m_reader.OnFilePercentDone) {
            m_reader.OnFilePercentDone(percentOf(static_cast<std::int64_t>(job.written),
                                                 static_cast<std::int64_t>(e.UncompressedSize)));
        }
        if (m_reader.OnTotalPercentDone) {
            m_reader.OnTotalPercentDone(percentOf(m_done, m_total));
        }
    }
    const bool good = job.methodKnown && job.status == DecodeStatus::Ok && job.written == e.UncompressedSize &&
                      job.crc == e.CRC32;
    if (good) {
        if (job.temp && !job.temp->commit(job.replace)) {
            if (!job.replace && job.temp->error() == EEXIST) {
                // Another file took the name after it was looked at: it stays.
                skip(srNoOverwrite, path, index);
                return Outcome::Skipped;
            }
            error(index, systemErrorText("Cannot replace file", path, job.temp->error()));
            skip(srCreateError, path, index);
            return Outcome::Failed;
        }
        if (m_reader.OnEndUnZip) {
            m_reader.OnEndUnZip(index, path);
        }
        return Outcome::Extracted;
    }
    m_done = job.doneBefore;
    if (e.Encrypted() && job.methodKnown) {
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
        m_reader.OnBadCRC(job.crc, e.CRC32, index);
    }
    return Outcome::Failed;
}

// One entry on the caller's thread, start to end.
ZipExtractor::Outcome ZipExtractor::extractEntry(TZipHeaderInfo &e, int index)
{
    Job job;
    Outcome outcome = Outcome::Skipped;
    if (!prepare(e, index, job, outcome)) {
        return outcome;
    }
    job.doneBefore = m_done;
    decode(job, true);
    return finish(job, true);
}

} // namespace qv
