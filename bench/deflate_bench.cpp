// Deflate benchmark: our encoder at levels 1, 6 and 9 against zlib (raw deflate, same levels)
// and Info-ZIP zip (-q -X -D) on the same corpus, in one run. Prints size and MB/s per row and
// the ratios against zip at the same level.
//
// Usage: deflate_bench [CORPUS_FILE]
// Without an argument a corpus of about 200 MB is assembled from files under /usr (program
// binaries, libraries, text and documentation) into a temporary file.
#include "zip/Deflate.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t kCorpusTarget = 200u * 1000 * 1000;

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Mixed data: whole files from several kinds of folders, taken in a fixed order, until the
// target size is reached. Each kind contributes at most its share.
std::vector<uint8_t> buildCorpus()
{
    const std::vector<std::pair<std::string, size_t>> sources = {
        {"/usr/share/doc", 40}, {"/usr/share/man", 10}, {"/usr/include", 30}, {"/usr/bin", 40},
        {"/usr/lib/x86_64-linux-gnu", 60}, {"/usr/share/locale", 10}, {"/usr/share", 10},
    };
    std::vector<uint8_t> corpus;
    corpus.reserve(kCorpusTarget);
    for (const auto &[dir, megabytes] : sources) {
        const size_t limit = corpus.size() + megabytes * 1000 * 1000;
        std::vector<fs::path> files;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) {
                break;
            }
            if (it->is_regular_file(ec) && !it->is_symlink(ec) && it->file_size(ec) < 20'000'000) {
                files.push_back(it->path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const fs::path &p : files) {
            if (corpus.size() >= limit) {
                break;
            }
            std::ifstream in(p, std::ios::binary);
            std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const size_t take = std::min(data.size(), limit - corpus.size());
            corpus.insert(corpus.end(), data.begin(), data.begin() + static_cast<long>(take));
        }
    }
    return corpus;
}

struct Row {
    std::string name;
    int level;
    uint64_t size;
    double secs;
};

Row runOurs(const std::vector<uint8_t> &data, int level)
{
    qv::Deflater d;
    size_t pos = 0;
    uint64_t out = 0;
    auto t0 = Clock::now();
    d.deflateFile(
        level,
        [&](uint8_t *buf, size_t n) {
            size_t k = std::min(n, data.size() - pos);
            std::memcpy(buf, data.data() + pos, k);
            pos += k;
            return k;
        },
        [&](const uint8_t *, size_t n) { out += n; }, false);
    return {"quorvellant", level, out, seconds(t0, Clock::now())};
}

Row runZlib(const std::vector<uint8_t> &data, int level)
{
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> buf(1 << 16);
    uint64_t out = 0;
    auto t0 = Clock::now();
    zs.next_in = const_cast<uint8_t *>(data.data());
    size_t remaining = data.size();
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        const uInt chunk = static_cast<uInt>(std::min<size_t>(remaining, 1 << 20));
        if (zs.avail_in == 0 && remaining > 0) {
            zs.avail_in = chunk;
            remaining -= chunk;
        }
        zs.next_out = buf.data();
        zs.avail_out = static_cast<uInt>(buf.size());
        rc = deflate(&zs, remaining == 0 && zs.avail_in == 0 ? Z_FINISH : Z_NO_FLUSH);
        out += buf.size() - zs.avail_out;
    }
    deflateEnd(&zs);
    return {"zlib", level, out, seconds(t0, Clock::now())};
}

Row runInfoZip(const fs::path &corpusFile, int level)
{
    const fs::path target = corpusFile.parent_path() / "infozip.zip";
    fs::remove(target);
    const std::string cmd = "cd '" + corpusFile.parent_path().string() + "' && zip -q -X -D -" +
                            std::to_string(level) + " infozip.zip '" + corpusFile.filename().string() + "'";
    auto t0 = Clock::now();
    if (std::system(cmd.c_str()) != 0) {
        return {"zip (failed)", level, 0, 0};
    }
    auto t1 = Clock::now();
    const uint64_t size = fs::file_size(target);
    fs::remove(target);
    return {"Info-ZIP zip", level, size, seconds(t0, t1)};
}

} // namespace

int main(int argc, char **argv)
{
    fs::path dir = fs::temp_directory_path() / ("qv-deflate-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::path corpusFile;
    std::vector<uint8_t> corpus;
    if (argc > 1) {
        corpusFile = argv[1];
        std::ifstream in(corpusFile, std::ios::binary);
        corpus.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        corpus = buildCorpus();
        corpusFile = dir / "corpus.bin";
        std::ofstream(corpusFile, std::ios::binary)
            .write(reinterpret_cast<const char *>(corpus.data()), static_cast<std::streamsize>(corpus.size()));
    }
    const double mb = static_cast<double>(corpus.size()) / 1e6;
    std::printf("corpus: %.1f MB\n\n", mb);
    std::printf("%-16s %5s %14s %8s %9s %11s %11s\n", "encoder", "level", "bytes", "ratio", "MB/s",
                "size/zip", "speed/zip");
    for (int level : {1, 6, 9}) {
        std::vector<Row> rows = {runInfoZip(corpusFile, level), runZlib(corpus, level), runOurs(corpus, level)};
        const Row &ref = rows[0];
        for (const Row &r : rows) {
            const double speed = r.secs > 0 ? mb / r.secs : 0;
            const double refSpeed = ref.secs > 0 ? mb / ref.secs : 0;
            std::printf("%-16s %5d %14llu %7.2f%% %9.1f %10.4f %10.2fx\n", r.name.c_str(), r.level,
                        static_cast<unsigned long long>(r.size), 100.0 * static_cast<double>(r.size) / (mb * 1e6),
                        speed, ref.size ? static_cast<double>(r.size) / static_cast<double>(ref.size) : 0,
                        refSpeed > 0 ? speed / refSpeed : 0);
        }
        std::printf("\n");
    }
    fs::remove_all(dir);
    return 0;
}
