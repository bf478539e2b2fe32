// Canonical Huffman table construction with subtables for codes longer than the main index.
#include "zip/HuffmanTable.h"

#include <array>

namespace qv::huff {
namespace {

std::uint32_t reverseBits(std::uint32_t code, unsigned len)
{
    std::uint32_t r = 0;
    for (unsigned i = 0; i < len; ++i) {
        r = (r << 1) | (code & 1u);
        code >>= 1;
    }
    return r;
}

} // namespace

bool buildTable(const std::uint8_t *lengths, std::size_t count, const std::uint32_t *results,
                unsigned mainBits, std::uint32_t *table, std::size_t capacity)
{
    constexpr unsigned kMaxLen = 16;
    std::array<std::uint32_t, kMaxLen + 1> lenCount{};
    for (std::size_t s = 0; s < count; ++s) {
        if (lengths[s] > kMaxLen) {
            return false;
        }
        ++lenCount[lengths[s]];
    }
    lenCount[0] = 0;
    // Over-subscription check and first code of each length.
    std::array<std::uint32_t, kMaxLen + 2> nextCode{};
    std::int64_t left = 1;
    std::uint32_t code = 0;
    for (unsigned len = 1; len <= kMaxLen; ++len) {
        left = left * 2 - lenCount[len];
        if (left < 0) {
            return false;
        }
        code = (code + lenCount[len - 1]) << 1;
        nextCode[len] = code;
    }
    const std::size_t mainSize = std::size_t{1} << mainBits;
    if (capacity < mainSize) {
        return false;
    }
    const std::uint32_t invalid = entry(kInvalid, 0, 0, 0);
    for (std::size_t i = 0; i < mainSize; ++i) {
        table[i] = invalid;
    }
    // Codes per symbol, and the longest code below each main-table prefix.
    std::array<std::uint32_t, 320> codes{};
    std::array<std::uint8_t, 1u << 10> subLen{};
    if (count > codes.size() || mainBits > 10) {
        return false;
    }
    for (std::size_t s = 0; s < count; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) {
            continue;
        }
        codes[s] = reverseBits(nextCode[len]++, len);
        if (len > mainBits) {
            auto &m = subLen[codes[s] & (mainSize - 1)];
            if (len > m) {
                m = static_cast<std::uint8_t>(len);
            }
        }
    }
    std::size_t used = mainSize;
    for (std::size_t p = 0; p < mainSize; ++p) {
        if (subLen[p] == 0) {
            continue;
        }
        const unsigned subBits = subLen[p] - mainBits;
        const std::size_t size = std::size_t{1} << subBits;
        if (used + size > capacity) {
            return false;
        }
        table[p] = entry(kSub, static_cast<std::uint32_t>(used), subBits, mainBits);
        for (std::size_t i = 0; i < size; ++i) {
            table[used + i] = invalid;
        }
        used += size;
    }
    for (std::size_t s = 0; s < count; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) {
            continue;
        }
        const std::uint32_t rev = codes[s];
        if (len <= mainBits) {
            for (std::size_t i = rev; i < mainSize; i += std::size_t{1} << len) {
                table[i] = results[s] | len;
            }
        } else {
            const std::uint32_t sub = table[rev & (mainSize - 1)];
            const std::size_t base = entryValue(sub);
            const std::size_t subSize = std::size_t{1} << entryExtra(sub);
            const unsigned rest = len - mainBits;
            for (std::size_t i = rev >> mainBits; i < subSize; i += std::size_t{1} << rest) {
                table[base + i] = results[s] | rest;
            }
        }
    }
    return true;
}

} // namespace qv::huff
