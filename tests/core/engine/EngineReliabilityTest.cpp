// Reliability of the copy engine under a kill at any moment and on a destination that fills up:
// every destination file is always its old or its new version, and the next run leaves no
// temporary file behind. It runs beside other tests: the kills are spread over a window measured
// here and shortened when one comes too late, and the trials go on until enough landed mid-copy.
// qv-test-labels: slow interop
// qv-test-timeout: 900
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <map>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

using Tree = std::map<std::string, std::string>; // relative path -> content

bool isTemp(const std::string &name)
{
    return name.size() > 1 && name[0] == '.' && name.find(".qvtmp-") != std::string::npos;
}

// Every regular file below `root` (skipping `skip`), with its content.
Tree readTree(const std::string &root, const std::string &skip = {}, std::vector<std::string> *temps = nullptr)
{
    Tree t;
    if (!fs::exists(root)) {
        return t;
    }
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = it->path().string().substr(root.size() + 1);
        if (!skip.empty() && (rel == skip || rel.rfind(skip + "/", 0) == 0)) {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file()) {
            continue;
        }
        if (isTemp(it->path().filename().string())) {
            if (temps != nullptr) {
                temps->push_back(rel);
            }
            continue;
        }
        t[rel] = qvtest::readFile(it->path().string());
    }
    return t;
}

void writeTree(const std::string &root, const Tree &tree, long mtime)
{
    for (const auto &[rel, data] : tree) {
        put(root + "/" + rel, data, mtime);
    }
}

std::string randomData(std::mt19937 &gen, std::size_t size)
{
    std::string s(size, '\0');
    for (auto &c : s) {
        c = static_cast<char>(gen());
    }
    return s;
}

