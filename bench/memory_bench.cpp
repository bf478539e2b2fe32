// Peak memory of qv-run against rsync on the same trees, in the same run.
//
// For each tree size and shape (files of 0-256 bytes, 100 to a folder): an exact copy and a synchronisation,
// first into an empty destination and then again with nothing changed, each beside
// `rsync -a --delete` on the same tree. The figure is the child's maximum resident size (wait4), so
// it covers the whole run: the program's start-up, the scans and the copy.
//   --sizes 10000,100000   tree sizes (default); --million adds 1,000,000 (about 4 GB of files:
//                          check the free space of --dir first)
//   --shape flat|nested    flat: every folder directly under the root; nested: groups of 100
//                          folders under 100 top-level ones (default: both, one after the other)
//   --dir DIR              where the trees are made (default /tmp/qv-memory-bench; removed at the end)
//   --old BIN              also measure another qv-run (an older build) in the same run
//   --start                only qv-run's start: the peak of `qv-run --help` and of a run of an empty
//                          tree (which ends at once: nothing to do), without and with a settings
//                          store, median of 5 (with --old beside the older build)
// BIN_DIR chooses the build (default build/bin).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Peak resident size (KiB) of the command; -1 when it could not run or failed (exit status other
// than 0 and `allowed`).
long peakKb(const std::vector<std::string> &args, int allowed = 0)
{
    std::vector<char *> argv;
    for (const auto &a : args) {
        argv.push_back(const_cast<char *>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (spawned != 0) {
        std::fprintf(stderr, "memory_bench: cannot start %s\n", args[0].c_str());
        return -1;
    }
    int status = 0;
    struct rusage ru {};
    if (::wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) ||
        (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != allowed)) {
        std::fprintf(stderr, "memory_bench: %s failed (status %d)\n", args[0].c_str(), status);
        return -1;
    }
    return ru.ru_maxrss;
}

void sh(const std::string &cmd)
{
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "memory_bench: failed: %s\n", cmd.c_str());
        std::exit(1);
    }
}

