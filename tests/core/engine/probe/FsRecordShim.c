// A preloaded library that records the file system calls a program makes below one folder, in the
// order they take effect, for the crash-state tests. One line per call, appended to the file named
// by QV_FSREC_LOG; only paths below QV_FSREC_ROOT (and descriptors opened on them) are recorded.
// QV_FSREC_ZONES (folders separated by ':') splits the tree into separate file systems: a rename
// or link from one zone to another fails with EXDEV, as between two disks. copy_file_range is
// refused (ENOSYS), so that every byte goes through a recorded write.
//
// Lines (fields separated by one blank; a path is the rest of the line, two paths are separated by
// a tab; data is hex):
//   open FD FLAGS PATH (with O_TMPFILE: a new file without a name in the folder PATH) | linkfd FD TO
//   | write FD OFFSET HEX | trunc FD LENGTH | truncp LENGTH PATH | close FD | dup FD NEW
//   fsync FD | fdatasync FD | syncfs | rename FROM\tTO | link FROM\tTO | unlink PATH | mkdir PATH
//   rmdir PATH | mtime FD SEC NSEC | mtimep SEC NSEC PATH | chmod FD MODE | chmodp MODE PATH
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#define MAX_FD 4096

static pthread_mutex_t g_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
static int g_log = -2;
static char g_root[PATH_MAX];
static size_t g_rootLength;
static char g_zones[8][PATH_MAX];
static int g_zoneCount;
static unsigned char g_tracked[MAX_FD];

static void setup(void)
{
    if (g_log != -2) {
        return;
    }
    g_log = -1;
    const char *log = getenv("QV_FSREC_LOG");
    const char *root = getenv("QV_FSREC_ROOT");
    if (log == NULL || root == NULL || strlen(root) >= sizeof g_root) {
        return;
    }
    strcpy(g_root, root);
    g_rootLength = strlen(g_root);
    const char *zones = getenv("QV_FSREC_ZONES");
    while (zones != NULL && *zones != '\0' && g_zoneCount < 8) {
        const char *end = strchr(zones, ':');
        size_t n = end != NULL ? (size_t)(end - zones) : strlen(zones);
        if (n < PATH_MAX) {
            memcpy(g_zones[g_zoneCount], zones, n);
            g_zones[g_zoneCount++][n] = '\0';
        }
        zones = end != NULL ? end + 1 : NULL;
    }
    g_log = (int)syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
}

static void emit(const char *text, size_t n)
{
    while (n > 0) {
        ssize_t w = syscall(SYS_write, g_log, text, n);
        if (w <= 0) {
            return;
        }
        text += w;
        n -= (size_t)w;
    }
}

static void line(const char *format, ...)
{
    char buf[3 * PATH_MAX];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n > 0) {
        emit(buf, (size_t)n < sizeof buf ? (size_t)n : sizeof buf - 1);
    }
}

static void hexLine(const char *head, const void *data, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    emit(head, strlen(head));
    char chunk[2048];
    const unsigned char *p = data;
    while (n > 0) {
        size_t k = n > sizeof chunk / 2 ? sizeof chunk / 2 : n;
        for (size_t i = 0; i < k; ++i) {
            chunk[2 * i] = digits[p[i] >> 4];
            chunk[2 * i + 1] = digits[p[i] & 15];
        }
        emit(chunk, 2 * k);
        p += k;
        n -= k;
    }
    emit("\n", 1);
}

// `path` made absolute against `dirfd`; false when it cannot be told.
static int absolute(int dirfd, const char *path, char *out)
{
    if (path == NULL) {
        return 0;
    }
    if (path[0] == '/') {
        return snprintf(out, PATH_MAX, "%s", path) < PATH_MAX;
    }
    char base[PATH_MAX];
    if (dirfd == AT_FDCWD) {
        if (getcwd(base, sizeof base) == NULL) {
            return 0;
        }
    } else {
        char link[64];
        snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
        ssize_t n = readlink(link, base, sizeof base - 1);
        if (n <= 0) {
            return 0;
        }
        base[n] = '\0';
    }
    return snprintf(out, PATH_MAX, "%s/%s", base, path) < PATH_MAX;
}

static int underRoot(const char *path)
{
    return g_log >= 0 && strncmp(path, g_root, g_rootLength) == 0 &&
           (path[g_rootLength] == '/' || path[g_rootLength] == '\0');
}

