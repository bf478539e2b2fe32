// Zip archive benchmark: writing, extracting and testing one archive of the mixed /usr corpus, kept
// in its folders, against Info-ZIP zip and unzip in the same run.
//
// Usage: archive_bench [MEGABYTES=200] [WORKDIR=/dev/shm] [ROUNDS=5]
// Rows, each run ROUNDS times with ours and the peer alternating; medians of wall and CPU seconds:
//   zip -6, every core   TZipWriter (Threads: every usable core)     zip -q -X -D -r -6
//   zip -6, one thread   TZipWriter (Threads 1), sizes compared too  the same zip
//   extract              TZipReader::UnZip into a new folder (Threads: every usable core)  unzip -q -d
//   test                 TZipReader::TestZip (the same)              unzip -tq
// The archive extracted and tested is ours. The archives of one thread and of every core are
// compared byte for byte. The load average is printed before and after.
#include "UsrCorpus.h"
#include "platform/Processors.h"
#include "zip/TZipReader.h"
#include "zip/ZipWriter.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double wall = 0;
    double cpu = 0;
};

double cpuSeconds(int who)
{
    rusage u{};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Times `work`; CPU time of this process (every thread) or of the children it waited for.
Sample measure(const std::function<void()> &work, bool child)
{
    const int who = child ? RUSAGE_CHILDREN : RUSAGE_SELF;
    const double c0 = cpuSeconds(who);
    const auto t0 = Clock::now();
    work();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    return Sample{wall, cpuSeconds(who) - c0};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void shell(const std::string &cmd)
{
    const int rc = std::system(cmd.c_str());
    if (rc != 0) {
        std::fprintf(stderr, "archive_bench: \"%s\" failed (%d)\n", cmd.c_str(), rc);
        std::exit(1);
    }
}

std::string loadText()
{
    double load[3] = {0, 0, 0};
    if (::getloadavg(load, 3) != 3) {
        return "unknown";
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return buf;
}

// Runs ours and the peer alternately, `before` (untimed) ahead of every run, and prints the row.
void row(const char *name, int rounds, const std::function<void()> &before, const std::function<void()> &ours,
         const std::function<void()> &peer)
{
    std::vector<double> ow, oc, pw, pc;
    for (int r = 0; r < rounds; ++r) {
        before();
        const Sample o = measure(ours, false);
        before();
        const Sample p = measure(peer, true);
        ow.push_back(o.wall);
        oc.push_back(o.cpu);
        pw.push_back(p.wall);
        pc.push_back(p.cpu);
    }
    std::printf("%-20s ours %7.3f s (cpu %7.3f)  peer %7.3f s (cpu %7.3f)  time ratio %.3f  cpu ratio %.3f\n", name,
                median(ow), median(oc), median(pw), median(pc), median(ow) / median(pw), median(oc) / median(pc));
    std::fflush(stdout);
}

void zipOurs(const Corpus &c, const fs::path &out, int threads)
{
    fs::remove(out);
    qv::TZipWriter zip;
    zip.SetZipName(out.string());
    zip.PackLevel = 6;
    zip.Threads = threads;
    for (const std::string &n : c.names) {
        zip.AddFile((c.root / n).string(), n);
    }
    if (zip.Zip() != static_cast<int>(c.names.size())) {
        std::fprintf(stderr, "archive_bench: our zip left files out\n");
        std::exit(1);
    }
}

bool sameBytes(const fs::path &a, const fs::path &b)
{
    std::ifstream x(a, std::ios::binary);
    std::ifstream y(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(x), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(y), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char **argv)
{
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
    const fs::path work = fs::path(argc > 2 ? argv[2] : "/dev/shm") / ("qv-archive-bench-" + std::to_string(::getpid()));
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    if (std::system("zip -v > /dev/null 2>&1") != 0 || std::system("unzip -v > /dev/null 2>&1") != 0) {
        std::fprintf(stderr, "archive_bench: Info-ZIP zip and unzip are needed\n");
        return 1;
    }
    fs::create_directories(work / "tree");
    const Corpus corpus = buildCorpus(work / "tree", megabytes * 1000 * 1000, true, false);
    const int usable = qv::usableCores();
    std::printf("corpus: %zu files, %.1f MB, in their folders below %s\n", corpus.names.size(),
                static_cast<double>(corpus.bytes) / 1e6, (work / "tree").c_str());
    std::printf("usable cores: %d; rounds: %d (ours and the peer alternating, medians)\n", usable, rounds);
    std::printf("load before: %s\n", loadText().c_str());

    const fs::path ours1 = work / "qv1.zip", oursN = work / "qvN.zip", theirs = work / "iz.zip";
    const std::string zipCmd = "cd '" + corpus.root.string() + "' && zip -q -X -D -r -6 '" + theirs.string() + "' .";
    const auto noPrep = [] {};
    const auto removeTheirs = [&] { fs::remove(theirs); };
    row("zip -6, every core", rounds, removeTheirs, [&] { zipOurs(corpus, oursN, usable); }, [&] { shell(zipCmd); });
    row("zip -6, one thread", rounds, removeTheirs, [&] { zipOurs(corpus, ours1, 1); }, [&] { shell(zipCmd); });
    std::printf("%-20s ours %llu bytes  zip %llu bytes  size ratio %.4f\n", "archive size",
                static_cast<unsigned long long>(fs::file_size(ours1)),
                static_cast<unsigned long long>(fs::file_size(theirs)),
                static_cast<double>(fs::file_size(ours1)) / static_cast<double>(fs::file_size(theirs)));
    std::printf("archives of one thread and of every core byte-identical: %s\n",
                sameBytes(ours1, oursN) ? "yes" : "NO");

    const fs::path outOurs = work / "x-ours", outPeer = work / "x-peer";
    const auto clearOut = [&] {
        fs::remove_all(outOurs);
        fs::remove_all(outPeer);
    };
    row("extract", rounds, clearOut,
        [&] {
            qv::TZipReader zip;
            zip.SetZipName(oursN.string());
            zip.SetDestDir(outOurs.string());
            zip.DoAll = true;
            zip.RecreateDirs = true;
            zip.OverwriteMode = qv::TUZOverwriteMode::Always;
            zip.Threads = usable;
            if (zip.UnZip() != static_cast<int>(corpus.names.size())) {
                std::fprintf(stderr, "archive_bench: our extraction left entries out\n");
                std::exit(1);
            }
        },
        [&] { shell("unzip -q -o '" + oursN.string() + "' -d '" + outPeer.string() + "'"); });
    clearOut();
    row("test", rounds, noPrep,
        [&] {
            qv::TZipReader zip;
            zip.SetZipName(oursN.string());
            zip.DoAll = true;
            zip.Threads = usable;
            if (zip.TestZip() != static_cast<int>(corpus.names.size())) {
                std::fprintf(stderr, "archive_bench: our test found bad entries\n");
                std::exit(1);
            }
        },
        [&] { shell("unzip -tq '" + oursN.string() + "' > /dev/null"); });
    std::printf("load after: %s\n", loadText().c_str());
    fs::remove_all(work);
    return 0;
}
