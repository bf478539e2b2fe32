// Inflate throughput: our decoder against unzip -p and zlib's raw inflate on the same archive.
//
// Usage: inflate_bench [MEGABYTES=200] [WORKDIR=/tmp]
// Builds MEGABYTES of mixed data (text, random bytes, runs, repeated blocks), packs it with
// Info-ZIP zip -6 and then decodes the one entry three ways, best of three runs each:
//   qv      TZipReader::TestZip (inflate + CRC-32, output discarded)
//   unzip   unzip -p archive > /dev/null (inflate + CRC-32)
//   zlib    raw inflate of the same deflate stream, plus zlib's crc32 over the output
// and prints the throughputs (uncompressed MB/s) and the ratios.
#include "zip/TZipReader.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<unsigned char> mixedData(std::size_t size)
{
    std::mt19937_64 rng(20261206);
    std::vector<unsigned char> out;
    out.reserve(size + 70000);
    static const char *words[] = {
        "backup ",     "folder ", "archive ", "the ", "of ", "file ",     "version ", "task ",
        "2026-12-06 ", "ERROR: ", "copy ",    "\n",   "\t",  "{\"id\": ", "}, "};
    while (out.size() < size) {
        switch (rng() % 8) {
        case 0: // incompressible
            for (int i = 0; i < 4096; ++i) {
                out.push_back(static_cast<unsigned char>(rng()));
            }
            break;
        case 1: // runs
            out.insert(out.end(), 500 + rng() % 3000, static_cast<unsigned char>(rng()));
            break;
        case 2: { // repeat of earlier data
            if (out.size() > 70000) {
                const std::size_t from = out.size() - 1 - rng() % 60000;
                const std::size_t len = 200 + rng() % 4000;
                for (std::size_t i = 0; i < len; ++i) {
                    out.push_back(out[from + i]);
                }
            }
            break;
        }
        default: // text
            for (int i = 0; i < 600; ++i) {
                const std::string w = words[rng() % 15];
                out.insert(out.end(), w.begin(), w.end());
                if (rng() % 5 == 0) {
                    const std::string n = std::to_string(rng() % 100000);
                    out.insert(out.end(), n.begin(), n.end());
                }
            }
            break;
        }
    }
    out.resize(size);
    return out;
}

template <class F> double bestSeconds(F f)
{
    double best = 1e99;
    for (int run = 0; run < 3; ++run) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    const std::size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    const std::string work = std::string(argc > 2 ? argv[2] : "/tmp") + "/qv-inflate-bench";
    std::system(("rm -rf '" + work + "' && mkdir -p '" + work + "'").c_str());
    const auto data = mixedData(mb << 20);
    {
        std::ofstream f(work + "/data.bin", std::ios::binary);
        f.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    if (std::system(("cd '" + work + "' && zip -q -6 bench.zip data.bin").c_str()) != 0) {
        std::fprintf(stderr, "inflate_bench: zip failed (is Info-ZIP zip installed?)\n");
        return 1;
    }
    std::remove((work + "/data.bin").c_str());
    const std::string zip = work + "/bench.zip";

    // The raw deflate stream of the entry, for zlib.
    qv::TZipReader reader;
    reader.SetZipName(zip);
    const qv::TZipHeaderInfo entry = reader.Entry(0);
    std::vector<unsigned char> packed(entry.CompressedSize);
    {
        std::ifstream f(zip, std::ios::binary);
        char local[30];
        f.seekg(static_cast<std::streamoff>(entry.RelativeOffset));
        f.read(local, 30);
        const auto n = static_cast<unsigned char>(local[26]) | (static_cast<unsigned char>(local[27]) << 8);
        const auto m = static_cast<unsigned char>(local[28]) | (static_cast<unsigned char>(local[29]) << 8);
        f.seekg(static_cast<std::streamoff>(entry.RelativeOffset + 30 + n + m));
        f.read(reinterpret_cast<char *>(packed.data()), static_cast<std::streamsize>(packed.size()));
    }
    std::printf("data: %zu MB mixed, packed by zip -6 to %.1f MB (%.1f%%)\n", mb, packed.size() / 1048576.0,
                100.0 * static_cast<double>(packed.size()) / static_cast<double>(data.size()));

    int good = 0;
    const double tQv = bestSeconds([&] {
        qv::TZipReader z;
        z.SetZipName(zip);
        z.DoAll = true;
        good = z.TestZip();
    });
    if (good != 1) {
        std::fprintf(stderr, "inflate_bench: our test of the archive failed\n");
        return 1;
    }
    const double tUnzip = bestSeconds([&] {
        if (std::system(("unzip -p '" + zip + "' > /dev/null").c_str()) != 0) {
            std::fprintf(stderr, "inflate_bench: unzip failed\n");
        }
    });
    std::vector<unsigned char> out(1 << 18);
    uLong zcrc = 0;
    const double tZlib = bestSeconds([&] {
        z_stream zs{};
        inflateInit2(&zs, -15);
        zs.next_in = packed.data();
        zs.avail_in = static_cast<uInt>(packed.size());
        zcrc = crc32(0L, Z_NULL, 0);
        int rc = Z_OK;
        while (rc == Z_OK) {
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(out.size());
            rc = inflate(&zs, Z_NO_FLUSH);
            zcrc = crc32(zcrc, out.data(), static_cast<uInt>(out.size() - zs.avail_out));
        }
        inflateEnd(&zs);
    });
    if (static_cast<std::uint32_t>(zcrc) != entry.CRC32) {
        std::fprintf(stderr, "inflate_bench: zlib's CRC differs\n");
    }
    const double size = static_cast<double>(data.size()) / 1048576.0;
    std::printf("%-8s %8.3f s %9.1f MB/s\n", "qv", tQv, size / tQv);
    std::printf("%-8s %8.3f s %9.1f MB/s\n", "unzip", tUnzip, size / tUnzip);
    std::printf("%-8s %8.3f s %9.1f MB/s\n", "zlib", tZlib, size / tZlib);
    std::printf("ratio qv/unzip %.2f, qv/zlib %.2f (above 1 = we are faster)\n", tUnzip / tQv, tZlib / tQv);
    std::system(("rm -rf '" + work + "'").c_str());
    return 0;
}
