// A run's CPU setting on the threads that do its work: the backup thread and its copy workers get
// the level's policy, nice value and I/O class, as the kernel reports them while they work; qv-run
// takes the stored setting.
// qv-test-timeout: 180
#include "EngineTestSupport.h"

#include "core/engine/LocalBackup.h"
#include "core/settings/Settings.h"
#include "platform/FileIo.h"
#include "platform/ThreadPriority.h"
#include "support/ThreadState.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sched.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char **environ;

namespace {

using namespace enginetest;

// Notes the priority of every thread that writes a file's data: the copy workers do.
class RecordingIo : public qv::FileIo
{
public:
    RecordingIo() : m_previous(qv::FileIo::install(this)) {}
    ~RecordingIo() override { qv::FileIo::install(m_previous); }
    ssize_t write(int fd, const void *data, std::size_t length) override
    {
        const qvtest::ThreadState t = qvtest::callingThreadState();
        {
            std::lock_guard<std::mutex> lock(mutex);
            seen[t.tid] = t;
        }
        return qv::FileIo::write(fd, data, length);
    }
    std::mutex mutex;
    std::map<long, qvtest::ThreadState> seen; // by thread id

private:
    qv::FileIo *m_previous;
};

} // namespace

TEST(EngineRunPriority, BackupThreadAndCopyWorkersTakeTheLevel)
{
    const std::string base = qvtest::makeTempDir("priority");
    for (int i = 0; i < 24; ++i) {
        put(base + "/src/f" + std::to_string(i), std::string(1000 + i, 'x'), 1700000000);
    }
    ::setenv("QV_COPY_WORKERS", "3", 1);
    const int programNice = qv::ThreadPriority::currentNice();
    // Idle, the default and normal: levels any user may take.
    for (int level : {0, 2, 3}) {
        SCOPED_TRACE(level);
        auto s = makeSnapshot({base + "/src"}, base + "/dst" + std::to_string(level));
        s->cpuPerformance = level;
        s->runBefore = true;
        s->runBeforeProgram = "true";
        RecordingIo io;
        qvtest::ThreadState backupThread;
        qv::BackupServices services;
        services.executeProgram = [&](const std::string &, bool, const qv::RunControl &) {
            backupThread = qvtest::callingThreadState();
            return true;
        };
        RecordingHost host;
        qv::TLocalBackup run(s, &host, services);
        QObject::connect(&run, &QThread::finished, &run, [&run] { run.BackupFinished(); });
        run.startThread();
        QDeadlineTimer bound(60000);
        while (!host.ended && !bound.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        ASSERT_TRUE(host.ended) << host.dump();
        run.wait();
        EXPECT_FALSE(host.aborted) << host.dump();

        const qv::ThreadPriority want = qv::ThreadPriority::forLevel(level, programNice);
        io.seen[backupThread.tid] = backupThread;
        EXPECT_GE(io.seen.size(), 2u) << "no copy worker was seen";
        for (const auto &[tid, t] : io.seen) {
            SCOPED_TRACE("thread " + std::to_string(tid));
            EXPECT_EQ(t.policy, want.policy);
            EXPECT_EQ(t.nice, want.nice);
            EXPECT_EQ(t.ioClass, want.ioClass);
            EXPECT_EQ(t.ioLevel, want.ioLevel);
        }
        // The test's own thread, which started the run, keeps its priority.
        EXPECT_EQ(qv::ThreadPriority::currentNice(), programNice);
    }
    ::unsetenv("QV_COPY_WORKERS");
}

namespace {

// The nice value and policy of each thread of process `pid`.
std::vector<std::pair<int, int>> threadsOf(pid_t pid)
{
    std::vector<std::pair<int, int>> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    std::istringstream ids(qvtest::runShell("ls '" + dir + "' 2>/dev/null").output);
    std::string tid;
    while (ids >> tid) {
        std::ifstream in(dir + "/" + tid + "/stat");
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.empty()) {
            continue;
        }
        std::istringstream rest(text.substr(text.rfind(')') + 2));
        std::string word;
        int nice = 99;
        int policy = -1;
        for (int field = 3; field <= 41 && rest >> word; ++field) {
            nice = field == 19 ? std::stoi(word) : nice;
            policy = field == 41 ? std::stoi(word) : policy;
        }
        out.emplace_back(nice, policy);
    }
    return out;
}

} // namespace

// qv-run with a task on its command line runs at the stored CPU setting, or at its default; without
// a settings store at its default, and it makes no store.
TEST(EngineRunPriority, QvRunFollowsTheStoredSetting)
{
    const std::string base = qvtest::makeTempDir("qvrunpriority");
    put(base + "/src/big", std::string(200000, 'x')); // at 128 bytes a second it is still copying
    const int programNice = qv::ThreadPriority::currentNice();
    qv::LoadSettings();
    const struct {
        int stored; // -1: the default, -2: no store at all
        int level;
    } cases[] = {{-1, 2}, {-2, 2}, {0, 0}, {1, 1}};
    const std::string noStoreHome = base + "/no-config";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        std::vector<std::string> env;
        for (char **e = environ; *e != nullptr; ++e) {
            if (c.stored != -2 || std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0) {
                env.emplace_back(*e);
            }
        }
        if (c.stored == -2) {
            env.push_back("XDG_CONFIG_HOME=" + noStoreHome);
        }
        std::vector<char *> envp;
        for (std::string &e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        if (c.stored >= 0) {
            qv::CpuPerformance = static_cast<std::uint8_t>(c.stored);
            qv::SaveSettings();
        }
        const qv::ThreadPriority want = qv::ThreadPriority::forLevel(c.level, programNice);
        const std::string program = qvtest::binPath("qv-run");
        const std::string dest = base + "/dst" + std::to_string(c.stored + 1);
        std::vector<std::string> args = {program, "--source", base + "/src", "--dest", dest, "--bandwidth-kbits",
                                         "1", "--quiet"};
        std::vector<char *> argv;
        for (std::string &a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t pid = -1;
        ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
        bool found = false;
        QDeadlineTimer bound(30000);
        while (!found && !bound.hasExpired()) {
            for (const auto &[nice, policy] : threadsOf(pid)) {
                found = found || (nice == want.nice && policy == want.policy);
            }
            QThread::msleep(20);
        }
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(found) << "no thread of qv-run at nice " << want.nice << ", policy " << want.policy;
        if (c.stored == -2) {
            EXPECT_FALSE(exists(noStoreHome + "/quorvellant/registry.db"));
        }
    }
}
