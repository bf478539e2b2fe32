// The "in use" probe against locks that this test and other processes hold.
#include "platform/FileLock.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qv;

namespace {

// A child process that takes a lock with `take` and keeps it until the parent closes the pipe.
class LockHolder
{
public:
    LockHolder(const std::string &path, int how)
    {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            int fd = ::open(path.c_str(), how == 2 ? O_RDONLY : O_RDWR);
            bool ok = fd >= 0;
            if (ok && how == 0) {
                struct flock fl = {};
                fl.l_type = F_WRLCK;
                fl.l_whence = SEEK_SET;
                ok = ::fcntl(fd, F_SETLK, &fl) == 0;
            } else if (ok && how == 1) {
                struct flock fl = {};
                fl.l_type = F_RDLCK;
                fl.l_whence = SEEK_SET;
                fl.l_start = 10;
                fl.l_len = 5;
                ok = ::fcntl(fd, F_SETLK, &fl) == 0;
            } else if (ok && how == 2) {
                ok = ::flock(fd, LOCK_SH) == 0;
            }
            char c = ok ? 'y' : 'n';
            (void)!::write(ready[1], &c, 1);
            (void)!::read(release[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char c = 'n';
        m_ok = ::read(ready[0], &c, 1) == 1 && c == 'y';
        ::close(ready[0]);
    }
    ~LockHolder()
    {
        if (m_release >= 0) {
            ::close(m_release);
        }
        if (m_pid > 0) {
            int status;
            ::waitpid(m_pid, &status, 0);
        }
    }
    bool ok() const { return m_ok; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_ok = false;
};

} // namespace

TEST(FileLockProbe, LocksOfOtherProcesses)
{
    std::string dir = qvtest::makeTempDir("locks");
    struct Case
    {
        const char *what;
        int how;
    };
    const Case cases[] = {
        {"whole-file write record lock", 0}, {"byte-range read record lock", 1}, {"shared flock", 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string f = dir + "/file-" + std::to_string(c.how);
        qvtest::writeFile(f, std::string(100, 'x'));
        EXPECT_EQ(FileLock::probe(f), FileLock::State::Free);
        {
            LockHolder holder(f, c.how);
            ASSERT_TRUE(holder.ok());
            EXPECT_EQ(FileLock::probe(f), FileLock::State::Locked);
        }
        EXPECT_EQ(FileLock::probe(f), FileLock::State::Free);
    }
}

TEST(FileLockProbe, LocksHeldInThisProcess)
{
    std::string f = qvtest::makeTempDir("ownlocks") + "/f";
    qvtest::writeFile(f, "content");
    // Read-only: a descriptor open for writing alone makes the file in use.
    int fd = ::open(f.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct flock fl = {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
    EXPECT_EQ(FileLock::probe(f), FileLock::State::Locked);
    fl.l_type = F_UNLCK;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
    EXPECT_EQ(FileLock::probe(f), FileLock::State::Free);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(FileLock::probe(f), FileLock::State::Locked);
    ::close(fd);
    EXPECT_EQ(FileLock::probe(f), FileLock::State::Free);
}

TEST(FileLockProbe, UnreadableAndMissingFiles)
{
    QV_RUN_AS_NOBODY_WHEN_ROOT(); // root reads any file
    std::string dir = qvtest::makeTempDir("unreadable");
    int err = 0;
    EXPECT_EQ(FileLock::probe(dir + "/missing", &err), FileLock::State::Unreadable);
    EXPECT_EQ(err, ENOENT);
    std::string f = dir + "/secret";
    qvtest::writeFile(f, "x");
    ::chmod(f.c_str(), 0);
    EXPECT_EQ(FileLock::probe(f, &err), FileLock::State::Unreadable);
    EXPECT_EQ(err, EACCES);
}

// Another program opening the file for writing while the probe holds its lease signals the
// probing process (SIGIO): after a probe, that signal no longer ends the process. The child takes
// a lease as the probe does and holds it while the parent opens the file for writing.
TEST(FileLockProbe, AWriterDuringTheProbeEndsNothing)
{
    const std::string f = qvtest::makeTempDir("leasebreak") + "/f";
    qvtest::writeFile(f, "content");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        const bool free = FileLock::probe(f) == FileLock::State::Free;
        const int fd = ::open(f.c_str(), O_RDONLY);
        if (!free || fd < 0 || ::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
            ::_exit(2);
        }
        (void)!::write(ready[1], "r", 1);
        ::usleep(300 * 1000); // the writer's open breaks the lease meanwhile
        ::_exit(0);
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    const int writer = ::open(f.c_str(), O_WRONLY | O_NONBLOCK); // EWOULDBLOCK, and the lease breaks
    if (writer >= 0) {
        ::close(writer);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status)) : "exit status " + std::to_string(WEXITSTATUS(status)));
}
