// Prepared wildcard mask lists.
#include "core/util/FiltersMask.h"

#include "core/util/Utils.h"

#include <QChar>

#include <array>

namespace qv {
namespace {

// Bytes that are not valid UTF-8 map above the Unicode range, one value per byte.
constexpr std::uint32_t kRawByteBase = 0x110000;
constexpr std::size_t kStackName = 1024;

std::uint32_t fold(std::uint32_t c)
{
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    }
    if (c >= kRawByteBase) {
        return c;
    }
    return static_cast<std::uint32_t>(QChar::toCaseFolded(static_cast<char32_t>(c)));
}

// Decodes one character at `s[i]`, advancing `i`. Overlong forms, surrogates and truncated
// sequences give their first byte as a raw byte.
std::uint32_t decodeOne(std::string_view s, std::size_t &i)
{
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = b0 >= 0xF0 && b0 <= 0xF4 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 && b0 < 0xE0 ? 1 : -1;
    if (extra > 0 && b0 < 0xF5 && i + static_cast<std::size_t>(extra) < s.size() + 0) {
        std::uint32_t c = b0 & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((b & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (b & 0x3F);
        }
        bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
        if (ok && !overlong && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF)) {
            i += static_cast<std::size_t>(extra) + 1;
            return c;
        }
    }
    ++i;
    return kRawByteBase + b0;
}

// Decodes and folds `a` then `b` into `out`; returns the count, or SIZE_MAX when it does not fit.
std::size_t decodeInto(std::string_view a, std::string_view b, std::uint32_t *out, std::size_t cap)
{
    std::size_t n = 0;
    for (std::string_view s : {a, b}) {
        for (std::size_t i = 0; i < s.size();) {
            if (n == cap) {
                return SIZE_MAX;
            }
            out[n++] = fold(decodeOne(s, i));
        }
    }
    return n;
}

} // namespace

std::size_t foldedCodePoints(std::string_view text, std::uint32_t *out, std::size_t cap)
{
    return decodeInto(text, {}, out, cap);
}

std::size_t foldedCodePoints(std::string_view text, std::string_view suffix, std::uint32_t *out,
                             std::size_t cap)
{
    return decodeInto(text, suffix, out, cap);
}

std::vector<std::uint32_t> foldedCodePoints(std::string_view text)
{
    std::vector<std::uint32_t> out(text.size());
    out.resize(decodeInto(text, {}, out.data(), out.size()));
    return out;
}

std::vector<std::string> FilterMaskList::splitList(std::string_view list)
{
    return SplitDelimitedText(std::string(list), ';');
}

std::vector<std::string> FilterMaskList::malformedMasks(std::string_view list)
{
    std::vector<std::string> out;
    for (const std::string &item : splitList(list)) {
        std::vector<Range> ranges;
        if (!compile(item, ranges).valid) {
            out.push_back(item);
        }
    }
    return out;
}

FilterMaskList::FilterMaskList(std::string_view list)
{
    for (const std::string &item : splitList(list)) {
        m_masks.push_back(compile(item, m_ranges));
    }
}

FilterMaskList FilterMaskList::single(std::string_view mask)
{
    FilterMaskList list;
    list.m_masks.push_back(compile(mask, list.m_ranges));
    return list;
}

bool FilterMaskList::wellFormed() const
{
    for (const Mask &mask : m_masks) {
        if (!mask.valid) {
            return false;
        }
    }
    return true;
}

FilterMaskList::Mask FilterMaskList::compile(std::string_view text, std::vector<Range> &ranges)
{
    Mask mask;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '*') {
            ++i;
            if (mask.tokens.empty() || mask.tokens.back().op != Op::Star) {
                mask.tokens.push_back({Op::Star, 0, 0, false});
            }
        } else if (c == '?') {
            ++i;
            mask.tokens.push_back({Op::Any, 0, 0, false});
        } else if (c == '[') {
            ++i;
            Token t{Op::Set, static_cast<std::uint32_t>(ranges.size()), 0, false};
            if (i < text.size() && text[i] == '!') {
                t.negated = true;
                ++i;
            }
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == ']') {
                    closed = true;
                    ++i;
                    break;
                }
                std::uint32_t lo = fold(decodeOne(text, i));
                std::uint32_t hi = lo;
                if (i + 1 < text.size() && text[i] == '-' && text[i + 1] != ']') {
                    ++i;
                    hi = fold(decodeOne(text, i));
                }
                ranges.push_back({lo, hi});
                ++t.count;
            }
            if (!closed || t.count == 0) {
                mask.valid = false; // an unclosed or empty set
                return mask;
            }
            mask.tokens.push_back(t);
        } else {
            mask.tokens.push_back({Op::Char, fold(decodeOne(text, i)), 0, false});
        }
    }
    mask.matchAll = !mask.tokens.empty() && mask.tokens.size() == 1 && mask.tokens[0].op == Op::Star;
    return mask;
}

bool FilterMaskList::setHas(const Token &t, std::uint32_t c) const
{
    bool in = false;
    for (std::uint32_t k = 0; k < t.count; ++k) {
        const Range &r = m_ranges[t.value + k];
        if (c >= r.lo && c <= r.hi) {
            in = true;
            break;
        }
    }
    return in != t.negated;
}

bool FilterMaskList::matchOne(const Mask &mask, const std::uint32_t *name, std::size_t length) const
{
    const std::size_t count = mask.tokens.size();
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = SIZE_MAX;
    std::size_t starN = 0;
    while (n < length) {
        if (p < count) {
            const Token &t = mask.tokens[p];
            if (t.op == Op::Star) {
                starP = p++;
                starN = n;
                continue;
            }
            bool ok = t.op == Op::Any || (t.op == Op::Char ? t.value == name[n] : setHas(t, name[n]));
            if (ok) {
                ++p;
                ++n;
                continue;
            }
        }
        if (starP == SIZE_MAX) {
            return false;
        }
        p = starP + 1;
        n = ++starN;
    }
    while (p < count && mask.tokens[p].op == Op::Star) {
        ++p;
    }
    return p == count;
}

bool FilterMaskList::matches(std::string_view name) const
{
    return matches(name, {});
}

bool FilterMaskList::matches(std::string_view name, std::string_view suffix) const
{
    std::array<std::uint32_t, kStackName> buffer;
    std::size_t length = decodeInto(name, suffix, buffer.data(), buffer.size());
    if (length == SIZE_MAX) {
        std::vector<std::uint32_t> large(name.size() + suffix.size());
        length = decodeInto(name, suffix, large.data(), large.size());
        return matchesFolded(large.data(), length);
    }
    return matchesFolded(buffer.data(), length);
}

bool FilterMaskList::matchesFolded(const std::uint32_t *name, std::size_t length) const
{
    for (const Mask &mask : m_masks) {
        if (mask.valid && (mask.matchAll || matchOne(mask, name, length))) {
            return true;
        }
    }
    return false;
}

} // namespace qv