pid_t spawnQvRun(const std::vector<std::string> &args)
{
    std::vector<std::string> all = {qvtest::binPath("qv-run")};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Checks that each file of `now` is its version in `before` or in `after`, and that files present
// in both versions are never missing.
void expectOldOrNew(const Tree &now, const Tree &before, const Tree &after, const std::string &what)
{
    for (const auto &[rel, data] : now) {
        auto b = before.find(rel);
        auto a = after.find(rel);
        const bool old = b != before.end() && b->second == data;
        const bool fresh = a != after.end() && a->second == data;
        EXPECT_TRUE(old || fresh) << what << ": " << rel << " is neither its old nor its new version";
    }
    for (const auto &[rel, data] : before) {
        if (after.count(rel) != 0) {
            EXPECT_EQ(now.count(rel), 1u) << what << ": " << rel << " is missing";
        }
    }
}

// A scratch folder in memory where possible: a kill loses nothing from the page cache, and the
// many runs need not wait for a disk to flush.
class ScratchDir
{
public:
    ScratchDir()
    {
        char pattern[] = "/dev/shm/qv-engine-XXXXXX";
        if (::access("/dev/shm", W_OK) == 0 && ::mkdtemp(pattern) != nullptr) {
            m_path = pattern;
            m_owned = true;
        } else {
            m_path = qvtest::makeTempDir("sigkill");
        }
    }
    ~ScratchDir()
    {
        if (m_owned) {
            qvtest::runShell("rm -rf '" + m_path + "'");
        }
    }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
    bool m_owned = false;
};

// `workers`: the copy workers of qv-run (QV_COPY_WORKERS), or empty text for its own choice.
void killedAtRandomMomentsLosesNothing(const std::string &workers)
{
    struct Restore {
        std::string old;
        bool had = false;
        ~Restore()
        {
            if (had) {
                ::setenv("QV_COPY_WORKERS", old.c_str(), 1);
            } else {
                ::unsetenv("QV_COPY_WORKERS");
            }
        }
    } restore;
    if (const char *old = std::getenv("QV_COPY_WORKERS")) {
        restore.old = old;
        restore.had = true;
    }
    if (workers.empty()) {
        ::unsetenv("QV_COPY_WORKERS");
    } else {
        ::setenv("QV_COPY_WORKERS", workers.c_str(), 1);
    }
    ScratchDir scratch;
    const std::string base = scratch.path();
    const std::string src = base + "/src", pristine = base + "/pristine", dst = base + "/dst";
    std::mt19937 gen(20261206);
    Tree oldTree, newTree;
    for (int i = 0; i < 400; ++i) {
        const std::string rel = "d" + std::to_string(i % 9) + "/s" + std::to_string(i % 4) + "/f" + std::to_string(i);
        oldTree[rel] = randomData(gen, i % 80 == 0 ? 1000000 : gen() % 16000);
    }
    newTree = oldTree;
    for (int i = 0; i < 400; i += 2) {
        const std::string rel = "d" + std::to_string(i % 9) + "/s" + std::to_string(i % 4) + "/f" + std::to_string(i);
        newTree[rel] = randomData(gen, i % 80 == 0 ? 1200000 : gen() % 16000);
    }
    for (int i = 1; i < 400; i += 15) {
        newTree.erase("d" + std::to_string(i % 9) + "/s" + std::to_string(i % 4) + "/f" + std::to_string(i));
    }
    for (int i = 0; i < 40; ++i) {
        newTree["added/n" + std::to_string(i)] = randomData(gen, gen() % 50000);
    }
    writeTree(src, oldTree, 1600000000);
    int rc = qvtest::runCommand({qvtest::binPath("qv-run"), "--quiet", "--type", "exact", "--delete-kind", "normal",
                                 "--source", src, "--dest", pristine}, 120).exitCode;
    ASSERT_EQ(rc, 0);
    qvtest::runShell("rm -rf '" + src + "'");
    writeTree(src, newTree, 1700000000);
    const std::vector<std::string> args = {"--type",   "exact",        "--delete-kind",          "normal", "--versions",
                                           dst + "/Versions", "--source", src, "--dest", dst};

    // How long one whole run takes, to spread the kills over it.
    qvtest::runShell("rm -rf '" + dst + "' && cp -a '" + pristine + "' '" + dst + "'");
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(qvtest::runCommand({qvtest::binPath("qv-run"), "--quiet", args[0], args[1], args[2], args[3], args[4],
                                  args[5], args[6], args[7], args[8], args[9]}, 120).exitCode, 0);
    const auto fullRun = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    ASSERT_EQ(readTree(dst, "Versions"), newTree);

    int killedMidway = 0;
    int midCopy = 0; // kills that left a destination half old, half new
    // Trials until 20 kills landed while the run was going and 4 of them in the middle of the
    // copy (a kill after the end shortens the window, as the machine may be faster now than during
    // the timed run; on a loaded machine more kills may land before the copy starts).
    auto window = fullRun;
    for (int trial = 0; trial < 120 && (killedMidway < 20 || midCopy < 4); ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        qvtest::runShell("rm -rf '" + dst + "' && cp -a '" + pristine + "' '" + dst + "'");
        const auto delay = std::chrono::microseconds(gen() % static_cast<unsigned>(window.count() + 1));
        pid_t pid = spawnQvRun(args);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(delay);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        killedMidway += WIFSIGNALED(status) ? 1 : 0;
        if (!WIFSIGNALED(status)) {
            window = window * 7 / 10;
        }
        const Tree killed = readTree(dst, "Versions");
        expectOldOrNew(killed, oldTree, newTree, "after the kill");
        midCopy += (killed != oldTree && killed != newTree) ? 1 : 0;
        // The next run completes the backup and removes what the killed one left.
        rc = qvtest::runCommand({qvtest::binPath("qv-run"), "--quiet", args[0], args[1], args[2], args[3], args[4],
                                 args[5], args[6], args[7], args[8], args[9]}, 120).exitCode;
        ASSERT_EQ(rc, 0);
        std::vector<std::string> temps;
        EXPECT_EQ(readTree(dst, "Versions", &temps), newTree);
        EXPECT_TRUE(temps.empty()) << temps.front();
    }
    EXPECT_GE(killedMidway, 20);
    EXPECT_GE(midCopy, 4) << "too few kills landed in the middle of the copy";
    std::cout << "kills: " << killedMidway << " while running, " << midCopy << " in the middle of the copy\n";
}

TEST(EngineReliability, KilledAtRandomMomentsLosesNothing)
{
    killedAtRandomMomentsLosesNothing({});
}

TEST(EngineReliability, KilledWhileEightWorkersCopyLosesNothing)
{
    killedAtRandomMomentsLosesNothing("8");
}

// A move across file systems copies each file through a temporary file beside its destination;
// a kill in the middle of one leaves it, and the next move removes it as the other runs do.
TEST(EngineReliability, KilledMoveAcrossFileSystemsLeavesNoTemporaryFile)
{
    ScratchDir scratch; // in memory: another file system than the test's folder, where it can be
    const std::string src = qvtest::makeTempDir("move-kill") + "/src", dst = scratch.path() + "/dst";
    struct stat a {}, b {};
    writeTree(src, {{"keep", "x"}}, 1600000000);
    ASSERT_EQ(::stat(src.c_str(), &a), 0);
    ASSERT_EQ(::stat(scratch.path().c_str(), &b), 0);
    if (a.st_dev == b.st_dev) {
        GTEST_SKIP() << "no second file system for the destination";
    }
    std::mt19937 gen(45);
    Tree tree;
    for (int i = 0; i < 6; ++i) {
        tree["sub/f" + std::to_string(i)] = randomData(gen, 400000);
    }
    writeTree(src, tree, 1600000000);
    tree["keep"] = "x";
    // 4000 KBits a second: each file takes most of a second, so the kill lands inside a copy.
    const std::vector<std::string> args = {"--quiet", "--type", "move", "--bandwidth-kbits", "4000",
                                           "--source", src, "--dest", dst};
    pid_t pid = spawnQvRun(args);
    ASSERT_GT(pid, 0);
    std::vector<std::string> temps;
    for (int i = 0; i < 300 && temps.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        readTree(dst, {}, &temps);
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the move ended before the kill";
    temps.clear();
    readTree(dst, {}, &temps);
    ASSERT_FALSE(temps.empty()) << "the kill left no temporary file to remove";

    const qvtest::CommandResult r = qvtest::runCommand(
        {qvtest::binPath("qv-run"), "--quiet", "--type", "move", "--source", src, "--dest", dst}, 120);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    temps.clear();
    EXPECT_EQ(readTree(dst, {}, &temps), tree);
    EXPECT_TRUE(temps.empty()) << temps.front();
    EXPECT_TRUE(readTree(src).empty());
}

TEST(EngineReliability, DestinationThatFillsUpKeepsEveryOldFile)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount a small tmpfs in a private mount namespace";
    }
    QV_REQUIRE_TOOL("unshare");
    const std::string base = qvtest::makeTempDir("enospc");
    const std::string src = base + "/src", old = base + "/old", mnt = base + "/mnt", after = base + "/after";
    std::mt19937 gen(7);
    Tree oldTree, newTree;
    for (int i = 0; i < 20; ++i) {
        oldTree["f" + std::to_string(i)] = randomData(gen, 100000);
        newTree["f" + std::to_string(i)] = randomData(gen, 150000);
    }
    for (int i = 0; i < 12; ++i) {
        newTree["sub/n" + std::to_string(i)] = randomData(gen, 200000);
    }
    writeTree(old, oldTree, 1600000000);
    writeTree(src, newTree, 1700000000);
    qvtest::runShell("mkdir -p '" + mnt + "' '" + after + "'");
    // Only a refused namespace or mount skips; a failing copy in the set-up or after the run fails.
    const std::string script = "echo in-namespace; mount -t tmpfs -o size=4m tmpfs '" + mnt + "' || exit 77; cp -a '" +
                               old + "/.' '" + mnt + "/' || exit 3; '" + qvtest::binPath("qv-run") + "' --source '" +
                               src + "' --dest '" + mnt + "' > '" + base + "/out.txt' 2>&1; echo $? > '" + base +
                               "/rc.txt'; cp -a '" + mnt + "/.' '" + after + "/' || exit 4";
    auto r = qvtest::runCommand({"unshare", "-m", "sh", "-c", script}, 300);
    if (r.output.find("in-namespace") == std::string::npos) {
        GTEST_SKIP() << "no private mount namespace here: " << r.output;
    }
    if (r.exitCode == 77) {
        GTEST_SKIP() << "the tmpfs mount was refused: " << r.output;
    }
    ASSERT_EQ(r.exitCode, 0) << "the set-up copy (3) or the copy of the result (4) failed: " << r.output;
    const std::string out = qvtest::readFile(base + "/out.txt");
    EXPECT_EQ(qvtest::readFile(base + "/rc.txt"), "1\n") << out;
    EXPECT_NE(out.find("ERROR: "), std::string::npos) << out;
    EXPECT_TRUE(out.find("out of free space") != std::string::npos ||
                out.find("No space left on device") != std::string::npos)
        << out;
    EXPECT_NE(out.find("Backup ABORTED!"), std::string::npos);
    std::vector<std::string> temps;
    const Tree now = readTree(after, {}, &temps);
    expectOldOrNew(now, oldTree, newTree, "full destination");
    EXPECT_TRUE(temps.empty());
    int kept = 0;
    for (const auto &[rel, data] : oldTree) {
        kept += now.at(rel) == data ? 1 : 0;
    }
    EXPECT_LT(now.size(), oldTree.size() + 12); // not everything fitted
    std::cout << "old files kept: " << kept << ", files now: " << now.size() << "\n";
}

} // namespace
