// Copy engine benchmark: qv-run against cp -a and rsync on the same trees, in the same run.
//
//   1. 100,000 small files (0-4 KiB) in memory (/dev/shm): first simple copy vs cp -a and rsync -a
//   2. the same tree unchanged: exact copy vs rsync -a --delete
//   3. 50,000 mixed files (1 B - 1 MiB, sizes spread evenly over the powers of two) on disk
//   4. peak memory of each tool for the 100,000 files
//   5. 5,000 changed files of 0-64 KiB replaced on disk (every replaced file synced before its
//      rename) vs rsync -a --fsync, with rsync -a beside it
// qv-run chooses its copy workers itself (QV_COPY_WORKERS unset); rows marked "1 worker" and
// "8 workers" set QV_COPY_WORKERS for comparison. Run the whole benchmark under `taskset -c 0,1`
// to see two cores.
// The tools of a row run in turn, round after round, and each figure is the median of its rounds
// (5, --rounds N; at most 3 on disk); the machine's load follows the rows. Options: --files N and
// --mixed N scale the trees, --disk DIR chooses the folder on disk in which steps 3 and 5 make (and
// remove) a folder of their own (default: build/bench-data), --skip-mixed, --replace N (0 skips step 5), --peer-nice N (10: the nice value of
// qv-run's copy threads at the default CPU level, so that a loaded machine does not weigh priority).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Measure {
    double seconds = 0;
    long maxRssKb = 0;
    int status = 0;
};

// Runs argv in a forked helper so that the peak memory of the tool and its own children is measured.
Measure run(const std::vector<std::string> &args)
{
    int pipefd[2];
    if (::pipe(pipefd) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const auto t0 = std::chrono::steady_clock::now();
    pid_t helper = ::fork();
    if (helper == 0) {
        ::close(pipefd[0]);
        std::vector<char *> argv;
        for (const auto &a : args) {
            argv.push_back(const_cast<char *>(a.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        int status = 127;
        if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
            ::waitpid(pid, &status, 0);
        }
        struct rusage ru;
        ::getrusage(RUSAGE_CHILDREN, &ru);
        long values[2] = {ru.ru_maxrss, status};
        if (::write(pipefd[1], values, sizeof values) != sizeof values) {
            _exit(1);
        }
        _exit(0);
    }
    ::close(pipefd[1]);
    long values[2] = {0, 0};
    if (::read(pipefd[0], values, sizeof values) != sizeof values) {
        values[1] = -1;
    }
    ::close(pipefd[0]);
    ::waitpid(helper, nullptr, 0);
    Measure m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.maxRssKb = values[0];
    m.status = static_cast<int>(values[1]);
    return m;
}

void sh(const std::string &cmd)
{
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "engine_bench: failed: %s\n", cmd.c_str());
        std::exit(1);
    }
}

void writeFile(const std::string &path, std::size_t size, std::mt19937 &gen)
{
    static std::string buffer;
    buffer.resize(size);
    for (std::size_t i = 0; i < size; i += 64) {
        buffer[i] = static_cast<char>(gen());
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, buffer.data(), size) != static_cast<ssize_t>(size)) {
        std::perror(path.c_str());
        std::exit(1);
    }
    ::close(fd);
}

// `files` files, 100 per folder, in folders two levels deep; sizes from `sizeOf`.
template <class SizeOf> void makeTree(const std::string &root, int files, SizeOf sizeOf, unsigned seed = 42)
{
    std::mt19937 gen(seed);
    for (int i = 0; i < files; ++i) {
        const std::string folder = root + "/d" + std::to_string(i / 2000) + "/s" + std::to_string((i / 100) % 20);
        if (i % 100 == 0) {
            sh("mkdir -p '" + folder + "'");
        }
        writeFile(folder + "/file-" + std::to_string(i) + ".dat", sizeOf(gen), gen);
    }
}

std::string qvRun()
{
    const char *dir = std::getenv("BIN_DIR");
    std::string bin = dir != nullptr ? dir : "build/bin";
    return bin + "/qv-run";
}

// The nice value the peer tools run at: qv-run's copy threads run at +10 at the default CPU level,
// and on a loaded machine a peer at 0 would be measured against that priority, not the work.
int g_peerNice = 10;

// One tool of a comparison: its command line, and QV_COPY_WORKERS for it (0: unset).
struct Tool {
    std::vector<std::string> args;
    int workers = 0;
};

