// Replays the fuzz seed corpus through every fuzz target, plus a fixed set of mutations of it, so
// that CI exercises the same code paths the fuzzers explore.
#include "fuzz/ZipFuzzTargets.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> corpus(const std::string &target)
{
    const std::string dir = qvtest::dataPath("zip-fuzz/" + target);
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

TEST(ZipFuzzCorpus, SeedsAndMutationsRunClean)
{
    for (const auto &target : ziptest::kFuzzTargets) {
        SCOPED_TRACE(target.name);
        const auto seeds = corpus(target.name);
        EXPECT_FALSE(seeds.empty()) << "no seed corpus for " << target.name;
        std::mt19937 rng(7);
        for (const auto &seed : seeds) {
            target.run(reinterpret_cast<const std::uint8_t *>(seed.data()), seed.size());
            for (int round = 0; round < 60 && !seed.empty(); ++round) {
                std::string m = seed;
                const int edits = 1 + static_cast<int>(rng() % 4);
                for (int k = 0; k < edits; ++k) {
                    const std::size_t at = rng() % m.size();
                    switch (rng() % 3) {
                    case 0:
                        m[at] = static_cast<char>(m[at] ^ (1 << (rng() % 8)));
                        break;
                    case 1:
                        m[at] = static_cast<char>(rng());
                        break;
                    default:
                        m.resize(at);
                        break;
                    }
                    if (m.empty()) {
                        break;
                    }
                }
                target.run(reinterpret_cast<const std::uint8_t *>(m.data()), m.size());
            }
        }
    }
}

} // namespace
