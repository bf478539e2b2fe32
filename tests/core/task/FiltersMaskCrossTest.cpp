// The prepared masks of the filters against the shared mask-list matcher: two implementations of
// one rule must agree on every name and list.
#include "core/task/FiltersMask.h"
#include "core/task/Wildcard.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace qv;

std::string randomMask(std::mt19937 &rng)
{
    static const char *kPieces[] = {"a", "B", "c", ".", "*", "?", "[a-c]", "[!b]", "[0-9]", "x", "Y", "1", "[]", "[!]", "[z-a]"};
    std::string m;
    const int n = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
        m += kPieces[rng() % 15];
    }
    return m;
}

std::string randomName(std::mt19937 &rng)
{
    static const char kChars[] = "aAbBcCxXyY019.";
    std::string s;
    const int n = static_cast<int>(rng() % 8);
    for (int i = 0; i < n; ++i) {
        s += kChars[rng() % 14];
    }
    return s;
}

TEST(FilterMasksCrossCheck, AgreeWithTheSharedMatcher)
{
    std::mt19937 rng(7);
    int matches = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string list = randomMask(rng);
        if (rng() % 3 == 0) {
            list += (rng() % 2 ? ";" : " ") + randomMask(rng);
        }
        const FilterMaskList prepared(list);
        for (int k = 0; k < 20; ++k) {
            const std::string name = randomName(rng);
            const bool ours = prepared.matches(name);
            ASSERT_EQ(ours, MatchesMaskList(name, list))
                << "mask list \"" << list << "\", name \"" << name << "\"";
            matches += ours ? 1 : 0;
        }
    }
    EXPECT_GT(matches, 1000);
}

} // namespace