// Runs the tools one after the other, round after round (`before` ahead of every run), so that a
// change of the machine's load meets them all alike; each gets the median of its times and the
// peak of its memory.
std::vector<Measure> alternate(const std::vector<Tool> &tools, const std::string &before, int rounds)
{
    std::vector<std::vector<double>> times(tools.size());
    std::vector<Measure> result(tools.size());
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t t = 0; t < tools.size(); ++t) {
            if (!before.empty()) {
                sh(before);
            }
            if (tools[t].workers > 0) {
                ::setenv("QV_COPY_WORKERS", std::to_string(tools[t].workers).c_str(), 1);
            }
            std::vector<std::string> args = tools[t].args;
            if (args[0] != qvRun() && g_peerNice != 0) {
                args.insert(args.begin(), {"nice", "-n", std::to_string(g_peerNice)});
            }
            const Measure m = run(args);
            ::unsetenv("QV_COPY_WORKERS");
            if (m.status != 0) {
                std::fprintf(stderr, "engine_bench: %s exited with %d\n", tools[t].args[0].c_str(), m.status);
            }
            times[t].push_back(m.seconds);
            result[t].maxRssKb = std::max(result[t].maxRssKb, m.maxRssKb);
        }
    }
    for (std::size_t t = 0; t < tools.size(); ++t) {
        std::sort(times[t].begin(), times[t].end());
        result[t].seconds = times[t][times[t].size() / 2];
    }
    return result;
}

std::string load()
{
    std::string text;
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        char buf[128] = {};
        if (std::fgets(buf, sizeof buf, f) != nullptr) {
            text = buf;
        }
        std::fclose(f);
    }
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return "load " + text;
}

void line(const char *what, const Measure &m, const Measure &peer, const char *peerName)
{
    std::printf("  %-34s %8.3f s %8ld KiB   %-22s %8.3f s %8ld KiB   time ratio %.2f\n", what, m.seconds, m.maxRssKb,
                peerName, peer.seconds, peer.maxRssKb, m.seconds / peer.seconds);
}

} // namespace

