// Table-driven Huffman decoding shared by inflate and explode.
//
// A table is a main table indexed by the next `mainBits` input bits (LSB-first, so codes are
// stored bit-reversed) plus subtables for longer codes. Each entry packs what the decoder needs
// in one 32-bit word, so the hot loop does one load per symbol in the common case.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::huff {

// Entry layout: bits 0-4 code bits to consume, 5-7 kind, 8-15 extra bits (or subtable index
// bits), 16-31 value (literal, base, or subtable offset).
enum Kind : std::uint32_t { kLiteral = 0, kLength = 1, kEnd = 2, kSub = 3, kInvalid = 4, kValue = 5 };

inline constexpr std::uint32_t entry(std::uint32_t kind, std::uint32_t value, std::uint32_t extra = 0,
                                     std::uint32_t bits = 0)
{
    return bits | (kind << 5) | (extra << 8) | (value << 16);
}
inline constexpr std::uint32_t entryBits(std::uint32_t e)
{
    return e & 31u;
}
inline constexpr std::uint32_t entryKind(std::uint32_t e)
{
    return (e >> 5) & 7u;
}
inline constexpr std::uint32_t entryExtra(std::uint32_t e)
{
    return (e >> 8) & 0xFFu;
}
inline constexpr std::uint32_t entryValue(std::uint32_t e)
{
    return e >> 16;
}

// Builds a table from code lengths (0 = unused symbol). `results[s]` is symbol s's entry without
// its bit count. Returns false for an over-subscribed set of lengths or when `capacity` is too
// small; an incomplete set is accepted and its holes decode as kInvalid. Lengths are at most 16.
bool buildTable(const std::uint8_t *lengths, std::size_t count, const std::uint32_t *results,
                unsigned mainBits, std::uint32_t *table, std::size_t capacity);

} // namespace qv::huff
