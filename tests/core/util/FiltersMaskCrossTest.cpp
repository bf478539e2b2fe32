// The one mask matcher against glibc's fnmatch (case folded, C locale) as a control, on names that
// include bytes that are not valid UTF-8: every mask form both understand must agree on every name.
#include "core/util/FiltersMask.h"
#include "core/util/Wildcard.h"

#include <gtest/gtest.h>

#include <fnmatch.h>
#include <locale.h>
#include <random>

namespace {

using namespace qv;

// Pieces both matchers read alike. Left out on purpose: "[]" and "[!]" (fnmatch takes a "]" at the
// start of a set literally, ours calls the set empty) and a backslash (an escape for fnmatch only).
const char *const kPieces[] = {"a",     "B",      "c",     ".",     "*",         "?",         "[a-c]",
                               "[!b]",  "[0-9]",  "x",     "Y",     "1",         "[z-a]",     "\xFF",
                               "\xC0",  "[\xFE-\xFF]", "[!\x80]", "[A-c]", "\x80",  "*\xBF*"};
// Bytes that can never form valid UTF-8 here: continuation bytes alone, C0/C1, F5 and above.
const char kChars[] = "aAbBcCxXyY019.\x80\xBF\xC0\xC1\xF5\xFE\xFF";

std::string randomMask(std::mt19937 &rng)
{
    std::string m;
    const int n = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
        m += kPieces[rng() % (sizeof kPieces / sizeof kPieces[0])];
    }
    return m;
}

std::string randomName(std::mt19937 &rng)
{
    std::string s;
    const int n = static_cast<int>(rng() % 8);
    for (int i = 0; i < n; ++i) {
        s += kChars[rng() % (sizeof kChars - 1)];
    }
    return s;
}

// fnmatch in the C locale, so that every byte is one character and only ASCII letters fold.
class ControlMatcher
{
public:
    ControlMatcher() : m_c(::newlocale(LC_ALL_MASK, "C", nullptr)), m_old(::uselocale(m_c)) {}
    ~ControlMatcher()
    {
        ::uselocale(m_old);
        ::freelocale(m_c);
    }
    bool matches(const std::string &mask, const std::string &name) const
    {
        return ::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
    }

private:
    locale_t m_c;
    locale_t m_old;
};

TEST(FilterMasksCrossCheck, AgreeWithFnmatchOnBytesThatAreNotUtf8)
{
    ControlMatcher control;
    std::mt19937 rng(7);
    int matches = 0;
    int rawNames = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string mask = randomMask(rng);
        const FilterMaskList single = FilterMaskList::single(mask);
        for (int k = 0; k < 20; ++k) {
            const std::string name = randomName(rng);
            const bool expected = control.matches(mask, name);
            ASSERT_EQ(single.matches(name), expected) << "mask \"" << mask << "\", name \"" << name << "\"";
            ASSERT_EQ(MatchesMask(name, mask), expected) << "mask \"" << mask << "\", name \"" << name << "\"";
            matches += expected ? 1 : 0;
            for (unsigned char c : name) {
                if (c >= 0x80) {
                    ++rawNames;
                    break;
                }
            }
        }
    }
    // The run met both answers and many names that are not UTF-8.
    EXPECT_GT(matches, 1000);
    EXPECT_GT(rawNames, 10000);
}

TEST(FilterMasksCrossCheck, ListsMatchWhenAnyOfTheirMasksDoes)
{
    ControlMatcher control;
    std::mt19937 rng(11);
    for (int round = 0; round < 2000; ++round) {
        std::string list = randomMask(rng);
        const int more = static_cast<int>(rng() % 3);
        for (int i = 0; i < more; ++i) {
            list += (rng() % 2 ? ";" : " ") + randomMask(rng);
        }
        const FilterMaskList prepared(list);
        const std::vector<std::string> items = FilterMaskList::splitList(list);
        ASSERT_EQ(items.size(), static_cast<std::size_t>(more + 1)) << list;
        for (int k = 0; k < 10; ++k) {
            const std::string name = randomName(rng);
            bool expected = false;
            for (const std::string &m : items) {
                expected = expected || control.matches(m, name);
            }
            ASSERT_EQ(prepared.matches(name), expected) << "list \"" << list << "\", name \"" << name << "\"";
            ASSERT_EQ(MatchesMaskList(name, list), expected) << "list \"" << list << "\", name \"" << name << "\"";
        }
    }
}

// Bytes of a name in another encoding stay themselves: two different Latin-1 letters never match
// each other (they did when both turned into U+FFFD), and letters of valid UTF-8 fold.
TEST(FilterMasksCrossCheck, NamesInOtherEncodingsStayDistinct)
{
    struct Case {
        const char *name;
        const char *mask;
        bool match;
    };
    const Case cases[] = {
        {"caf\xE9.txt", "caf\xE9.txt", true},
        {"caf\xFF.txt", "caf\xE9.txt", false},
        {"caf\xE9.txt", "caf?.txt", true},
        {"CAF\xE9.TXT", "caf\xE9.*", true},
        {"caf\xC9.txt", "caf\xE9.txt", false},        // Latin-1 É and é: bytes, not letters
        {"caf\xC3\xA9.txt", "CAF\xC3\x89.TXT", true},  // UTF-8 é and É fold
        {"caf\xC3\xA9.txt", "caf?.txt", true},         // one character of two bytes
        {"caf\xC3\xA9.txt", "caf\xE9.txt", false},
        {"\xFF\xFE", "[\xFE-\xFF][\xFE-\xFF]", true},
        {"\xFF", "[!\xFF]", false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(MatchesMaskList(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
        EXPECT_EQ(FilterMaskList(c.mask).matches(c.name), c.match) << c.name << " ~ " << c.mask;
    }
}

} // namespace