void makeTree(const std::string &root, int files, bool flat)
{
    std::string data(256, 'q');
    unsigned seed = 12345;
    std::string folder;
    for (int i = 0; i < files; ++i) {
        if (i % 100 == 0) {
            folder = root + (flat ? std::string() : "/d" + std::to_string(i / 10000)) + "/s" +
                     std::to_string(i / 100) + "/";
            sh("mkdir -p '" + folder + "'");
        }
        seed = seed * 1103515245u + 12345u;
        const std::size_t size = (seed >> 8) % 257;
        const std::string path = folder + "file-" + std::to_string(i) + ".dat";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, data.data(), size) != static_cast<ssize_t>(size)) {
            std::perror(path.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
}

struct Row {
    std::string what;
    long qv = 0;
    long old = 0;
    long rsync = 0;
};

std::vector<Row> measure(const std::string &dir, const std::string &qv, const std::string &old)
{
    const std::string src = dir + "/src";
    const std::string dst = dir + "/dst";
    const std::string peer = dir + "/peer";
    std::vector<Row> rows;
    for (const char *type : {"exact", "sync"}) {
        std::vector<std::string> run = {qv, "--quiet", "--type", type, "--delete-kind", "normal", "--source", src,
                                        "--dest", dst};
        std::vector<std::string> oldRun = run;
        oldRun[0] = old;
        const std::vector<std::string> rsync = {"rsync", "-a", "--delete", src + "/", peer + "/"};
        Row first{std::string(type) + ", first run"};
        Row again{std::string(type) + ", nothing changed"};
        sh("rm -rf '" + dst + "' '" + peer + "'");
        first.qv = peakKb(run);
        again.qv = peakKb(run);
        if (!old.empty()) {
            sh("rm -rf '" + dst + "'");
            first.old = peakKb(oldRun);
            again.old = peakKb(oldRun);
        }
        first.rsync = peakKb(rsync);
        again.rsync = peakKb(rsync);
        rows.push_back(first);
        rows.push_back(again);
    }
    sh("rm -rf '" + dst + "' '" + peer + "'");
    return rows;
}

double mib(long kb)
{
    return kb / 1024.0;
}

// The median peak of five runs of `args` (the empty run ends with status 1: nothing to do).
long medianPeakKb(const std::vector<std::string> &args)
{
    std::vector<long> peaks;
    for (int i = 0; i < 5; ++i) {
        peaks.push_back(peakKb(args, 1));
    }
    std::sort(peaks.begin(), peaks.end());
    return peaks[2];
}

// qv-run's peak at start: the usage, and a run of an empty tree with and without a settings store
// (each under a configuration folder of its own, so the user's store is never touched).
void measureStart(const std::string &dir, const std::string &qv, const std::string &old)
{
    sh("rm -rf '" + dir + "' && mkdir -p '" + dir + "/src' '" + dir + "/dst' '" + dir + "/none' '" + dir + "/store'");
    const std::string regtool = qv.substr(0, qv.rfind('/') + 1) + "qv-regtool";
    ::setenv("XDG_CONFIG_HOME", (dir + "/store").c_str(), 1);
    // A store holding one setting, as any store the program has saved to.
    sh("'" + regtool + "' set '\\Software\\Tavimundrelo\\Quorvellant\\Main' SortColumn dword 0");
    std::printf("peak resident size (MiB) of qv-run at start, median of 5 (goal: at most 10 MiB)\n");
    struct Case {
        const char *what;
        const char *config;
        bool help;
    };
    for (const Case &c : {Case{"--help", "none", true}, Case{"empty tree, no settings store", "none", false},
                          Case{"empty tree, a settings store", "store", false}}) {
        ::setenv("XDG_CONFIG_HOME", (dir + "/" + c.config).c_str(), 1);
        std::vector<std::string> args = {qv, "--help"};
        if (!c.help) {
            args = {qv, "--quiet", "--source", dir + "/src", "--dest", dir + "/dst"};
        }
        std::printf("  %-32s qv-run %6.1f", c.what, mib(medianPeakKb(args)));
        if (!old.empty()) {
            args[0] = old;
            std::printf("   older %6.1f", mib(medianPeakKb(args)));
        }
        std::printf("\n");
    }
    ::unsetenv("XDG_CONFIG_HOME");
    sh("rm -rf '" + dir + "'");
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<int> sizes = {10000, 100000};
    std::string dir = "/tmp/qv-memory-bench";
    std::string old;
    std::vector<std::string> shapes = {"flat", "nested"};
    bool start = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--sizes" && i + 1 < argc) {
            sizes.clear();
            for (const char *p = argv[++i]; *p != 0;) {
                char *end = nullptr;
                sizes.push_back(static_cast<int>(std::strtol(p, &end, 10)));
                p = *end == ',' ? end + 1 : end;
            }
        } else if (a == "--million") {
            sizes.push_back(1000000);
        } else if (a == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (a == "--shape" && i + 1 < argc) {
            shapes = {argv[++i]};
        } else if (a == "--old" && i + 1 < argc) {
            old = argv[++i];
        } else if (a == "--start") {
            start = true;
        }
    }
    const char *binDir = std::getenv("BIN_DIR");
    const std::string qv = std::string(binDir != nullptr ? binDir : "build/bin") + "/qv-run";
    if (start) {
        measureStart(dir, qv, old);
        return 0;
    }
    std::printf("peak resident size (MiB): qv-run%s against rsync -a --delete, same trees, same run\n",
                old.empty() ? "" : " and an older qv-run");
    for (const std::string &shape : shapes) {
        std::vector<std::vector<Row>> all;
        for (int files : sizes) {
            sh("rm -rf '" + dir + "' && mkdir -p '" + dir + "'");
            makeTree(dir + "/src", files, shape == "flat");
            all.push_back(measure(dir, qv, old));
            double load[3] = {0, 0, 0};
            const int loads = ::getloadavg(load, 3);
            std::printf("%d files in %d folders, %s (load %.1f %.1f %.1f)\n", files, (files + 99) / 100,
                        shape == "flat" ? "all directly under the root" : "nested 100 to a top-level folder",
                        loads > 0 ? load[0] : -1.0, loads > 1 ? load[1] : -1.0, loads > 2 ? load[2] : -1.0);
            for (const Row &r : all.back()) {
                std::printf("  %-26s qv-run %7.1f", r.what.c_str(), mib(r.qv));
                if (!old.empty()) {
                    std::printf("   older %7.1f", mib(r.old));
                }
                std::printf("   rsync %6.1f   ratio %5.2f\n", mib(r.rsync), static_cast<double>(r.qv) / r.rsync);
            }
            std::fflush(stdout);
        }
        sh("rm -rf '" + dir + "'");
        if (all.size() >= 2) {
            std::printf("growth from %d to %d files, %s (MiB)%s\n", sizes.front(), sizes.back(), shape.c_str(),
                        sizes.back() == 1000000 && sizes.front() == 100000
                            ? "; goals at 1M: exact copy at most 48 MiB (first run and nothing changed), "
                              "the first run at most 8 MiB over 100k"
                            : "");
            for (std::size_t k = 0; k < all.front().size(); ++k) {
                const Row &a = all.front()[k];
                const Row &b = all.back()[k];
                std::printf("  %-26s qv-run %+7.1f", a.what.c_str(), mib(b.qv - a.qv));
                if (!old.empty()) {
                    std::printf("   older %+7.1f", mib(b.old - a.old));
                }
                std::printf("   rsync %+6.1f\n", mib(b.rsync - a.rsync));
            }
        }
    }
    return 0;
}
