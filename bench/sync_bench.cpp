// Synchronisation benchmark: `qv-run --type sync` against unison on the same tree, in the same run.
//
//   1. first run: 100,000 files of 0-4 KiB (100 to a folder, two levels deep) in memory (/dev/shm)
//      into an empty replica, with no state of a former run
//   2. no change: the same pair again, each tool with what its first run left (its replica, and
//      unison its archives)
// Each tool works on a replica of its own; the runs alternate (ours, then unison's) and each figure
// is the median of --repeats runs (default 5). Run the whole benchmark under `taskset -c 0,1` to see
// two cores; the cores the benchmark may use and the load are printed with the figures.
//
// unison runs without questions and writes what our synchronisation writes:
//   -batch -auto          no questions: every non-conflicting change is propagated
//   -times                modification times are copied (ours keeps them)
//   (default -perms)      permission bits are copied (ours keeps them too)
//   -fastcheck true       a file whose size, time and inode are unchanged is not read (the
//                         default on Linux, named here: ours compares size and time alone)
//   -log=false            no log file in the home folder (ours prints its lines, sent to /dev/null)
//   -contactquietly -terse -ui text
// Its archives go to a folder of the benchmark's own (UNISON), never the user's ~/.unison. Without
// unison the rows print that it is missing and no ratio.
// qv-run runs at the CPU setting "normal" (nice 0, as unison), from a settings store of the
// benchmark's own: at its default ("lower", nice +10) a machine busy with other work would slow it
// alone, and the ratio would measure that load.
//
// Options: --files N, --repeats N, --dir DIR (default /dev/shm). BIN_DIR chooses the build.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Where a run's error output goes, shown when it fails; the tree removed when the benchmark ends.
std::string g_errors = "/dev/null";
std::string g_tree;

// Wall time of the command in seconds; -1 when it could not be started. A run that fails ends the
// benchmark (its time would be no figure) with the end of its error output.
double timed(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const auto &a : args) {
        argv.push_back(const_cast<char *>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, g_errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "sync_bench: %s failed (status %d)\n", args[0].c_str(), status);
        std::system(("tail -n 5 '" + g_errors + "' >&2").c_str());
        if (!g_tree.empty()) {
            std::system(("rm -rf '" + g_tree + "'").c_str());
        }
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void sh(const std::string &cmd)
{
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "sync_bench: failed: %s\n", cmd.c_str());
        if (!g_tree.empty()) {
            std::system(("rm -rf '" + g_tree + "'").c_str());
        }
        std::exit(1);
    }
}

// `files` files of 0-4 KiB, 100 to a folder, in folders two levels deep (as engine_bench).
void makeTree(const std::string &root, int files)
{
    std::mt19937 gen(42);
    std::string buffer;
    for (int i = 0; i < files; ++i) {
        const std::string folder = root + "/d" + std::to_string(i / 2000) + "/s" + std::to_string((i / 100) % 20);
        if (i % 100 == 0) {
            sh("mkdir -p '" + folder + "'");
        }
        buffer.resize(gen() % 4097);
        for (std::size_t k = 0; k < buffer.size(); k += 64) {
            buffer[k] = static_cast<char>(gen());
        }
        const std::string path = folder + "/file-" + std::to_string(i) + ".dat";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size())) {
            std::perror(path.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

void row(const char *what, const std::vector<double> &ours, const std::vector<double> &peer, bool havePeer)
{
    const double a = median(ours);
    if (!havePeer) {
        std::printf("  %-26s qv-run %7.3f s   unison: not installed, no ratio\n", what, a);
        return;
    }
    const double b = median(peer);
    std::printf("  %-26s qv-run %7.3f s   unison %7.3f s   time ratio %.2f\n", what, a, b, a / b);
}

} // namespace

int main(int argc, char **argv)
{
    int files = 100000;
    int repeats = 5;
    std::string base = "/dev/shm";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--files" && i + 1 < argc) {
            files = std::atoi(argv[++i]);
        } else if (a == "--repeats" && i + 1 < argc) {
            repeats = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--dir" && i + 1 < argc) {
            base = argv[++i];
        }
    }
    const char *binDir = std::getenv("BIN_DIR");
    const std::string qv = std::string(binDir != nullptr ? binDir : "build/bin") + "/qv-run";
    // Per process: two benchmarks at once must not share (and remove) one tree.
    const std::string dir = base + "/qv-sync-bench-" + std::to_string(::getpid());
    const std::string src = dir + "/src";
    const std::string ours = dir + "/ours";
    const std::string theirs = dir + "/unison";
    const std::string archives = dir + "/unison-archives";
    ::setenv("UNISON", archives.c_str(), 1);
    const std::string config = dir + "/config";
    const bool havePeer = timed({"unison", "-version"}) >= 0;

    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    const int cores = ::sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : 0;
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    sh("rm -rf '" + dir + "' && mkdir -p '" + dir + "'");
    g_tree = dir;
    g_errors = dir + "/errors";
    makeTree(src, files);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const std::string regtool = qv.substr(0, qv.rfind('/') + 1) + "qv-regtool";
    sh("'" + regtool + "' set '\\Software\\Tavimundrelo\\Quorvellant\\Tasks Defaults' CpuPerformance binary 03");
    std::printf("synchronisation: %d files of 0-4 KiB in %s, %d cores, load %.1f, median of %d\n", files,
                dir.c_str(), cores, load[0], repeats);

    const std::vector<std::string> qvArgs = {qv, "--quiet", "--type", "sync", "--source", src, "--dest", ours};
    const std::vector<std::string> unisonArgs = {"unison", src, theirs, "-batch", "-auto", "-times",
                                                 "-fastcheck", "true", "-log=false", "-contactquietly",
                                                 "-terse", "-ui", "text"};
    std::vector<double> qvFirst, qvSame, unFirst, unSame;
    for (int r = 0; r < repeats; ++r) {
        sh("rm -rf '" + ours + "' && mkdir '" + ours + "'");
        qvFirst.push_back(timed(qvArgs));
        if (havePeer) {
            sh("rm -rf '" + theirs + "' '" + archives + "' && mkdir '" + theirs + "' '" + archives + "'");
            unFirst.push_back(timed(unisonArgs));
        }
    }
    for (int r = 0; r < repeats; ++r) {
        qvSame.push_back(timed(qvArgs));
        if (havePeer) {
            unSame.push_back(timed(unisonArgs));
        }
    }
    row("sync, first run", qvFirst, unFirst, havePeer);
    row("sync, nothing changed", qvSame, unSame, havePeer);
    sh("rm -rf '" + dir + "'");
    return 0;
}
