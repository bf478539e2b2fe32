// File-name masks: "*", "?" and character sets, case-insensitive.
//
// The mask is parsed into tokens once; every token but "*" consumes exactly one character, so the
// classic two-pointer walk with one back-track point matches in O(name x mask) at worst, without
// recursion. Text is compared as case-folded Unicode code points (plain ASCII takes a fast path).
#include "core/task/Wildcard.h"

#include "core/util/Utils.h"

#include <QString>

#include <vector>

namespace qv {
namespace {

struct Range {
    char32_t from;
    char32_t to;
};

struct Token {
    enum Kind { Star, Any, Literal, Set } kind;
    char32_t ch = 0;
    bool negated = false;
    std::vector<Range> ranges;

    bool matches(char32_t c) const
    {
        switch (kind) {
        case Any:
            return true;
        case Literal:
            return c == ch;
        case Set: {
            bool in = false;
            for (const auto &r : ranges) {
                if (c >= r.from && c <= r.to) {
                    in = true;
                    break;
                }
            }
            return in != negated;
        }
        case Star:
            break;
        }
        return false;
    }
};

std::u32string folded(const std::string &s)
{
    bool ascii = true;
    for (unsigned char c : s) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    std::u32string out;
    if (ascii) {
        out.reserve(s.size());
        for (unsigned char c : s) {
            out += static_cast<char32_t>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        }
        return out;
    }
    QList<uint> ucs = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toCaseFolded().toUcs4();
    out.reserve(static_cast<std::size_t>(ucs.size()));
    for (uint c : ucs) {
        out += static_cast<char32_t>(c);
    }
    return out;
}

// False for a malformed mask.
bool parseMask(const std::u32string &m, std::vector<Token> &tokens)
{
    for (std::size_t i = 0; i < m.size(); ++i) {
        char32_t c = m[i];
        if (c == U'*') {
            if (tokens.empty() || tokens.back().kind != Token::Star) {
                tokens.push_back({Token::Star});
            }
        } else if (c == U'?') {
            tokens.push_back({Token::Any});
        } else if (c == U'[') {
            Token t{Token::Set};
            ++i;
            if (i < m.size() && m[i] == U'!') {
                t.negated = true;
                ++i;
            }
            while (i < m.size() && m[i] != U']') {
                char32_t from = m[i];
                if (i + 2 < m.size() && m[i + 1] == U'-' && m[i + 2] != U']') {
                    t.ranges.push_back({from, m[i + 2]});
                    i += 3;
                } else {
                    t.ranges.push_back({from, from});
                    ++i;
                }
            }
            if (i >= m.size() || t.ranges.empty()) {
                return false;
            }
            tokens.push_back(std::move(t));
        } else {
            Token t{Token::Literal};
            t.ch = c;
            tokens.push_back(std::move(t));
        }
    }
    return true;
}

bool matchTokens(const std::u32string &name, const std::vector<Token> &tokens)
{
    std::size_t n = 0;
    std::size_t t = 0;
    std::size_t starToken = std::string::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (t < tokens.size() && tokens[t].kind == Token::Star) {
            starToken = t++;
            starName = n;
        } else if (t < tokens.size() && tokens[t].matches(name[n])) {
            ++t;
            ++n;
        } else if (starToken != std::string::npos) {
            t = starToken + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (t < tokens.size() && tokens[t].kind == Token::Star) {
        ++t;
    }
    return t == tokens.size();
}

} // namespace

bool IsValidMask(const std::string &mask)
{
    std::vector<Token> tokens;
    return parseMask(folded(mask), tokens);
}

bool MatchesMask(const std::string &name, const std::string &mask)
{
    std::vector<Token> tokens;
    if (!parseMask(folded(mask), tokens)) {
        return false;
    }
    return matchTokens(folded(name), tokens);
}

std::vector<std::string> SplitMaskList(const std::string &list)
{
    return SplitDelimitedText(list, ';');
}

bool MatchesMaskList(const std::string &name, const std::string &maskList)
{
    for (const auto &mask : SplitMaskList(maskList)) {
        if (MatchesMask(name, mask)) {
            return true;
        }
    }
    return false;
}

} // namespace qv
