// The "in use" probe against locks that this test and other processes hold.
#include "platform/FileLock.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <vector>
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
            int fd = ::open(path.c_str(), how >= 2 ? O_RDONLY : O_RDWR); // flocks without a writer
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
            } else if (ok && how == 3) {
                ok = ::flock(fd, LOCK_EX) == 0;
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
        FileLock::State held;
    };
    // A shared flock is a reader's: it keeps writers out, and the probes of runs side by side take
    // one themselves.
    const Case cases[] = {{"whole-file write record lock", 0, FileLock::State::Locked},
                          {"byte-range read record lock", 1, FileLock::State::Locked},
                          {"shared flock", 2, FileLock::State::Free},
                          {"exclusive flock", 3, FileLock::State::Locked}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string f = dir + "/file-" + std::to_string(c.how);
        qvtest::writeFile(f, std::string(100, 'x'));
        EXPECT_EQ(FileLock::probe(f), FileLock::State::Free);
        {
            LockHolder holder(f, c.how);
            ASSERT_TRUE(holder.ok());
            EXPECT_EQ(FileLock::probe(f), c.held);
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

// Runs that read the same files at the same moment (threads of one program and separate
// processes) probe them over and over: no probe ever takes another's for a holder, while an
// exclusive lock that another process really holds is seen every time.
TEST(FileLockProbe, ProbesSideBySideNeverSeeEachOther)
{
    const std::string dir = qvtest::makeTempDir("sidebyside");
    std::vector<std::string> shared;
    for (int i = 0; i < 3; ++i) {
        shared.push_back(dir + "/shared-" + std::to_string(i));
        qvtest::writeFile(shared.back(), std::string(64, 'x'));
    }
    const std::string held = dir + "/held";
    qvtest::writeFile(held, "x");
    LockHolder holder(held, 3);
    ASSERT_TRUE(holder.ok());
    // The number of wrong answers one prober gives over its rounds.
    auto probeRounds = [&] {
        int wrong = 0;
        for (int round = 0; round < 3000; ++round) {
            for (const std::string &f : shared) {
                wrong += FileLock::probe(f) != FileLock::State::Free;
            }
            if (round % 100 == 0) {
                wrong += FileLock::probe(held) != FileLock::State::Locked;
            }
        }
        return wrong;
    };
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 3; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(go[1]);
            char c;
            (void)!::read(go[0], &c, 1);
            ::_exit(std::min(probeRounds(), 100));
        }
        children.push_back(child);
    }
    ::close(go[0]);
    ::close(go[1]); // every child starts now
    std::vector<int> wrong(3, 0);
    std::vector<std::thread> threads;
    for (int &w : wrong) {
        threads.emplace_back([&w, &probeRounds] { w = probeRounds(); });
    }
    for (std::thread &t : threads) {
        t.join();
    }
    for (int w : wrong) {
        EXPECT_EQ(w, 0) << "wrong answers of a thread";
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "wrong answers of a process";
    }
}
