// Replays the GIF fuzz seed corpus through both fuzz targets: every seed, every truncation of it,
// and a fixed set of mutations, so that CI exercises the paths the fuzzers explore.
// qv-test-timeout: 600
#include "fuzz/GifFuzzTargets.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> corpus(const std::string &target)
{
    const std::string dir = qvtest::dataPath("gif-fuzz/" + target);
    std::vector<std::string> out;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *e = ::readdir(d)) {
            if (e->d_name[0] != '.') {
                out.push_back(qvtest::readFile(dir + "/" + e->d_name));
            }
        }
        ::closedir(d);
    }
    return out;
}

void run(const giftest::FuzzTarget &target, const std::string &bytes)
{
    target.run(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
}

TEST(GifFuzzCorpus, SeedsTruncationsAndMutationsRunClean)
{
    for (const auto &target : giftest::kFuzzTargets) {
        SCOPED_TRACE(target.name);
        const auto seeds = corpus(target.name);
        EXPECT_GE(seeds.size(), 5u) << "no seed corpus for " << target.name;
        std::mt19937 rng(28);
        for (const auto &seed : seeds) {
            run(target, seed);
            // Cut after every byte (every 7th for long seeds, which only repeat their data).
            const std::size_t step = seed.size() > 1200 ? 7 : 1;
            for (std::size_t n = 0; n < seed.size(); n += step) {
                run(target, seed.substr(0, n));
            }
            for (int round = 0; round < 80 && !seed.empty(); ++round) {
                std::string m = seed;
                const int edits = 1 + static_cast<int>(rng() % 4);
                for (int k = 0; k < edits && !m.empty(); ++k) {
                    const std::size_t at = rng() % m.size();
                    switch (rng() % 4) {
                    case 0:
                        m[at] = static_cast<char>(m[at] ^ (1 << (rng() % 8)));
                        break;
                    case 1:
                        m[at] = static_cast<char>(rng());
                        break;
                    case 2:
                        m.insert(at, 1, static_cast<char>(rng()));
                        break;
                    default:
                        m.erase(at, 1 + rng() % 16);
                        break;
                    }
                }
                run(target, m);
            }
        }
    }
}

} // namespace