static int zoneOf(const char *path)
{
    for (int i = 0; i < g_zoneCount; ++i) {
        size_t n = strlen(g_zones[i]);
        if (strncmp(path, g_zones[i], n) == 0 && (path[n] == '/' || path[n] == '\0')) {
            return i;
        }
    }
    return -1;
}

static int tracked(int fd)
{
    return g_log >= 0 && fd >= 0 && fd < MAX_FD && g_tracked[fd];
}

static int openCommon(int dirfd, const char *path, int flags, mode_t mode)
{
    pthread_mutex_lock(&g_lock);
    setup();
    char abs[PATH_MAX];
    int fd = (int)syscall(SYS_openat, dirfd, path, flags, mode);
    if (fd >= 0 && fd < MAX_FD) {
        g_tracked[fd] = 0;
        if (absolute(dirfd, path, abs) && underRoot(abs)) {
            g_tracked[fd] = 1;
            line("open %d %d %s\n", fd, flags, abs);
        }
    }
    pthread_mutex_unlock(&g_lock);
    return fd;
}

#define MODE_ARG                                                                                   \
    mode_t mode = 0;                                                                               \
    if (flags & (O_CREAT | __O_TMPFILE)) {                                                          \
        va_list args;                                                                              \
        va_start(args, flags);                                                                     \
        mode = va_arg(args, mode_t);                                                               \
        va_end(args);                                                                              \
    }

int open(const char *path, int flags, ...)
{
    MODE_ARG
    return openCommon(AT_FDCWD, path, flags, mode);
}
int open64(const char *path, int flags, ...)
{
    MODE_ARG
    return openCommon(AT_FDCWD, path, flags, mode);
}
int openat(int dirfd, const char *path, int flags, ...)
{
    MODE_ARG
    return openCommon(dirfd, path, flags, mode);
}
int openat64(int dirfd, const char *path, int flags, ...)
{
    MODE_ARG
    return openCommon(dirfd, path, flags, mode);
}

static void recordWrite(int fd, const void *data, ssize_t n, off_t offset)
{
    if (n > 0) {
        char head[64];
        snprintf(head, sizeof head, "write %d %lld ", fd, (long long)offset);
        hexLine(head, data, (size_t)n);
    }
}

