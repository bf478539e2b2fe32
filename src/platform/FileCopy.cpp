// The one file copy: temporary file, data by kernel ranges or blocks, throttle, close, rename.
#include "platform/FileCopy.h"

#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/RateBudget.h"
#include "platform/StorageKind.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <optional>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace qv {
namespace {

constexpr std::int64_t kBlockSize = 256 * 1024;
constexpr std::int64_t kRangeChunk = 8 * 1024 * 1024; // in-kernel step; the stop flag is read between steps
constexpr std::int64_t kRangeMinSize = 64 * 1024;     // smaller files go faster through one read and write
std::atomic<bool> g_kernelCopy{true};

// The temporary files this process is writing, by name (the last component). Their locks keep other runs'
// clean-up away, but not this process's own where a user-space file system gives each spelling of a folder
// (Sub/ and sub/ on one that folds case) a file of its own, each with its own locks.
std::mutex g_liveMutex;
std::unordered_set<std::string> g_liveTemps;

std::string lastComponent(const std::string &path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void holdTempName(const std::string &path)
{
    const std::lock_guard<std::mutex> lock(g_liveMutex);
    g_liveTemps.insert(lastComponent(path));
}

void releaseTempName(const std::string &path)
{
    if (path.empty()) {
        return;
    }
    const std::lock_guard<std::mutex> lock(g_liveMutex);
    g_liveTemps.erase(lastComponent(path));
}

bool tempNameHeld(const char *name)
{
    const std::lock_guard<std::mutex> lock(g_liveMutex);
    return g_liveTemps.count(name) != 0;
}

std::int64_t toNs(const struct timespec &ts)
{
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct timespec fromNs(std::int64_t ns)
{
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    if (ts.tv_nsec < 0) {
        ts.tv_nsec += 1000000000;
        --ts.tv_sec;
    }
    return ts;
}

// Only the fields the archive mark and the attributes look at.
struct stat asStat(const PathStat &s)
{
    struct stat st = {};
    st.st_mode = static_cast<mode_t>(s.mode);
    st.st_size = static_cast<off_t>(s.size);
    st.st_mtim = fromNs(s.mtimeNs);
    return st;
}

// The user's extended attributes (user.*) of `in` go to `out`, where its file system takes them;
// the archive mark is the copy's own affair (CopyOptions::carryArchiveMark). One call for the
// usual file without any.
void copyUserAttributes(int in, int out)
{
    char small[1024];
    std::vector<char> large;
    char *names = small;
    ssize_t n = ::flistxattr(in, small, sizeof small);
    if (n < 0 && errno == ERANGE && (n = ::flistxattr(in, nullptr, 0)) > 0) {
        large.resize(static_cast<std::size_t>(n));
        names = large.data();
        n = ::flistxattr(in, names, large.size());
    }
    std::vector<char> value;
    for (const char *name = names; n > 0 && name < names + n; name += std::strlen(name) + 1) {
        if (std::strncmp(name, "user.", 5) != 0 ||
            std::strcmp(name, FileAttributes::kArchiveClearedXattr) == 0) {
            continue;
        }
        const ssize_t size = ::fgetxattr(in, name, nullptr, 0);
        if (size < 0) {
            continue;
        }
        value.resize(static_cast<std::size_t>(size) + 1);
        const ssize_t got = ::fgetxattr(in, name, value.data(), value.size());
        if (got >= 0) {
            ::fsetxattr(out, name, value.data(), static_cast<std::size_t>(got), 0);
        }
    }
}

// Whether two looks at a file show it unchanged: the same file, size, modification and change time.
bool sameState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           toNs(a.st_mtim) == toNs(b.st_mtim) && toNs(a.st_ctim) == toNs(b.st_ctim);
}

PathStat fromStat(const struct stat &st)
{
    PathStat r;
    r.exists = true;
    r.isFolder = S_ISDIR(st.st_mode);
    r.isRegular = S_ISREG(st.st_mode);
    r.size = st.st_size;
    r.mtimeNs = toNs(st.st_mtim);
    r.atimeNs = toNs(st.st_atim);
    r.mode = st.st_mode;
    r.dev = st.st_dev;
    r.ino = st.st_ino;
    return r;
}

bool rangeUnsupported(int error)
{
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF ||
           error == ETXTBSY;
}

// The data of one copy, from the source's position to its end. A source with holes (fewer
// blocks than its size, read from its start) is copied range of data by range of data: the
// destination is written past each hole and given the source's length at the end, so that it
// keeps the holes.
class DataCopy
{
public:
    DataCopy(int in, int out, const CopyOptions &options, const struct stat &source)
        : m_in(in), m_out(out), m_options(options), m_total(source.st_size),
          m_sparse(static_cast<std::int64_t>(source.st_blocks) * 512 < source.st_size &&
                   ::lseek(in, 0, SEEK_CUR) == 0)
    {
    }
    int run(std::int64_t &copied);

private:
    bool stopRequested(std::int64_t copied) const;
    bool throttle(std::int64_t copied, std::chrono::steady_clock::time_point due) const;
    int block(std::int64_t size, std::int64_t &n);
    int toData(std::int64_t &copied, bool &end);

    int m_in;
    int m_out;
    const CopyOptions &m_options;
    std::int64_t m_total;
    bool m_sparse;
    std::int64_t m_dataEnd = 0; // with holes: where the range of data being copied ends
};

// With holes: moves both files to the next range of data at or after `copied` (the bytes passed
// over count as copied). At the last hole, `end` is set and the destination takes the source's
// length. A file system that cannot tell data from holes makes the rest one range of data.
int DataCopy::toData(std::int64_t &copied, bool &end)
{
    if (copied < m_dataEnd) {
        return 0;
    }
    const off_t data = ::lseek(m_in, copied, SEEK_DATA);
    if (data < 0) {
        if (errno != ENXIO) {
            m_dataEnd = INT64_MAX;
            return ::lseek(m_in, copied, SEEK_SET) < 0 ? errno : 0;
        }
        const off_t length = ::lseek(m_in, 0, SEEK_END);
        if (length < 0 || ::ftruncate(m_out, std::max<off_t>(length, copied)) != 0) {
            return errno;
        }
        copied = std::max<std::int64_t>(length, copied);
        end = true;
        return 0;
    }
    const off_t hole = ::lseek(m_in, data, SEEK_HOLE);
    if (hole < 0 || ::lseek(m_in, data, SEEK_SET) < 0 || ::lseek(m_out, data, SEEK_SET) < 0) {
        return errno;
    }
    copied = data;
    m_dataEnd = hole > data ? hole : INT64_MAX;
    return 0;
}

bool DataCopy::stopRequested(std::int64_t copied) const
{
    if (m_options.cancel != nullptr && m_options.cancel->load(std::memory_order_relaxed)) {
        return true;
    }
    return m_options.progress != nullptr && *m_options.progress && !(*m_options.progress)(copied, m_total);
}

// Waits until the limit allows the bytes written so far, in short slices so that a stop request is
// seen promptly. False when stopped while waiting.
bool DataCopy::throttle(std::int64_t copied, std::chrono::steady_clock::time_point due) const
{
    using namespace std::chrono;
    for (;;) {
        auto now = steady_clock::now();
        if (now >= due) {
            return true;
        }
        std::this_thread::sleep_for(std::min<steady_clock::duration>(due - now, milliseconds(50)));
        if (stopRequested(copied)) {
            return false;
        }
    }
}

int DataCopy::block(std::int64_t size, std::int64_t &n)
{
    thread_local std::vector<char> buffer;
    if (buffer.size() < static_cast<std::size_t>(size)) {
        buffer.resize(
            static_cast<std::size_t>(kBlockSize)); // may throw bad_alloc: the caller's out of memory
    }
    ssize_t got = readSome(m_in, buffer.data(), static_cast<std::size_t>(size));
    if (got < 0) {
        return errno;
    }
    n = got;
    int error = 0;
    return writeAll(m_out, buffer.data(), static_cast<std::size_t>(got), error) ? 0 : error;
}

int DataCopy::run(std::int64_t &copied)
{
    // Without a shared budget, the copy keeps its own: its average rate stays at the limit.
    std::optional<RateBudget> own;
    RateBudget *budget = m_options.budget;
    if (budget == nullptr && m_options.bytesPerSecond >= 0) {
        budget = &own.emplace(m_options.bytesPerSecond);
    }
    const bool limited = budget != nullptr;
    const std::int64_t limit = limited ? budget->bytesPerSecond() : 0;
    const std::int64_t blockSize = limited && limit < kBlockSize ? limit : kBlockSize;
    bool inKernel = !limited && m_total > kRangeMinSize && g_kernelCopy.load(std::memory_order_relaxed);
    for (;;) {
        std::int64_t n = 0;
        std::int64_t step = inKernel ? kRangeChunk : blockSize;
        if (m_sparse) {
            bool end = false;
            if (int error = toData(copied, end); error != 0 || end) {
                return error;
            }
            step = std::min(step, m_dataEnd - copied);
        }
        const auto began = limited ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
        if (inKernel) {
            ssize_t r = ::copy_file_range(m_in, nullptr, m_out, nullptr, static_cast<std::size_t>(step), 0);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r == 0 && copied >= m_total) {
                return 0;
            }
            if (r <= 0) {
                // Not offered here, or an end before the size the file had: go on with read and
                // write from the same file positions, which find the real end.
                if (r < 0 && !rangeUnsupported(errno)) {
                    return errno;
                }
                inKernel = false;
                continue;
            }
            n = r;
        } else if (int error = block(step, n); error != 0) {
            return error;
        }
        if (n == 0) {
            return 0;
        }
        copied += n;
        // A read that came short at the size the file had is at its end: no read to hear it.
        const bool ended = !inKernel && n < step && copied >= m_total;
        if (stopRequested(copied)) {
            return kCopyCancelled;
        }
        if (limited && !throttle(copied, budget->spend(n, began))) {
            return kCopyCancelled;
        }
        if (ended) {
            return 0;
        }
    }
}

// "a/b/" of "a/b/c", "" of "c".
std::string folderPart(const std::string &path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void closeQuietly(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// How an unnamed file gets its name: through its descriptor (needs CAP_DAC_READ_SEARCH), through
// /proc/self/fd (any user, where /proc is mounted), or not at all. Found out once per process.
enum class LinkWay { Unknown, Descriptor, Proc, None };
std::atomic<LinkWay> g_linkWay{LinkWay::Unknown};
constexpr int kNamedTemp = -2; // createUnnamed: make a named temporary file instead

int linkUnnamed(int fd, int dir, const std::string &to, LinkWay way)
{
    FileIo &io = FileIo::current();
    if (way == LinkWay::Descriptor) {
        return io.linkat(fd, "", dir, to.c_str(), AT_EMPTY_PATH);
    }
    char proc[32];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    return io.linkat(AT_FDCWD, proc, dir, to.c_str(), AT_SYMLINK_FOLLOW);
}

// Links a throw-away unnamed file in `folder` under a temporary name and removes it again, each
// way in turn. ENOENT is how linkat refuses a way; any other failure tells nothing about the ways.
LinkWay findLinkWay(int dir, const std::string &folder)
{
    for (LinkWay way : {LinkWay::Descriptor, LinkWay::Proc}) {
        const int fd = FileIo::current().openUnnamedAt(dir, folder.c_str());
        if (fd < 0) {
            return LinkWay::Unknown;
        }
        const std::string name = tempNameBeside(folder + "/probe");
        const int linked = linkUnnamed(fd, dir, name, way);
        const int error = errno;
        ::close(fd);
        if (linked == 0) {
            ::unlinkat(dir, name.c_str(), 0);
            return way;
        }
        if (error != ENOENT) {
            return LinkWay::Unknown;
        }
    }
    return LinkWay::None;
}

// The folder a thread last made a file in, and whether unnamed files suit it.
struct UnnamedFolder {
    std::string folder;
    bool usable = false;
};
thread_local UnnamedFolder t_lastFolder;

// A new unnamed file in `folder` (its path; `at` relative to `dir` names it), for writing;
// kNamedTemp where unnamed files are not to be had
// or not to be used: file systems without them, network and user-space file systems (whose
// close() may report a late write error, and the file would have its name by then), and a
// process that cannot link them. -1 with `error` for a failure a named file would meet as well.
int createUnnamed(const std::string &folder, int dir, const std::string &at, int &error)
{
    LinkWay way = g_linkWay.load(std::memory_order_relaxed);
    if (way == LinkWay::None || (t_lastFolder.folder == folder && !t_lastFolder.usable)) {
        return kNamedTemp;
    }
    if (way == LinkWay::Unknown) {
        way = findLinkWay(dir, at);
        if (way == LinkWay::None) {
            g_linkWay.store(way);
            return kNamedTemp;
        }
        if (way != LinkWay::Unknown) {
            g_linkWay.store(way);
        }
    }
    const int fd = FileIo::current().openUnnamedAt(dir, at.c_str());
    if (fd < 0) {
        error = errno;
        if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
            return -1;
        }
        t_lastFolder = {folder, false};
        return kNamedTemp;
    }
    if (t_lastFolder.folder != folder || !t_lastFolder.usable) {
        t_lastFolder = {folder, isLocalFileSystem(fd) && way != LinkWay::Unknown};
        if (!t_lastFolder.usable) {
            ::close(fd);
            return kNamedTemp;
        }
    }
    return fd;
}

} // namespace

std::string copyErrorText(int error)
{
    switch (error) {
    case 0:
        return "The operation completed successfully.";
    case kCopyCancelled:
        return "The operation was stopped.";
    case kCopySameFile:
        return "Source and destination are the same file.";
    case kCopyOutOfMemory:
        return "Not enough memory for the copy buffer.";
    case kCopySourceChanged:
        return "The file changed while it was read.";
    default: {
        char buf[256];
        return std::string(strerror_r(error, buf, sizeof buf));
    }
    }
}

bool StagedCopy::write(const std::string &source, const std::string &destination, const CopyOptions &options,
                       int &error)
{
    discard();
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are copied.
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (in < 0) {
        error = errno;
        return false;
    }
    const bool ok = write(in, source, destination, nullptr, options, error);
    ::close(in);
    return ok;
}

bool StagedCopy::write(int in, const std::string &source, const std::string &destination,
                       const PathStat *knownDestination, const CopyOptions &options, int &error)
{
    discard();
    m_source = source;
    m_written = 0;
    m_syncName = false;
    m_syncPending = false;
    try {
        error = stage(in, destination, knownDestination, options);
    } catch (const std::bad_alloc &) {
        error = kCopyOutOfMemory;
    }
    if (error != 0) {
        discard();
        return false;
    }
    return true;
}

int StagedCopy::stage(int in, const std::string &destination, const PathStat *knownDestination,
                      const CopyOptions &options)
{
    struct stat st;
    if (::fstat(in, &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    m_sourceStat = fromStat(st);
    m_sourceCtimeNs = toNs(st.st_ctim);
    m_sourceUid = st.st_uid;
    m_sourceGid = st.st_gid;
    const PathStat dst = knownDestination != nullptr ? *knownDestination : statPath(destination);
    if (dst.exists && dst.dev == m_sourceStat.dev && dst.ino == m_sourceStat.ino) {
        return kCopySameFile;
    }
    if (dst.isFolder) {
        return EISDIR;
    }
    // A new file is made without a name and linked in place when complete; a copy that replaces
    // a file, or that is to be synced, goes through a named temporary file and a rename.
    if (int error = createTemp(destination, !dst.exists && !options.syncData, options.folder); error != 0) {
        return error;
    }
    if (int error = DataCopy(in, m_out, options, st).run(m_written); error != 0) {
        return error;
    }
    struct stat after;
    if (::fstat(in, &after) != 0) {
        return errno;
    }
    if (!sameState(st, after)) {
        return kCopySourceChanged;
    }
    return finish(in, options);
}

// Creates the temporary file: unnamed where it may be, else named, with the live-file lock taken
// on it at once; a duplicate descriptor keeps the lock once the written one is closed.
int StagedCopy::createTemp(const std::string &destination, bool unnamed, int folder)
{
    const std::string::size_type slash = destination.rfind('/');
    const std::string folderPath = slash == std::string::npos ? std::string(".")
                                   : slash == 0               ? std::string("/")
                                                              : destination.substr(0, slash);
    m_dir = folder >= 0 ? folder : AT_FDCWD;
    m_at = folder >= 0 ? destination.substr(slash + 1) : destination; // npos + 1 is 0
    m_destination = destination;
    if (unnamed) {
        int error = 0;
        const int out = createUnnamed(folderPath, m_dir, folder >= 0 ? std::string(".") : folderPath, error);
        if (out >= 0) {
            m_out = out;
            m_unnamed = true;
            return 0;
        }
        if (out != kNamedTemp) {
            return error;
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path;
        int error = 0;
        const int out = createTempAt(m_dir, m_at, path, error);
        if (out < 0) {
            return error;
        }
        if (::flock(out, LOCK_EX | LOCK_NB) != 0) {
            ::close(out); // another run's clean-up took the fresh file and removes it: another name
            continue;
        }
        const int mark = ::fcntl(out, F_DUPFD_CLOEXEC, 0);
        if (mark < 0) {
            error = errno;
            ::close(out);
            ::unlinkat(m_dir, path.c_str(), 0);
            return error;
        }
        m_out = out;
        m_mark = mark;
        m_temp = m_dir == AT_FDCWD ? path : destination.substr(0, slash + 1) + path;
        m_tempAt = std::move(path);
        holdTempName(m_tempAt);
        return 0;
    }
    return EEXIST;
}

int StagedCopy::finish(int in, const CopyOptions &options)
{
    copyUserAttributes(in, m_out);
    const struct timespec times[2] = {fromNs(m_sourceStat.atimeNs), fromNs(m_sourceStat.mtimeNs)};
    if (::futimens(m_out, times) != 0) {
        return errno;
    }
    mode_t keep = S_IRWXU | S_IRWXG | S_IRWXO | S_ISVTX;
    struct stat copy;
    // Set-user-ID and set-group-ID stay where the copy has the source's owner (group): they then
    // give nobody more than the source gave.
    if ((m_sourceStat.mode & (S_ISUID | S_ISGID)) != 0 && ::fstat(m_out, &copy) == 0) {
        keep |= (copy.st_uid == m_sourceUid ? S_ISUID : 0) | (copy.st_gid == m_sourceGid ? S_ISGID : 0);
    }
    if (::fchmod(m_out, static_cast<mode_t>(m_sourceStat.mode) & keep) != 0) {
        return errno;
    }
    if (options.carryArchiveMark) {
        const std::uint32_t attributes = FileAttributes::fromStat(m_source, asStat(m_sourceStat));
        int error = 0;
        if ((attributes & faArchive) == 0 && !FileAttributes::writeFd(m_out, attributes, &error) &&
            error != ENOTSUP && error != EOPNOTSUPP) {
            return error;
        }
    }
    if (options.syncData) {
        // The disk starts writing now; the sync itself comes later (syncWritten or commit), when
        // other copies' data is under way too and one journal commit covers many files.
        ::sync_file_range(m_out, 0, 0, SYNC_FILE_RANGE_WRITE);
        m_syncPending = true;
    }
    m_syncName = options.syncName;
    if (m_unnamed) {
        // Kept open: the descriptor is the file until commit() links it (a local file system's
        // close() reports nothing late).
        m_ready = true;
        return 0;
    }
    const int out = m_out;
    m_out = -1;
    int error = 0;
    return closeChecked(out, error) ? 0 : error;
}

bool StagedCopy::syncWritten(int &error)
{
    if (!m_syncPending) {
        return true;
    }
    // The mark shares the written file's open file: its sync covers what was written.
    if (FileIo::current().fdatasync(m_mark) != 0) {
        error = errno;
        discard();
        return false;
    }
    m_syncPending = false;
    return true;
}

bool StagedCopy::commit(int &error)
{
    if (m_unnamed) {
        return commitUnnamed(error);
    }
    if (m_temp.empty() || m_out >= 0) {
        error = ENOENT;
        return false;
    }
    if (!syncWritten(error)) {
        return false;
    }
    if (FileIo::current().renameAt(m_dir, m_tempAt.c_str(), m_at.c_str()) != 0) {
        error = errno;
        discard();
        return false;
    }
    // The copy is in place. The mark only held the lock: a duplicate of the written descriptor,
    // closed already, so nothing was written through it and closing it loses nothing.
    releaseTempName(m_tempAt);
    m_temp.clear();
    m_tempAt.clear();
    closeQuietly(m_mark);
    if (m_syncName && !syncNames(error)) {
        return false; // renamed, but the caller must not remove the original on this
    }
    return true;
}

// Links the complete unnamed file under the destination's name. A destination that appeared since
// the copy began is replaced, as a rename would: the file goes under a temporary name first.
bool StagedCopy::commitUnnamed(int &error)
{
    if (!m_ready) {
        error = ENOENT;
        return false;
    }
    const LinkWay way = g_linkWay.load(std::memory_order_relaxed);
    if (linkUnnamed(m_out, m_dir, m_at, way) != 0) {
        error = errno;
        if (error != EEXIST) {
            discard();
            return false;
        }
        for (int attempt = 0; error == EEXIST && attempt < 100; ++attempt) {
            releaseTempName(m_tempAt);
            m_tempAt = tempNameBeside(m_at);
            holdTempName(m_tempAt);
            error = linkUnnamed(m_out, m_dir, m_tempAt, way) == 0 ? 0 : errno;
        }
        if (error != 0) {
            releaseTempName(m_tempAt);
            m_tempAt.clear();
            discard();
            return false;
        }
        m_temp = m_dir == AT_FDCWD ? m_tempAt : folderPart(m_destination) + m_tempAt;
        if (FileIo::current().renameAt(m_dir, m_tempAt.c_str(), m_at.c_str()) != 0) {
            error = errno;
            discard();
            return false;
        }
        releaseTempName(m_tempAt);
        m_temp.clear();
        m_tempAt.clear();
    }
    m_unnamed = false;
    m_ready = false;
    const int out = m_out;
    m_out = -1;
    if (!closeChecked(out, error)) {
        ::unlinkat(m_dir, m_at.c_str(), 0); // not to be trusted: as if never made
        return false;
    }
    return true;
}

void StagedCopy::discard()
{
    m_unnamed = false;
    m_ready = false;
    closeQuietly(m_out);
    if (!m_tempAt.empty()) {
        ::unlinkat(m_dir, m_tempAt.c_str(), 0);
        releaseTempName(m_tempAt);
        m_tempAt.clear();
    }
    m_temp.clear();
    closeQuietly(m_mark);
}

// Syncs the destination's folder, so that the new name lasts.
bool StagedCopy::syncNames(int &error)
{
    if (m_dir == AT_FDCWD) {
        return syncFolderOf(m_destination, error);
    }
    return syncFolderAt(m_dir, ".", error);
}

bool StagedCopy::markSourceArchived(int &error)
{
    const struct stat asOf = asStat(m_sourceStat);
    if (m_source.empty() || (FileAttributes::fromStat(m_source, asOf) & faArchive) == 0) {
        return true;
    }
    return FileAttributes::markArchiveCleared(m_source, asOf, &error);
}

bool StagedCopy::sourceIsAsCopied(const std::string &source) const
{
    struct stat now;
    return !m_source.empty() && ::stat(source.c_str(), &now) == 0 &&
           static_cast<std::uint64_t>(now.st_dev) == m_sourceStat.dev &&
           static_cast<std::uint64_t>(now.st_ino) == m_sourceStat.ino && now.st_size == m_sourceStat.size &&
           toNs(now.st_mtim) == m_sourceStat.mtimeNs && toNs(now.st_ctim) == m_sourceCtimeNs;
}

bool CopySyncBatch::sync(StagedCopy &copy, std::uint64_t ticket, int &error)
{
    // Below this many written copies waiting for their sync, a sync of each costs less than one
    // of the whole file system.
    constexpr std::uint64_t kBatchMinimum = 8;
    if (!copy.m_syncPending) {
        return true;
    }
    struct stat st;
    if (::fstat(copy.m_mark, &st) != 0) {
        error = errno;
        copy.discard();
        return false;
    }
    auto fs = std::find_if(m_fileSystems.begin(), m_fileSystems.end(),
                           [&](const FileSystem &f) { return f.dev == static_cast<std::uint64_t>(st.st_dev); });
    if (fs == m_fileSystems.end()) {
        fs = m_fileSystems.insert(m_fileSystems.end(),
                                  {static_cast<std::uint64_t>(st.st_dev), fileSystemSyncCoversFiles(copy.m_mark), 0});
    }
    ++m_synced; // from here on, this copy is synced or discarded
    if (fs->wholeSyncCovers && ticket <= fs->coveredUpTo) {
        copy.m_syncPending = false; // a syncfs that began after this copy was complete
        return true;
    }
    const std::uint64_t complete = m_completed.load();
    if (!fs->wholeSyncCovers || complete - (m_synced - 1) < kBatchMinimum) {
        return copy.syncWritten(error);
    }
    if (::syncfs(copy.m_mark) != 0) {
        error = errno;
        copy.discard();
        return false;
    }
    fs->coveredUpTo = complete;
    copy.m_syncPending = false;
    return true;
}

int removeStaleCopyTemps(const std::string &folder)
{
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    const int removed = removeStaleCopyTemps(fd);
    ::close(fd);
    return removed;
}

int removeStaleCopyTemps(int folder)
{
    const int dfd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) {
        return 0;
    }
    DIR *dir = ::fdopendir(dfd);
    if (dir == nullptr) {
        ::close(dfd);
        return 0;
    }
    int removed = 0;
    while (struct dirent *e = ::readdir(dir)) {
        if (!isCopyTempName(e->d_name) || tempNameHeld(e->d_name)) {
            continue;
        }
        int fd = ::openat(dfd, e->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        struct stat st;
        // A copy still running holds its lock on the file.
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(dfd, e->d_name, 0) == 0) {
            ++removed;
        }
        closeQuietly(fd);
    }
    ::closedir(dir);
    return removed;
}

void detail::setKernelCopyEnabled(bool enabled)
{
    g_kernelCopy.store(enabled);
}

void detail::forgetLinkWay()
{
    g_linkWay.store(LinkWay::Unknown);
}

} // namespace qv
