// Zip writing benchmark: our writer and encoder at levels 1, 6 and 9 against Info-ZIP zip
// (-q -X -D) and zlib (raw deflate) on the same tree of about 200 MB of mixed files, in one run.
//
// Usage: deflate_bench [MEGABYTES=200] [WORKDIR=/tmp] [LEVEL (default: 1, 6 and 9)]
// The tree is assembled from files under /usr (documentation, manual pages, headers, programs,
// libraries, locale data), whole files in a fixed order, then zipped four ways per level:
//   Info-ZIP zip   zip -q -X -D -r -LEVEL archive .         (the reference of the ratios)
//   qv archive     TZipWriter::Zip over (path, name) pairs, on one thread (1t) and on one per usable core
//                  (Nt), archive written, fsync'd, renamed; the two archives are compared byte for byte
//   qv deflate     our raw encoder over each file in memory (no archive, no CRC)
//   qv deflate 1s  the same with every hash chain walked as one strand (the walk before the
//                  stranded one; same bytes, so only the time differs)
//   zlib           zlib raw deflate over each file in memory (same level, default strategy)
// and prints compressed bytes, MB/s of input, and size and speed relative to zip.
#include "UsrCorpus.h"
#include "platform/Processors.h"
#include "zip/Deflate.h"
#include "zip/ZipWriter.h"

#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

struct Row {
    const char *name;
    uint64_t size = 0;
    double secs = 0;
    double cpu = 0; // user + system seconds of every thread (of the child for zip)
};

double cpuSeconds(int who)
{
    rusage u {};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Row runInfoZip(const Corpus &c, const fs::path &out, int level)
{
    fs::remove(out);
    const std::string cmd = "cd '" + c.root.string() + "' && zip -q -X -D -r -" + std::to_string(level) + " '" +
                            out.string() + "' .";
    const double c0 = cpuSeconds(RUSAGE_CHILDREN);
    const auto t0 = Clock::now();
    const int rc = std::system(cmd.c_str());
    const auto t1 = Clock::now();
    Row r{"Info-ZIP zip"};
    if (rc == 0) {
        r.size = fs::file_size(out);
        r.secs = seconds(t0, t1);
        r.cpu = cpuSeconds(RUSAGE_CHILDREN) - c0;
    }
    fs::remove(out);
    return r;
}

Row runOurArchive(const Corpus &c, const fs::path &out, int level, int threads, const char *name)
{
    fs::remove(out);
    qv::TZipWriter zip;
    zip.SetZipName(out.string());
    zip.PackLevel = level;
    zip.Threads = threads;
    for (const std::string &n : c.names) {
        zip.AddFile((c.root / n).string(), n);
    }
    const double c0 = cpuSeconds(RUSAGE_SELF);
    const auto t0 = Clock::now();
    zip.Zip();
    const auto t1 = Clock::now();
    // The archive is kept for the comparison.
    return Row{name, fs::file_size(out), seconds(t0, t1), cpuSeconds(RUSAGE_SELF) - c0};
}

bool sameBytes(const fs::path &a, const fs::path &b)
{
    std::ifstream x(a, std::ios::binary);
    std::ifstream y(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(x), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(y), std::istreambuf_iterator<char>());
}

Row runOurDeflate(const Corpus &c, int level, unsigned strands, const char *name)
{
    qv::Deflater d;
    d.setChainStrands(strands);
    Row r{name};
    const double c0 = cpuSeconds(RUSAGE_SELF);
    const auto t0 = Clock::now();
    for (const auto &data : c.data) {
        size_t pos = 0;
        d.deflateFile(
            level,
            [&](uint8_t *buf, size_t n) {
                const size_t k = std::min(n, data.size() - pos);
                std::memcpy(buf, data.data() + pos, k);
                pos += k;
                return k;
            },
            [&](const uint8_t *, size_t n) { r.size += n; }, false);
    }
    r.secs = seconds(t0, Clock::now());
    r.cpu = cpuSeconds(RUSAGE_SELF) - c0;
    return r;
}

Row runZlib(const Corpus &c, int level)
{
    Row r{"zlib"};
    const double c0 = cpuSeconds(RUSAGE_SELF);
    std::vector<uint8_t> buf(1 << 16);
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    const auto t0 = Clock::now();
    for (const auto &data : c.data) {
        deflateReset(&zs);
        zs.next_in = const_cast<uint8_t *>(data.data());
        zs.avail_in = static_cast<uInt>(data.size());
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            zs.next_out = buf.data();
            zs.avail_out = static_cast<uInt>(buf.size());
            rc = deflate(&zs, Z_FINISH);
            r.size += buf.size() - zs.avail_out;
        }
    }
    r.secs = seconds(t0, Clock::now());
    r.cpu = cpuSeconds(RUSAGE_SELF) - c0;
    deflateEnd(&zs);
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
    const fs::path work = fs::path(argc > 2 ? argv[2] : "/tmp") / ("qv-deflate-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "tree");
    const Corpus corpus = buildCorpus(work / "tree", megabytes * 1000 * 1000);
    const double mb = static_cast<double>(corpus.bytes) / 1e6;
    std::printf("corpus: %zu files, %.1f MB\n\n", corpus.names.size(), mb);
    std::printf("%-14s %5s %14s %8s %9s %10s %10s %8s\n", "writer", "level", "bytes", "ratio", "MB/s", "size/zip",
                "speed/zip", "cpu s");
    std::vector<int> levels = {1, 6, 9};
    if (argc > 3) {
        levels = {std::atoi(argv[3])};
    }
    std::printf("cores: %u\n", std::thread::hardware_concurrency());
    for (int level : levels) {
        const std::vector<Row> rows = {runInfoZip(corpus, work / "iz.zip", level),
                                       runOurArchive(corpus, work / "qv1.zip", level, 1, "qv archive 1t"),
                                       runOurArchive(corpus, work / "qvN.zip", level, qv::usableCores(), "qv archive Nt"),
                                       runOurDeflate(corpus, level, 0, "qv deflate"),
                                       runOurDeflate(corpus, level, 1, "qv deflate 1s"), runZlib(corpus, level)};
        const Row &ref = rows[0];
        const double refSpeed = ref.secs > 0 ? mb / ref.secs : 0;
        for (const Row &r : rows) {
            const double speed = r.secs > 0 ? mb / r.secs : 0;
            std::printf("%-14s %5d %14llu %7.2f%% %9.1f %10.4f %9.2fx %8.2f\n", r.name, level,
                        static_cast<unsigned long long>(r.size), 100.0 * static_cast<double>(r.size) / (mb * 1e6),
                        speed, ref.size ? static_cast<double>(r.size) / static_cast<double>(ref.size) : 0.0,
                        refSpeed > 0 ? speed / refSpeed : 0.0, r.cpu);
        }
        std::printf("archives of 1 and %d threads byte-identical: %s\n\n", qv::usableCores(),
                    sameBytes(work / "qv1.zip", work / "qvN.zip") ? "yes" : "NO");
    }
    fs::remove_all(work);
    return 0;
}
