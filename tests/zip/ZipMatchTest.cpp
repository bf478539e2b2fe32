// The wildcard matcher: stars, sets, negation, ranges, case and malformed masks.
#include "zip/ZipMatch.h"

#include <gtest/gtest.h>

namespace {

struct MatchCase
{
    const char *mask;
    const char *name;
    bool match;
};

TEST(ZipWildcardMatch, Table)
{
    const MatchCase cases[] = {
        {"*", "", true},
        {"*", "anything.at.all", true},
        {"*.*", "readme", false},
        {"*.*", "readme.txt", true},
        {"*.txt", "notes.TXT", true},
        {"NOTES.txt", "notes.txt", true},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "abbc", false},
        {"<a-c>x", "Bx", true},
        {"<a-c>x", "dx", false},
        {"<!a-c>x", "bx", false},
        {"<^a-c>x", "dx", true},
        {"<z-a>", "m", false},
        {"<z-a>", "z", false},
        {"<abc", "a", false},
        {"<>", "", false},
        {"<>x", "x", false},
        {"<a->", "a", false},
        {"*<0-9>.txt", "123.txt", true},
        {"*<0-9>.txt", "12a.txt", false},
        {"*<0-9>.txt", ".txt", true},
        {"x*<!0-9>", "x12", false},
        {"x*<!0-9>", "xab", true},
        {"*?", "", false},
        {"*?", "a", true},
        {"*??x", "ax", false},
        {"*??x", "abx", true},
        {"a*", "a", true},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"dir\\*.c", "dir\\main.c", true},
        {"dir/*.c", "dir/sub/main.c", true},
        {"\xC3\x89*", "\xC3\xA9t\xC3\xA9", false},
        {"\xC3\xA9*", "\xC3\xA9t\xC3\xA9", true},
        {"abc", "abcd", false},
        {"abcd", "abc", false},
        {"<a-c><0-9>", "b7", true},
        {"*.<ch>", "x.h", true},
        {"*.<ch>", "x.o", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::IsMatch(c.mask, c.name), c.match) << "mask '" << c.mask << "' name '" << c.name << "'";
    }
}

} // namespace