ssize_t write(int fd, const void *data, size_t n)
{
    if (!tracked(fd)) {
        return syscall(SYS_write, fd, data, n);
    }
    pthread_mutex_lock(&g_lock);
    ssize_t r = syscall(SYS_write, fd, data, n);
    int saved = errno;
    if (r > 0) {
        recordWrite(fd, data, r, lseek(fd, 0, SEEK_CUR) - r);
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

ssize_t pwrite(int fd, const void *data, size_t n, off_t offset)
{
    if (!tracked(fd)) {
        return syscall(SYS_pwrite64, fd, data, n, offset);
    }
    pthread_mutex_lock(&g_lock);
    ssize_t r = syscall(SYS_pwrite64, fd, data, n, offset);
    int saved = errno;
    recordWrite(fd, data, r, offset);
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}
ssize_t pwrite64(int fd, const void *data, size_t n, off_t offset)
{
    return pwrite(fd, data, n, offset);
}

ssize_t writev(int fd, const struct iovec *iov, int count)
{
    if (!tracked(fd)) {
        return syscall(SYS_writev, fd, iov, count);
    }
    pthread_mutex_lock(&g_lock);
    off_t at = lseek(fd, 0, SEEK_CUR);
    ssize_t r = syscall(SYS_writev, fd, iov, count);
    int saved = errno;
    if (r > 0) {
        at = lseek(fd, 0, SEEK_CUR) - r;
        ssize_t left = r;
        for (int i = 0; i < count && left > 0; ++i) {
            ssize_t k = (ssize_t)iov[i].iov_len < left ? (ssize_t)iov[i].iov_len : left;
            recordWrite(fd, iov[i].iov_base, k, at);
            at += k;
            left -= k;
        }
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

ssize_t copy_file_range(int in, off_t *inOffset, int out, off_t *outOffset, size_t n, unsigned flags)
{
    (void)in, (void)inOffset, (void)out, (void)outOffset, (void)n, (void)flags;
    errno = ENOSYS;
    return -1;
}

#define FD_CALL(call, text, ...)                                                                   \
    pthread_mutex_lock(&g_lock);                                                                   \
    int r = (int)(call);                                                                           \
    int saved = errno;                                                                             \
    if (r == 0 && tracked(fd)) {                                                                   \
        line(text, __VA_ARGS__);                                                                   \
    }                                                                                              \
    pthread_mutex_unlock(&g_lock);                                                                 \
    errno = saved;                                                                                 \
    return r;

int ftruncate(int fd, off_t length)
{
    FD_CALL(syscall(SYS_ftruncate, fd, length), "trunc %d %lld\n", fd, (long long)length)
}
int ftruncate64(int fd, off_t length)
{
    return ftruncate(fd, length);
}
int fsync(int fd)
{
    FD_CALL(syscall(SYS_fsync, fd), "fsync %d\n", fd)
}
int fdatasync(int fd)
{
    FD_CALL(syscall(SYS_fdatasync, fd), "fdatasync %d\n", fd)
}
int fchmod(int fd, mode_t mode)
{
    FD_CALL(syscall(SYS_fchmod, fd, mode), "chmod %d %o\n", fd, (unsigned)mode)
}

int syncfs(int fd)
{
    pthread_mutex_lock(&g_lock);
    setup();
    int r = (int)syscall(SYS_syncfs, fd);
    int saved = errno;
    if (r == 0 && g_log >= 0) {
        line("syncfs\n");
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

void sync(void)
{
    pthread_mutex_lock(&g_lock);
    setup();
    syscall(SYS_sync);
    if (g_log >= 0) {
        line("syncfs\n");
    }
    pthread_mutex_unlock(&g_lock);
}

int futimens(int fd, const struct timespec times[2])
{
    pthread_mutex_lock(&g_lock);
    int r = (int)syscall(SYS_utimensat, fd, NULL, times, 0);
    int saved = errno;
    if (r == 0 && tracked(fd) && times != NULL && times[1].tv_nsec != UTIME_OMIT) {
        line("mtime %d %lld %ld\n", fd, (long long)times[1].tv_sec, times[1].tv_nsec);
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

int utimensat(int dirfd, const char *path, const struct timespec times[2], int flags)
{
    pthread_mutex_lock(&g_lock);
    setup();
    int r = (int)syscall(SYS_utimensat, dirfd, path, times, flags);
    int saved = errno;
    char abs[PATH_MAX];
    if (r == 0 && times != NULL && times[1].tv_nsec != UTIME_OMIT && absolute(dirfd, path, abs) && underRoot(abs)) {
        line("mtimep %lld %ld %s\n", (long long)times[1].tv_sec, times[1].tv_nsec, abs);
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

int chmod(const char *path, mode_t mode)
{
    pthread_mutex_lock(&g_lock);
    setup();
    int r = (int)syscall(SYS_fchmodat, AT_FDCWD, path, mode);
    int saved = errno;
    char abs[PATH_MAX];
    if (r == 0 && absolute(AT_FDCWD, path, abs) && underRoot(abs)) {
        line("chmodp %o %s\n", (unsigned)mode, abs);
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

int truncate(const char *path, off_t length)
{
    pthread_mutex_lock(&g_lock);
    setup();
    int r = (int)syscall(SYS_truncate, path, length);
    int saved = errno;
    char abs[PATH_MAX];
    if (r == 0 && absolute(AT_FDCWD, path, abs) && underRoot(abs)) {
        line("truncp %lld %s\n", (long long)length, abs);
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

int close(int fd)
{
    pthread_mutex_lock(&g_lock);
    int wasTracked = tracked(fd);
    if (fd >= 0 && fd < MAX_FD) {
        g_tracked[fd] = 0;
    }
    int r = (int)syscall(SYS_close, fd);
    int saved = errno;
    if (wasTracked) {
        line("close %d\n", fd);
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

static int noteDup(int fd, int r)
{
    if (r >= 0 && r < MAX_FD) {
        g_tracked[r] = 0;
        if (tracked(fd)) {
            g_tracked[r] = 1;
            line("dup %d %d\n", fd, r);
        }
    }
    return r;
}

int dup(int fd)
{
    pthread_mutex_lock(&g_lock);
    int r = noteDup(fd, (int)syscall(SYS_dup, fd));
    int saved = errno;
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

int dup2(int fd, int to)
{
    pthread_mutex_lock(&g_lock);
    int r = noteDup(fd, (int)syscall(SYS_dup3, fd, to, 0));
    int saved = errno;
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

int fcntl(int fd, int command, ...)
{
    va_list args;
    va_start(args, command);
    long arg = va_arg(args, long);
    va_end(args);
    pthread_mutex_lock(&g_lock);
    int r = (int)syscall(SYS_fcntl, fd, command, arg);
    int saved = errno;
    if (command == F_DUPFD || command == F_DUPFD_CLOEXEC) {
        noteDup(fd, r);
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}
int fcntl64(int fd, int command, ...)
{
    va_list args;
    va_start(args, command);
    long arg = va_arg(args, long);
    va_end(args);
    return fcntl(fd, command, arg);
}

static int twoPaths(const char *verb, long number, int fromDir, const char *from, int toDir, const char *to,
                    unsigned flags)
{
    pthread_mutex_lock(&g_lock);
    setup();
    char a[PATH_MAX], b[PATH_MAX];
    int known = absolute(fromDir, from, a) && absolute(toDir, to, b);
    int r;
    if (known && g_zoneCount > 0 && zoneOf(a) != zoneOf(b)) {
        errno = EXDEV;
        r = -1;
    } else {
        r = (int)syscall(number, fromDir, from, toDir, to, flags);
    }
    int saved = errno;
    if (r == 0 && known && (underRoot(a) || underRoot(b))) {
        line("%s %s\t%s\n", verb, a, b);
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

int rename(const char *from, const char *to)
{
    return twoPaths("rename", SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0);
}
int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    return twoPaths("rename", SYS_renameat2, fromDir, from, toDir, to, 0);
}
int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned flags)
{
    return twoPaths("rename", SYS_renameat2, fromDir, from, toDir, to, flags);
}
int link(const char *from, const char *to)
{
    return twoPaths("link", SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0);
}
// The descriptor a link names (by AT_EMPTY_PATH, or through /proc/self/fd/N), or -1.
static int linkedFd(int fromDir, const char *from, int flags)
{
    if ((flags & AT_EMPTY_PATH) && from != NULL && from[0] == '\0') {
        return fromDir;
    }
    int fd = -1;
    char end = 0;
    if ((flags & AT_SYMLINK_FOLLOW) && from != NULL && sscanf(from, "/proc/self/fd/%d%c", &fd, &end) == 1) {
        return fd;
    }
    return -1;
}

int linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    int fd = linkedFd(fromDir, from, flags);
    if (fd < 0) {
        return twoPaths("link", SYS_linkat, fromDir, from, toDir, to, (unsigned)flags);
    }
    pthread_mutex_lock(&g_lock);
    setup();
    char b[PATH_MAX];
    int r = (int)syscall(SYS_linkat, fromDir, from, toDir, to, flags);
    int saved = errno;
    if (r == 0 && tracked(fd) && absolute(toDir, to, b)) {
        line("linkfd %d %s\n", fd, b);
    }
    pthread_mutex_unlock(&g_lock);
    errno = saved;
    return r;
}

static int onePath(const char *verb, int dirfd, const char *path, long result)
{
    int saved = errno;
    char abs[PATH_MAX];
    if (result == 0 && absolute(dirfd, path, abs) && underRoot(abs)) {
        line("%s %s\n", verb, abs);
    }
    errno = saved;
    return (int)result;
}

int unlink(const char *path)
{
    pthread_mutex_lock(&g_lock);
    setup();
    int r = onePath("unlink", AT_FDCWD, path, syscall(SYS_unlinkat, AT_FDCWD, path, 0));
    pthread_mutex_unlock(&g_lock);
    return r;
}
int unlinkat(int dirfd, const char *path, int flags)
{
    pthread_mutex_lock(&g_lock);
    setup();
    int r = onePath((flags & AT_REMOVEDIR) ? "rmdir" : "unlink", dirfd, path,
                    syscall(SYS_unlinkat, dirfd, path, flags));
    pthread_mutex_unlock(&g_lock);
    return r;
}
int rmdir(const char *path)
{
    pthread_mutex_lock(&g_lock);
    setup();
    int r = onePath("rmdir", AT_FDCWD, path, syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR));
    pthread_mutex_unlock(&g_lock);
    return r;
}
int mkdir(const char *path, mode_t mode)
{
    pthread_mutex_lock(&g_lock);
    setup();
    int r = onePath("mkdir", AT_FDCWD, path, syscall(SYS_mkdirat, AT_FDCWD, path, mode));
    pthread_mutex_unlock(&g_lock);
    return r;
}
int mkdirat(int dirfd, const char *path, mode_t mode)
{
    pthread_mutex_lock(&g_lock);
    setup();
    int r = onePath("mkdir", dirfd, path, syscall(SYS_mkdirat, dirfd, path, mode));
    pthread_mutex_unlock(&g_lock);
    return r;
}
