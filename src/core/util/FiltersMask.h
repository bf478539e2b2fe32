// Wildcard mask lists, prepared once and matched without allocating: the one matcher of the
// program (the file-name filters, MatchesMaskList and MatchesMask, and qv-run's excludes).
//
// A list is split as the mask-list rule says: items end at ";" or at a blank or control character
// outside double quotes, quoted items keep blanks and ";", leading blanks are skipped, and a ";" at
// the very end adds an empty item. Masks use "*", "?" and sets in brackets ("[a-c]", "[!0-9]") and
// compare case-insensitively. A malformed mask (a "[" without its "]", or an empty set) matches
// nothing.
//
// Names are bytes; valid UTF-8 is compared by code point with simple case folding, and a byte that
// is not part of valid UTF-8 stands for itself, so any file name can be tested.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Decodes `text` into case-folded code points. The first form writes at most `cap` values and
// returns the count, or SIZE_MAX when they do not fit; the second allocates.
std::size_t foldedCodePoints(std::string_view text, std::uint32_t *out, std::size_t cap);
// The same for `text` followed by `suffix`.
std::size_t foldedCodePoints(std::string_view text, std::string_view suffix, std::uint32_t *out,
                             std::size_t cap);
std::vector<std::uint32_t> foldedCodePoints(std::string_view text);

class FilterMaskList
{
public:
    FilterMaskList() = default;
    explicit FilterMaskList(std::string_view list);
    // One mask as it stands, not split at ";" or blanks.
    static FilterMaskList single(std::string_view mask);

    // True when `name` fits at least one mask.
    bool matches(std::string_view name) const;
    // The same test for `name` followed by `suffix` (the filters append "." to a name without one).
    bool matches(std::string_view name, std::string_view suffix) const;

    // The test on a name already decoded and folded by foldedCodePoints.
    bool matchesFolded(const std::uint32_t *name, std::size_t length) const;

    // True when every mask is well formed.
    bool wellFormed() const;

    bool empty() const { return m_masks.empty(); }
    std::size_t size() const { return m_masks.size(); }

    // The items of a list as the splitting rule gives them (quotes removed).
    static std::vector<std::string> splitList(std::string_view list);
    // The items of a list that are malformed and so match nothing ("[a-", "[]"), in list order.
    static std::vector<std::string> malformedMasks(std::string_view list);

private:
    enum class Op : std::uint8_t { Char, Any, Star, Set };
    struct Token
    {
        Op op;
        std::uint32_t value; // the folded code point (Char) or the first range index (Set)
        std::uint32_t count; // number of ranges (Set)
        bool negated;        // Set
    };
    struct Range
    {
        std::uint32_t lo;
        std::uint32_t hi;
    };
    struct Mask
    {
        std::vector<Token> tokens;
        bool valid = true;
        bool matchAll = false; // the mask is made of stars only
    };

    static Mask compile(std::string_view text, std::vector<Range> &ranges);
    bool matchOne(const Mask &mask, const std::uint32_t *name, std::size_t length) const;
    bool setHas(const Token &t, std::uint32_t c) const;

    std::vector<Mask> m_masks;
    std::vector<Range> m_ranges;
};

} // namespace qv
