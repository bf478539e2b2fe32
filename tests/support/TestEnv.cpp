// Private test environment: every test process gets its own HOME and XDG folders.
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

extern char **environ;

namespace fs = std::filesystem;

namespace qvtest {
namespace {

std::string g_home;
std::vector<std::string> g_userSession;
std::atomic<int> g_counter{0};

void removeHome()
{
    if (!g_home.empty() && std::getenv("QV_KEEP_TEST_HOME") == nullptr) {
        std::error_code ec;
        // Tests may leave read-only folders behind; make them writable before removing.
        for (auto it = fs::recursive_directory_iterator(g_home, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec)) {
                ::chmod(it->path().c_str(), 0700);
            }
        }
        fs::remove_all(g_home, ec);
    }
}

} // namespace

void initTestEnvironment()
{
    if (!g_home.empty()) {
        return;
    }
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qvtest-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) {
        throw std::runtime_error(std::string("mkdtemp failed: ") + std::strerror(errno));
    }
    g_home = buf.data();
    const char *userHome = std::getenv("HOME");
    const char *userConfig = std::getenv("XDG_CONFIG_HOME");
    if (userHome != nullptr) {
        g_userSession.push_back(std::string("HOME=") + userHome);
    }
    if (userConfig != nullptr && *userConfig == '/') {
        g_userSession.push_back(std::string("XDG_CONFIG_HOME=") + userConfig);
    } else if (userHome != nullptr) {
        g_userSession.push_back(std::string("XDG_CONFIG_HOME=") + userHome + "/.config");
    }
    for (const char *name : {"XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"}) {
        if (const char *v = std::getenv(name)) {
            g_userSession.push_back(std::string(name) + "=" + v);
        }
    }
    const std::pair<const char *, const char *> dirs[] = {
        {"HOME", ""},
        {"XDG_CONFIG_HOME", "/.config"},
        {"XDG_DATA_HOME", "/.local/share"},
        {"XDG_CACHE_HOME", "/.cache"},
        {"XDG_STATE_HOME", "/.local/state"},
        {"XDG_RUNTIME_DIR", "/runtime"},
    };
    for (const auto &[var, sub] : dirs) {
        std::string path = g_home + sub;
        fs::create_directories(path);
        ::chmod(path.c_str(), 0700);
        ::setenv(var, path.c_str(), 1);
    }
    ::unsetenv("XDG_CONFIG_DIRS");
    ::unsetenv("XDG_DATA_DIRS");
    std::atexit(removeHome);
}

std::vector<std::string> userSessionEnvironment()
{
    initTestEnvironment();
    return g_userSession;
}

std::vector<std::string> sanitizerEnvironment()
{
    std::vector<std::string> env;
    for (const char *name : {"TSAN_OPTIONS", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (const char *value = std::getenv(name)) {
            env.push_back(std::string(name) + "=" + value);
        }
    }
    return env;
}

const std::string &testHome()
{
    initTestEnvironment();
    return g_home;
}

std::string makeTempDir(const std::string &hint)
{
    std::string path = testHome() + "/t" + std::to_string(::getpid()) + "-" + std::to_string(g_counter++) +
                       "-" + hint;
    fs::create_directories(path);
    return path;
}

std::string dataPath(const std::string &name)
{
    const char *dir = std::getenv("QV_TEST_DATA");
    return std::string(dir ? dir : "tests/data") + "/" + name;
}

std::string binPath(const std::string &name)
{
    const char *dir = std::getenv("QV_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

bool haveTool(const std::string &tool)
{
    const char *path = std::getenv("PATH");
    if (path == nullptr) {
        return false;
    }
    std::stringstream ss(path);
    std::string dir;
    while (std::getline(ss, dir, ':')) {
        if (!dir.empty() && ::access((dir + "/" + tool).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

CommandResult runCommand(const std::vector<std::string> &argv, int timeoutSeconds, const std::string &workingDir)
{
    CommandResult result;
    int pipefd[2];
    if (argv.empty() || ::pipe2(pipefd, O_CLOEXEC) != 0) {
        return result;
    }
    // posix_spawn, not fork: a fork copies the page tables of this process, and under the address
    // checker (its shadow memory and the quarantine of freed blocks) that cost most of the time of
    // the tests that start many programs.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!workingDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::vector<char *> args;
    for (const auto &a : argv) {
        args.push_back(const_cast<char *>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    int err = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    if (err == ENOEXEC) {
        // A script without a #! line: the shell runs it, as execvp would.
        args.insert(args.begin(), const_cast<char *>("/bin/sh"));
        err = ::posix_spawn(&pid, "/bin/sh", &actions, &attr, args.data(), environ);
    }
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        // As a shell reports a command it cannot run.
        result.exitCode = err == ENOENT ? 127 : 126;
        result.output = argv[0] + ": " + std::strerror(err) + "\n";
        return result;
    }
    ::close(pipefd[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char buf[65536];
    bool timedOut = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd pfd{pipefd[0], POLLIN, 0};
        int r = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            timedOut = r == 0;
            break;
        }
        ssize_t n = ::read(pipefd[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        result.output.append(buf, static_cast<size_t>(n));
    }
    ::close(pipefd[0]);
    if (timedOut) {
        ::kill(-pid, SIGKILL);
        result.output += "\n[runCommand: timed out]\n";
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = (!timedOut && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return result;
}

CommandResult runShell(const std::string &script, int timeoutSeconds)
{
    return runCommand({"/bin/sh", "-c", script}, timeoutSeconds);
}

std::string patternData(std::size_t size, unsigned seed)
{
    std::string s(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto &c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return s;
}

std::string lineOf(const std::string &text, const std::string &start)
{
    const std::size_t at = text.find(start + " ");
    if (at == std::string::npos) {
        return "(no line)";
    }
    const std::size_t from = at + start.size() + 1;
    return text.substr(from, text.find('\n', from) - from);
}

std::size_t countOf(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string &path, const std::string &data)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

AsNobody rerunCurrentTestAsNobody(std::string *why)
{
    if (::geteuid() != 0) {
        return AsNobody::NotRoot;
    }
    if (!haveTool("setpriv")) {
        *why = "needs setpriv to run the test as uid 65534";
        return AsNobody::Unavailable;
    }
    const auto *info = testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::error_code ec;
    const std::string self = fs::read_symlink("/proc/self/exe", ec).string();
    // The child makes its own private home below /tmp, which any user may write.
    const auto r = runCommand({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env", "TMPDIR=/tmp",
                               self, "--gtest_filter=" + name},
                              120);
    if (r.exitCode == 126 || r.exitCode == 127 || r.output.find("[ RUN      ] " + name) == std::string::npos) {
        *why = "uid 65534 cannot run the test program " + self + ":\n" + r.output;
        return AsNobody::Unavailable;
    }
    EXPECT_EQ(r.exitCode, 0) << "as uid 65534:\n" << r.output;
    EXPECT_NE(r.output.find("[       OK ] " + name), std::string::npos) << "as uid 65534:\n" << r.output;
    return AsNobody::Ran;
}

} // namespace qvtest
