// Deflate output digest: compresses every file named on the command line (or, given "-", one name
// a line on standard input) at levels 1 to 9 with our raw encoder and prints, per file and level, the
// output size and a 64-bit FNV-1a digest of the output bytes; the encoder's CPU seconds per level
// go to standard error. Two builds of the encoder print the same lines exactly when they produce
// the same bytes: bench/deflate-identity builds this program against an older tree and diffs.
//
// Usage: deflate_digest [-l LEVELS] FILE... | -     (LEVELS e.g. 6 or 1-9; default 1-9)
#include "zip/Deflate.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Digest {
    uint64_t size = 0;
    uint64_t hash = 0xcbf29ce484222325ull;

    void add(const uint8_t *p, size_t n)
    {
        size += n;
        for (size_t i = 0; i < n; ++i) {
            hash = (hash ^ p[i]) * 0x100000001b3ull;
        }
    }
};

std::vector<uint8_t> readFile(const std::string &name, bool &ok)
{
    std::ifstream in(name, std::ios::binary);
    ok = static_cast<bool>(in);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char **argv)
{
    int first = 1;
    int last = 9;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-l") == 0 && i + 1 < argc) {
            const std::string spec = argv[++i];
            const size_t dash = spec.find('-');
            first = std::atoi(spec.c_str());
            last = dash == std::string::npos ? first : std::atoi(spec.c_str() + dash + 1);
        } else {
            names.emplace_back(argv[i]);
        }
    }
    if (names.empty() || first < 1 || last > 9 || first > last) {
        std::fprintf(stderr, "usage: deflate_digest [-l LEVELS] FILE... | -\n");
        return 2;
    }
    if (names.size() == 1 && names[0] == "-") {
        names.clear();
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty()) {
                names.push_back(line);
            }
        }
    }
    std::vector<std::vector<uint8_t>> files;
    std::vector<std::string> kept;
    for (const std::string &n : names) {
        bool ok = false;
        std::vector<uint8_t> data = readFile(n, ok);
        if (ok) {
            files.push_back(std::move(data));
            kept.push_back(n);
        }
    }
    qv::Deflater deflater;
    std::vector<uint8_t> output;
    for (int level = first; level <= last; ++level) {
        double cpu = 0;
        uint64_t in = 0;
        uint64_t out = 0;
        for (size_t f = 0; f < files.size(); ++f) {
            const std::vector<uint8_t> &data = files[f];
            Digest digest;
            output.clear();
            size_t pos = 0;
            const double c0 = cpuSeconds();
            const qv::DeflateResult r = deflater.deflateFile(
                level,
                [&](uint8_t *buffer, size_t n) {
                    const size_t k = std::min(n, data.size() - pos);
                    if (k > 0) {
                        std::memcpy(buffer, data.data() + pos, k);
                    }
                    pos += k;
                    return k;
                },
                [&](const uint8_t *buffer, size_t n) { output.insert(output.end(), buffer, buffer + n); }, true);
            cpu += cpuSeconds() - c0;
            digest.add(output.data(), output.size());
            in += data.size();
            out += digest.size;
            std::printf("%d %llu %016llx %d %u %s\n", level, static_cast<unsigned long long>(digest.size),
                        static_cast<unsigned long long>(digest.hash), r.stored ? 1 : 0, r.internalAttributes,
                        kept[f].c_str());
        }
        std::fprintf(stderr, "level %d: %llu -> %llu bytes, encoder cpu %.3f s\n", level,
                     static_cast<unsigned long long>(in), static_cast<unsigned long long>(out), cpu);
    }
    return 0;
}
