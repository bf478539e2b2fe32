// Length-limited Huffman codes for the deflate encoder.
//
// Code lengths come from the in-place minimum-redundancy construction over the symbols sorted by
// frequency, then are limited to the format's maximum (15 bits, 7 for the code-length code) by
// moving leaves down the tree until the Kraft sum is exact again. Any such code is a valid
// deflate code; the construction only decides how close to optimal it is.
#pragma once

#include <cstdint>

namespace qv {

// Fills lengths[0..count) for the given frequencies. Symbols with frequency 0 get length 0,
// except that a code always has at least two symbols of non-zero length (the format needs a
// complete code for every tree it sends, and decoders reject a code with a single symbol).
// `count` is at most 288.
void buildCodeLengths(const uint32_t *freqs, int count, int maxBits, uint8_t *lengths);

// Canonical codes for the given lengths, bit-reversed so they can be sent least significant bit
// first. Symbols of length 0 get code 0.
void assignCanonicalCodes(const uint8_t *lengths, int count, uint16_t *codes);

} // namespace qv
