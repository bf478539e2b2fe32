// Compress backup benchmark: a compressing run against Info-ZIP zip on the same data.
//
// Usage: compress_bench [work-folder] [small-count] [mixed-MiB]
// Three cases, each timed for our run (TCompressBackup at level 6, in the calling thread, no log
// output) and for zip in the same run: a fresh archive of many small files (zip -r -q -6), a fresh
// archive of mixed data (half text-like, half random), and the update of that large archive after
// one file was touched (zip -u -r -q). Each case runs three times, alternating the two tools; the
// best wall-clock time counts. Prints times, archive sizes and the ratios ours / zip.
#include "core/engine/BackupHost.h"
#include "core/engine/CompressBackup.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class QuietHost : public qv::BackupHost
{
public:
    void log(int kind, const std::string &text) override
    {
        if (kind == qv::kLogError || kind == qv::kLogAborted) {
            std::fprintf(stderr, "run: %s\n", text.c_str());
        }
    }
    qv::AlertAnswer alert(int, const std::string &, const std::string &) override { return 0; }
    bool logsKind(int kind) const override { return kind != qv::kLogFile && kind != qv::kLogSkipped; }
    bool alertsKind(int) const override { return false; }
    void finished(qv::RunEnd end) override { failed = end == qv::RunEnd::Aborted; }
    bool failed = false;
};

void writeFile(const std::string &path, std::size_t size, bool text, std::mt19937_64 &gen)
{
    std::string data(size, '\0');
    static const char *const words[] = {"backup ", "archive ", "folder ", "the ", "of ", "file\n", "data ", "zip "};
    for (std::size_t i = 0; i < size;) {
        if (text) {
            const char *w = words[gen() % 8];
            for (; *w != '\0' && i < size; ++w) {
                data[i++] = *w;
            }
        } else {
            const std::uint64_t v = gen();
            for (int k = 0; k < 8 && i < size; ++k) {
                data[i++] = static_cast<char>(v >> (8 * k));
            }
        }
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
        std::perror(path.c_str());
        std::exit(1);
    }
    ::close(fd);
    struct timeval tv[2] = {{1600000000, 0}, {1600000000, 0}};
    ::utimes(path.c_str(), tv);
}

void makeSmallTree(const std::string &root, int count)
{
    std::mt19937_64 gen(1);
    for (int i = 0; i < count; ++i) {
        const std::string folder = root + "/d" + std::to_string(i % 50) + "/e" + std::to_string(i % 7);
        fs::create_directories(folder);
        writeFile(folder + "/f" + std::to_string(i) + ".txt", gen() % 8192, i % 2 == 0, gen);
    }
}

void makeMixedTree(const std::string &root, long long mib)
{
    std::mt19937_64 gen(2);
    long long left = mib << 20;
    for (int i = 0; left > 0; ++i) {
        const std::string folder = root + "/m" + std::to_string(i % 8);
        fs::create_directories(folder);
        const long long size = std::min<long long>(left, (i % 3 == 0) ? (32 << 20) : (1 << 20) + static_cast<long long>(gen() % (4 << 20)));
        writeFile(folder + "/part" + std::to_string(i) + ".bin", static_cast<std::size_t>(size), i % 2 == 0, gen);
        left -= size;
    }
}

double ourRun(const std::string &source, const std::string &archive)
{
    auto s = std::make_shared<qv::RunSnapshot>();
    s->sources.push_back(qv::RunSource{source + "/", true, fs::path(archive).parent_path().string() + "/"});
    s->destinationRoot = fs::path(archive).parent_path().string() + "/";
    s->compressUse = true;
    s->compressFilePath = archive;
    s->compressLevel = 6;
    s->diskSpanDialog = false;
    QuietHost host;
    qv::TCompressBackup run(s, &host, false);
    const auto start = Clock::now();
    run.runInPlace();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (host.failed) {
        std::fprintf(stderr, "our run failed\n");
        std::exit(1);
    }
    return seconds;
}

double zipRun(const std::string &source, const std::string &archive, bool update)
{
    const std::string cmd = "cd '" + source + "' && zip " + (update ? "-u " : "") + "-r -q -6 '" + archive + "' . ";
    const auto start = Clock::now();
    const int status = std::system(cmd.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (status != 0 && !(update && WEXITSTATUS(status) == 12)) { // 12: nothing to update
        std::fprintf(stderr, "zip failed: %d\n", status);
        std::exit(1);
    }
    return seconds;
}

long long sizeOf(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

void report(const char *name, double ours, double zip, long long ourSize, long long zipSize)
{
    std::printf("%-24s ours %8.3f s  zip %8.3f s  time ratio %.2f", name, ours, zip, ours / zip);
    if (ourSize > 0 && zipSize > 0) {
        std::printf("  size ours %lld zip %lld ratio %.3f", ourSize, zipSize,
                    static_cast<double>(ourSize) / static_cast<double>(zipSize));
    }
    std::printf("\n");
    std::fflush(stdout);
}

void freshCase(const char *name, const std::string &tree, const std::string &out)
{
    double ours = 1e99, zip = 1e99;
    for (int round = 0; round < 3; ++round) {
        fs::remove(out + "/ours.zip");
        fs::remove(out + "/zip.zip");
        ours = std::min(ours, ourRun(tree, out + "/ours.zip"));
        zip = std::min(zip, zipRun(tree, out + "/zip.zip", false));
    }
    report(name, ours, zip, sizeOf(out + "/ours.zip"), sizeOf(out + "/zip.zip"));
}

void touch(const std::string &path, long seconds)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        (void)!::write(fd, "x", 1);
        ::close(fd);
    }
    struct timeval tv[2] = {{seconds, 0}, {seconds, 0}};
    ::utimes(path.c_str(), tv);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::string work = argc > 1 ? argv[1] : (fs::temp_directory_path() / "qv-compress-bench").string();
    const int smallCount = argc > 2 ? std::atoi(argv[2]) : 20000;
    const long long mixedMiB = argc > 3 ? std::atoll(argv[3]) : 1024;
    if (std::system("zip -v > /dev/null 2>&1") != 0) {
        std::fprintf(stderr, "compress_bench: Info-ZIP zip is not installed\n");
        return 1;
    }
    fs::remove_all(work);
    const std::string small = work + "/small", mixed = work + "/mixed", out = work + "/out";
    fs::create_directories(out);
    makeSmallTree(small, smallCount);
    makeMixedTree(mixed, mixedMiB);
    std::printf("compress_bench: %d small files, %lld MiB mixed data, level 6\n", smallCount, mixedMiB);

    freshCase("small files, new", small, out);
    freshCase("mixed data, new", mixed, out);

    // Both archives of the mixed data stand; each round touches one file and updates.
    double ours = 1e99, zip = 1e99;
    const std::string one = mixed + "/m1/part1.bin";
    for (int round = 0; round < 3; ++round) {
        touch(one, 1700000000 + round * 10);
        ours = std::min(ours, ourRun(mixed, out + "/ours.zip"));
        zip = std::min(zip, zipRun(mixed, out + "/zip.zip", true));
    }
    report("mixed, one-file update", ours, zip, 0, 0);
    fs::remove_all(work);
    return 0;
}
