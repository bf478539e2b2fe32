// RootFolder: names below a root resolved from its descriptor, never through a symbolic link.
#include "beneath/RootFolder.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace qv {
namespace {

// 1: openat2 is tried; 0: the walk is used (no openat2 here, or a test asked for the walk).
std::atomic<bool> g_kernelResolve{true};
std::atomic<bool> g_kernelProbed{false};

using Parts = std::vector<std::string_view>;

// The components of `relative` without empty and "." ones; EXDEV for an absolute name or "..".
bool splitRelative(std::string_view relative, Parts &parts, int &error)
{
    parts.clear();
    if (!relative.empty() && relative.front() == '/') {
        error = EXDEV;
        return false;
    }
    std::size_t at = 0;
    while (at <= relative.size()) {
        std::size_t end = relative.find('/', at);
        if (end == std::string_view::npos) {
            end = relative.size();
        }
        const std::string_view part = relative.substr(at, end - at);
        if (part == "..") {
            error = EXDEV;
            return false;
        }
        if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    return true;
}

std::string joined(const Parts &parts, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) {
            out += '/';
        }
        out.append(parts[i]);
    }
    return out.empty() ? std::string(".") : out;
}

void closeOwned(int fd, int root)
{
    if (fd >= 0 && fd != root) {
        ::close(fd);
    }
}

bool isLinkAt(int folder, const std::string &name)
{
    struct stat st;
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// One folder level below `folder`, opened without following a link: ELOOP for a link.
int openLevel(int folder, const std::string &name, int &error)
{
    const int fd = ::openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ENOTDIR && isLinkAt(folder, name) ? ELOOP : errno;
    }
    return fd;
}

bool kernelResolve(int root)
{
    if (!g_kernelResolve.load(std::memory_order_relaxed)) {
        return false;
    }
    if (!g_kernelProbed.load(std::memory_order_acquire)) {
        struct open_how how = {};
        how.flags = O_PATH | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const long fd = ::syscall(SYS_openat2, root, ".", &how, sizeof how);
        if (fd < 0) {
            g_kernelResolve.store(false);
        } else {
            ::close(static_cast<int>(fd));
        }
        g_kernelProbed.store(true, std::memory_order_release);
    }
    return g_kernelResolve.load(std::memory_order_relaxed);
}

// The walk: each folder level opened with O_NOFOLLOW from the one before, then the last name.
int walkOpen(int root, const Parts &parts, int flags, mode_t mode, int &error)
{
    int folder = root;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const int next = openLevel(folder, std::string(parts[i]), error);
        closeOwned(folder, root);
        if (next < 0) {
            return -1;
        }
        folder = next;
    }
    const std::string last = parts.empty() ? std::string(".") : std::string(parts.back());
    const int fd = ::openat(folder, last.c_str(), flags | O_NOFOLLOW, mode);
    if (fd < 0) {
        error = errno;
        if (error == ENOTDIR && isLinkAt(folder, last)) {
            error = ELOOP;
        }
    } else if ((flags & O_PATH) != 0) {
        // O_PATH with O_NOFOLLOW opens a link itself: refused like any other.
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISLNK(st.st_mode)) {
            ::close(fd);
            error = ELOOP;
            closeOwned(folder, root);
            return -1;
        }
    }
    closeOwned(folder, root);
    return fd;
}

std::string withoutTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

} // namespace

RootFolder::~RootFolder()
{
    close();
}

RootFolder::RootFolder(RootFolder &&other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path))
{
    other.m_fd = -1;
}

RootFolder &RootFolder::operator=(RootFolder &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

bool RootFolder::open(const std::string &path, int &error)
{
    close();
    const std::string clean = withoutTrailingSlashes(path);
    if (clean.empty()) {
        error = ENOENT;
        return false;
    }
    m_fd = ::open(clean.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        error = errno;
        return false;
    }
    m_path = clean;
    return true;
}

bool RootFolder::openMaking(const std::string &path, mode_t mode, int &error)
{
    return makeFolderChain(path, mode, error) && open(path, error);
}

void RootFolder::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_path.clear();
}

bool RootFolder::relativeOf(std::string_view path, std::string &relative) const
{
    return m_fd >= 0 && relativeTo(m_path, path, relative);
}

std::string RootFolder::pathOf(std::string_view relative) const
{
    if (relative.empty()) {
        return m_path;
    }
    return (m_path == "/" ? std::string() : m_path) + "/" + std::string(relative);
}

bool RootFolder::isFolder(std::string_view relative, int &error) const
{
    const int fd = openBeneath(relative, O_PATH | O_DIRECTORY, 0, error);
    if (fd < 0) {
        if (error == ENOTDIR && !linkOnTheWay(relative).empty()) {
            error = ELOOP;
        }
        return false;
    }
    ::close(fd);
    return true;
}

int RootFolder::openBeneath(std::string_view relative, int flags, mode_t mode, int &error) const
{
    if (m_fd < 0) {
        error = EBADF;
        return -1;
    }
    Parts parts;
    if (!splitRelative(relative, parts, error)) {
        return -1;
    }
    if ((flags & O_CREAT) == 0 && (flags & O_TMPFILE) != O_TMPFILE) {
        mode = 0;
    }
    flags |= O_CLOEXEC;
    if (kernelResolve(m_fd)) {
        struct open_how how = {};
        how.flags = static_cast<std::uint64_t>(flags);
        how.mode = mode;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const std::string name = joined(parts, parts.size());
        const long fd = ::syscall(SYS_openat2, m_fd, name.c_str(), &how, sizeof how);
        if (fd < 0) {
            error = errno;
            return -1;
        }
        return static_cast<int>(fd);
    }
    return walkOpen(m_fd, parts, flags, mode, error);
}