int main(int argc, char **argv)
{
    int files = 100000;
    int mixed = 50000;
    int replace = 5000;
    bool skipMixed = false;
    int rounds = 5;
    std::string disk = "build/bench-data";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--files" && i + 1 < argc) {
            files = std::atoi(argv[++i]);
        } else if (a == "--mixed" && i + 1 < argc) {
            mixed = std::atoi(argv[++i]);
        } else if (a == "--disk" && i + 1 < argc) {
            disk = argv[++i];
        } else if (a == "--replace" && i + 1 < argc) {
            replace = std::atoi(argv[++i]);
        } else if (a == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--peer-nice" && i + 1 < argc) {
            g_peerNice = std::atoi(argv[++i]);
        } else if (a == "--skip-mixed") {
            skipMixed = true;
        }
    }
    // Per process: two benchmarks at once must not share (and remove) one tree. The disk steps
    // work in a folder of their own below --disk, so that the folder given (/tmp, say) and what
    // others keep there are never removed.
    const std::string mem = "/dev/shm/qv-engine-bench-" + std::to_string(::getpid());
    disk += "/qv-engine-bench-" + std::to_string(::getpid());
    const std::string qv = qvRun();
    sh("rm -rf " + mem + " && mkdir -p " + mem);
    std::printf("peers run at nice %+d, as qv-run's copy threads at the default CPU level (--peer-nice N)\n",
                g_peerNice);
    std::printf("small files: %d files of 0-4 KiB in %s\n", files, mem.c_str());
    makeTree(mem + "/src", files, [](std::mt19937 &g) { return static_cast<std::size_t>(g() % 4097); });

    ::unsetenv("QV_COPY_WORKERS");
    const std::string clean = "rm -rf " + mem + "/dst";
    const std::vector<std::string> qvFirstArgs = {qv, "--quiet", "--source", mem + "/src", "--dest", mem + "/dst"};
    const std::vector<Measure> first = alternate({{qvFirstArgs, 0},
                                                  {qvFirstArgs, 1},
                                                  {{"cp", "-a", mem + "/src", mem + "/dst"}, 0},
                                                  {{"rsync", "-a", mem + "/src/", mem + "/dst/"}, 0}},
                                                 clean, rounds);
    const Measure &qvFirst = first[0], &qvFirstOne = first[1], &cpFirst = first[2], &rsyncFirst = first[3];
    line("qv-run simple copy (first)", qvFirst, cpFirst, "cp -a");
    line("qv-run simple copy (first, 1 worker)", qvFirstOne, cpFirst, "cp -a");
    line("qv-run simple copy (first)", qvFirst, rsyncFirst, "rsync -a");
    std::printf("  %s\n", load().c_str());

    sh(clean + " && rsync -a " + mem + "/src/ " + mem + "/dst/");
    const std::vector<Measure> same =
        alternate({{{qv, "--quiet", "--type", "exact", "--delete-kind", "normal", "--source", mem + "/src", "--dest",
                     mem + "/dst"},
                    0},
                   {{"rsync", "-a", "--delete", mem + "/src/", mem + "/dst/"}, 0}},
                  "", rounds);
    line("qv-run exact copy (unchanged)", same[0], same[1], "rsync -a --delete");
    std::printf("  %s\n", load().c_str());
    std::printf("  peak memory per 100,000 files: qv-run %.1f MiB, rsync %.1f MiB (ratio %.2f)\n",
                qvFirst.maxRssKb / 1024.0 * 100000 / files, rsyncFirst.maxRssKb / 1024.0 * 100000 / files,
                static_cast<double>(qvFirst.maxRssKb) / rsyncFirst.maxRssKb);
    sh("rm -rf " + mem);

    if (!skipMixed) {
        std::printf("mixed files: %d files of 1 B - 1 MiB in %s\n", mixed, disk.c_str());
        sh("rm -rf '" + disk + "' && mkdir -p '" + disk + "'");
        makeTree(disk + "/src", mixed, [](std::mt19937 &g) {
            const int power = static_cast<int>(g() % 21);
            return static_cast<std::size_t>(1) + (g() % (static_cast<std::size_t>(1) << power));
        });
        const std::string cleanDisk = "rm -rf '" + disk + "/dst' && sync";
        const std::vector<std::string> qvMixedArgs = {qv,         "--quiet", "--source", disk + "/src",
                                                      "--dest",   disk + "/dst"};
        const std::vector<Measure> mixedRuns = alternate(
            {{qvMixedArgs, 0},
             {qvMixedArgs, 8},
             {{"sh", "-c", "cp -a '" + disk + "/src' '" + disk + "/dst' && sync -f '" + disk + "'"}, 0},
             {{"sh", "-c", "rsync -a '" + disk + "/src/' '" + disk + "/dst/' && sync -f '" + disk + "'"}, 0}},
            cleanDisk, std::min(rounds, 3));
        const Measure &qvMixed = mixedRuns[0], &qvMixedEight = mixedRuns[1], &cpMixed = mixedRuns[2],
                      &rsyncMixed = mixedRuns[3];
        line("qv-run simple copy (disk)", qvMixed, cpMixed, "cp -a + sync");
        line("qv-run simple copy (disk)", qvMixed, rsyncMixed, "rsync -a + sync");
        line("qv-run simple copy (disk, 8 workers)", qvMixedEight, rsyncMixed, "rsync -a + sync");
        std::printf("  %s\n", load().c_str());
        sh("rm -rf '" + disk + "'");
    }

    if (replace > 0) {
        // Every destination file older and different: each one is replaced, and synced first.
        std::printf("replaced files: %d files of 0-64 KiB in %s\n", replace, disk.c_str());
        sh("rm -rf '" + disk + "' && mkdir -p '" + disk + "'");
        const auto sizeOf = [](std::mt19937 &g) { return static_cast<std::size_t>(g() % (64 * 1024 + 1)); };
        makeTree(disk + "/old", replace, sizeOf, 7);
        sh("find '" + disk + "/old' -type f -exec touch -d 2020-01-01 {} +");
        makeTree(disk + "/src", replace, sizeOf, 8);
        const std::string reset = "rm -rf '" + disk + "/dst' && cp -a '" + disk + "/old' '" + disk + "/dst' && sync";
        const std::vector<std::string> qvArgs = {qv, "--quiet", "--source", disk + "/src", "--dest", disk + "/dst"};
        const std::vector<Measure> replaced = alternate(
            {{qvArgs, 0},
             {{"rsync", "-a", "--fsync", disk + "/src/", disk + "/dst/"}, 0},
             {{"rsync", "-a", disk + "/src/", disk + "/dst/"}, 0},
             {{"sh", "-c", "rsync -a '" + disk + "/src/' '" + disk + "/dst/' && sync -f '" + disk + "'"}, 0}},
            reset, std::min(rounds, 3));
        const Measure &qvReplace = replaced[0], &rsyncFsync = replaced[1], &rsyncPlain = replaced[2],
                      &rsyncSync = replaced[3];
        line("qv-run replacing (disk)", qvReplace, rsyncFsync, "rsync -a --fsync");
        line("qv-run replacing (disk)", qvReplace, rsyncPlain, "rsync -a");
        line("qv-run replacing (disk)", qvReplace, rsyncSync, "rsync -a + sync");
        std::printf("  %s\n", load().c_str());
        sh("rm -rf '" + disk + "'");
    }
    return 0;
}
