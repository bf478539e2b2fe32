// The safe formatter: placeholder rendering, mismatches, and random patterns that must not crash.
#include "core/text/TextFormat.h"

#include <gtest/gtest.h>

#include <random>

using namespace qv;

class TextFormatRendering : public ::testing::Test {};

TEST_F(TextFormatRendering, PlaceholdersTable)
{
    struct Case {
        const char *pattern;
        std::vector<FormatArg> args;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"plain", {}, "plain"},
        {"100%%", {}, "100%"},
        {"%s and %s", {"a", "b"}, "a and b"},
        {"%d", {-42}, "-42"},
        {"%u", {42u}, "42"},
        {"%d", {std::int64_t{9000000000}}, "9000000000"},
        {"%5d|%-5d|", {42, 42}, "   42|42   |"},
        {"%.4d", {7}, "0007"},
        {"%x", {255}, "FF"},
        {"%x", {-1}, "FFFFFFFF"},
        {"%.4X", {10}, "000A"},
        {"%.3s", {"abcdef"}, "abc"},
        {"%.2s", {"\xC3\xA9\xC3\xA9\xC3\xA9"}, "\xC3\xA9\xC3\xA9"}, // characters, not bytes
        {"%4s|", {"\xC3\xA9"}, "   \xC3\xA9|"},
        {"%f", {3.14159}, "3.14"},
        {"%.1f", {2.25}, "2.2"},
        {"%n", {1234567.891}, "1,234,567.89"},
        {"%.0n", {-1234.0}, "-1,234"},
        {"%g", {0.5}, "0.5"},
        {"%1:s %0:s %s", {"a", "b"}, "b a b"},
        {"%S %D", {"up", 3}, "up 3"},
        {"%f", {3}, "3.00"}, // an integer may fill a number placeholder
        {"%s", {"a", "unused"}, "a"},
    };
    for (const Case &c : cases) {
        auto got = tryFormatText(c.pattern, c.args);
        ASSERT_TRUE(got.has_value()) << c.pattern;
        EXPECT_EQ(*got, c.want) << c.pattern;
    }
}

TEST_F(TextFormatRendering, MismatchesAreRefused)
{
    struct Case {
        const char *pattern;
        std::vector<FormatArg> args;
    };
    const std::vector<Case> cases = {
        {"%s", {}},
        {"%s %s", {"one"}},
        {"%d", {"text"}},
        {"%s", {12}},
        {"%x", {1.5}},
        {"%f", {"text"}},
        {"%", {"a"}},
        {"%q", {"a"}},
        {"%*d", {3, 4}},
        {"%2:s", {"a", "b"}},
        {"%99999999s", {"a"}},
        {"%.99999999f", {1.0}},
        {"%:s", {"a"}},
        {"%-", {1}},
    };
    for (const Case &c : cases) {
        EXPECT_FALSE(tryFormatText(c.pattern, c.args).has_value()) << c.pattern;
    }
}

TEST_F(TextFormatRendering, FallsBackToTheEnglishPatternThenFillsWhatItCan)
{
    EXPECT_EQ(formatText("%d Dateien", "%d files", {5}), "5 Dateien");
    EXPECT_EQ(formatText("%s Dateien", "%d files", {5}), "5 files");
    // The English pattern is wrong too (a programming error): what fits is filled, the rest kept.
    EXPECT_EQ(formatText("%s", "%d of %d (%s)", {5}), "5 of %d (%s)");
    EXPECT_EQ(formatText("%s %s", {"x"}), "x %s");
}

class TextFormatRandom : public ::testing::Test {};

TEST_F(TextFormatRandom, RandomPatternsNeverCrashOrOverrun)
{
    std::mt19937 rng(20261206);
    const std::string alphabet = "%%%sdDuxXefgnm:.-*0123456789 abc\xC3\xA9";
    const std::vector<FormatArg> args = {"text", 42, -7, 3.5, 18446744073709551615ull, std::string(300, 'w')};
    int filled = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string p;
        int len = static_cast<int>(rng() % 24);
        for (int i = 0; i < len; ++i) {
            p += alphabet[rng() % alphabet.size()];
        }
        std::size_t n = rng() % (args.size() + 1);
        std::vector<FormatArg> a(args.begin(), args.begin() + static_cast<long>(n));
        auto got = tryFormatText(p, a);
        if (got) {
            ++filled;
            EXPECT_LT(got->size(), p.size() * 1100 + 2000) << p;
        }
        std::string safe = formatText(p, "%s", a);
        EXPECT_LT(safe.size(), p.size() * 1100 + 2000);
    }
    EXPECT_GT(filled, 100); // the generator does reach valid patterns
}