int RootFolder::openParent(std::string_view relative, std::string &name, int &error) const
{
    Parts parts;
    if (!splitRelative(relative, parts, error)) {
        return -1;
    }
    if (parts.empty()) {
        error = EINVAL;
        return -1;
    }
    name.assign(parts.back());
    return openBeneath(joined(parts, parts.size() - 1), O_PATH | O_DIRECTORY, 0, error);
}

bool RootFolder::makeFolders(std::string_view relative, mode_t mode, int &error) const
{
    // Most folders exist already: one look beneath the root settles them.
    if (isFolder(relative, error)) {
        return true;
    }
    if (error != ENOENT) {
        return false;
    }
    Parts parts;
    if (!splitRelative(relative, parts, error)) {
        return false;
    }
    int folder = m_fd;
    for (const std::string_view part : parts) {
        const std::string name(part);
        int next = openLevel(folder, name, error);
        if (next < 0 && error == ENOENT) {
            if (::mkdirat(folder, name.c_str(), mode) != 0 && errno != EEXIST) {
                error = errno;
                closeOwned(folder, m_fd);
                return false;
            }
            next = openLevel(folder, name, error);
        }
        closeOwned(folder, m_fd);
        if (next < 0) {
            return false;
        }
        folder = next;
    }
    closeOwned(folder, m_fd);
    return true;
}

bool RootFolder::remove(std::string_view relative, bool isFolder, int &error) const
{
    std::string name;
    const int parent = openParent(relative, name, error);
    if (parent < 0) {
        return false;
    }
    const bool ok = ::unlinkat(parent, name.c_str(), isFolder ? AT_REMOVEDIR : 0) == 0;
    if (!ok) {
        error = errno;
    }
    ::close(parent);
    return ok;
}

bool RootFolder::rename(std::string_view from, std::string_view to, int &error) const
{
    std::string fromName;
    std::string toName;
    const int fromParent = openParent(from, fromName, error);
    if (fromParent < 0) {
        return false;
    }
    const int toParent = openParent(to, toName, error);
    if (toParent < 0) {
        ::close(fromParent);
        return false;
    }
    const bool ok = ::renameat(fromParent, fromName.c_str(), toParent, toName.c_str()) == 0;
    if (!ok) {
        error = errno;
    }
    ::close(fromParent);
    ::close(toParent);
    return ok;
}

std::string RootFolder::linkOnTheWay(std::string_view relative) const
{
    Parts parts;
    int error = 0;
    if (m_fd < 0 || !splitRelative(relative, parts, error)) {
        return {};
    }
    int folder = m_fd;
    std::string found;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string name(parts[i]);
        if (isLinkAt(folder, name)) {
            found = joined(parts, i + 1);
            break;
        }
        const int next = openLevel(folder, name, error);
        closeOwned(folder, m_fd);
        folder = next;
        if (next < 0) {
            break;
        }
    }
    closeOwned(folder, m_fd);
    return found;
}

bool RootFolder::useKernelResolve(bool use)
{
    const bool was = g_kernelResolve.exchange(use);
    if (use) {
        g_kernelProbed.store(false);
    }
    return was;
}

bool relativeTo(std::string_view root, std::string_view path, std::string &relative)
{
    const std::string base = withoutTrailingSlashes(root);
    const std::string clean = withoutTrailingSlashes(path);
    std::string_view rest;
    if (base.empty()) {
        return false;
    }
    if (clean == base) {
        rest = {};
    } else if (base == "/" && !clean.empty() && clean.front() == '/') {
        rest = std::string_view(clean).substr(1);
    } else if (clean.size() > base.size() && clean.compare(0, base.size(), base) == 0 &&
               clean[base.size()] == '/') {
        rest = std::string_view(clean).substr(base.size() + 1);
    } else {
        return false;
    }
    while (!rest.empty() && rest.front() == '/') {
        rest.remove_prefix(1);
    }
    relative.assign(rest);
    return true;
}

bool makeFolderChain(const std::string &folder, mode_t mode, int &error)
{
    std::string existing = withoutTrailingSlashes(folder);
    if (existing.empty()) {
        error = ENOENT;
        return false;
    }
    // The deepest level that exists, as the system resolves it; the rest is made beneath it.
    std::vector<std::string> missing;
    for (;;) {
        struct stat st;
        if (::stat(existing.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                error = ENOTDIR;
                return false;
            }
            break;
        }
        if (errno != ENOENT) {
            error = errno;
            return false;
        }
        const std::size_t slash = existing.rfind('/');
        missing.push_back(existing.substr(slash == std::string::npos ? 0 : slash + 1));
        existing = slash == std::string::npos ? std::string(".")
                   : slash == 0              ? std::string("/")
                                             : withoutTrailingSlashes(existing.substr(0, slash));
    }
    // ".." in a level still to be made names the level before it, as the system would.
    std::vector<std::string> levels;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (*it == ".." && !levels.empty()) {
            levels.pop_back();
        } else if (!it->empty() && *it != ".") {
            levels.push_back(*it);
        }
    }
    if (levels.empty()) {
        return true;
    }
    std::string rest;
    for (const std::string &level : levels) {
        rest += rest.empty() ? level : "/" + level;
    }
    RootFolder root;
    return root.open(existing, error) && root.makeFolders(rest, mode, error);
}

} // namespace qv
