// Copy benchmark: CopyFileThrottled against cp -p on one large file and on many small files.
//
// Usage: copy_bench [work-folder] [large-MiB] [small-count]
// Both copiers keep modification times and permission bits and write into an empty folder of the
// same file system; each case runs five times, alternating the two, and the best time of each
// counts (the page cache is warm for both). Prints wall-clock and CPU (user + system) times and the
// ratios ours / cp; on a loaded machine the CPU ratio is the steadier one.
#include "core/util/FileUtils.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void writeRandomFile(const std::string &path, std::size_t size, std::mt19937_64 &gen)
{
    std::vector<std::uint64_t> buf(1 << 17);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::size_t left = size;
    while (left > 0) {
        for (auto &w : buf) {
            w = gen();
        }
        std::size_t n = std::min(left, buf.size() * sizeof(std::uint64_t));
        if (::write(fd, buf.data(), n) != static_cast<ssize_t>(n)) {
            std::perror("write");
            std::exit(1);
        }
        left -= n;
    }
    ::close(fd);
}

struct Times {
    double wall = 1e99;
    double cpu = 1e99;
};

double cpuOf(const rusage &r)
{
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double selfCpu()
{
    rusage r;
    ::getrusage(RUSAGE_SELF, &r);
    return cpuOf(r);
}

double g_childCpu = 0;

int runCp(const std::vector<std::string> &args)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>("cp"));
        for (const auto &a : args) {
            argv.push_back(const_cast<char *>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execvp("cp", argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage r;
    ::wait4(pid, &status, 0, &r);
    g_childCpu = cpuOf(r);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

Times timeOurs(const std::vector<std::string> &sources, const std::string &destDir)
{
    fs::remove_all(destDir);
    fs::create_directories(destDir);
    double c0 = selfCpu();
    auto t0 = Clock::now();
    for (const auto &s : sources) {
        std::uint32_t err = 0;
        std::string d = destDir + "/" + fs::path(s).filename().string();
        if (!qv::CopyFileThrottled(s, d, {}, nullptr, err, false, -1)) {
            std::fprintf(stderr, "copy failed: %s: %s\n", s.c_str(), qv::CopyErrorText(err).c_str());
            std::exit(1);
        }
    }
    Times t;
    t.wall = seconds(t0, Clock::now());
    t.cpu = selfCpu() - c0;
    return t;
}

Times timeCp(const std::vector<std::string> &sources, const std::string &destDir)
{
    fs::remove_all(destDir);
    fs::create_directories(destDir);
    std::vector<std::string> args = {"-p"};
    args.insert(args.end(), sources.begin(), sources.end());
    args.push_back(destDir);
    auto t0 = Clock::now();
    if (runCp(args) != 0) {
        std::fprintf(stderr, "cp failed\n");
        std::exit(1);
    }
    Times t;
    t.wall = seconds(t0, Clock::now());
    t.cpu = g_childCpu;
    return t;
}

void compare(const char *label, const std::vector<std::string> &sources, const std::string &work)
{
    Times ours;
    Times cp;
    for (int round = 0; round < 5; ++round) {
        Times a = timeOurs(sources, work + "/out-ours");
        Times b = timeCp(sources, work + "/out-cp");
        ours.wall = std::min(ours.wall, a.wall);
        ours.cpu = std::min(ours.cpu, a.cpu);
        cp.wall = std::min(cp.wall, b.wall);
        cp.cpu = std::min(cp.cpu, b.cpu);
    }
    std::printf("%-24s wall: ours %7.3f s, cp -p %7.3f s, ratio %.2f | cpu: ours %7.3f s, cp -p %7.3f s, ratio %.2f\n",
                label, ours.wall, cp.wall, ours.wall / cp.wall, ours.cpu, cp.cpu, ours.cpu / cp.cpu);
    fs::remove_all(work + "/out-ours");
    fs::remove_all(work + "/out-cp");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::string base = argc > 1 ? argv[1] : fs::temp_directory_path().string();
    std::size_t largeMiB = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1024;
    std::size_t smallCount = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10000;
    std::string work = base + "/qv-copy-bench-" + std::to_string(::getpid());
    fs::create_directories(work + "/small");
    std::mt19937_64 gen(42);

    std::string large = work + "/large.bin";
    writeRandomFile(large, largeMiB * 1024 * 1024, gen);
    std::vector<std::string> smalls;
    std::uniform_int_distribution<std::size_t> sizes(0, 16384);
    for (std::size_t i = 0; i < smallCount; ++i) {
        std::string p = work + "/small/f" + std::to_string(i) + ".dat";
        writeRandomFile(p, sizes(gen), gen);
        smalls.push_back(p);
    }
    std::printf("work folder %s: one file of %zu MiB, %zu small files (0-16 KiB)\n", work.c_str(), largeMiB,
                smallCount);
    compare(("1 file, " + std::to_string(largeMiB) + " MiB").c_str(), {large}, work);
    compare((std::to_string(smallCount) + " small files").c_str(), smalls, work);
    fs::remove_all(work);
    return 0;
}
