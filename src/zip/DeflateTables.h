// The fixed tables of the deflate format: length and distance codes, the code-length order and
// the fixed Huffman codes.
//
// They are computed once per process (the first encoder that asks builds them) and shared by
// every encoder afterwards; they never change after that.
#pragma once

#include <cstdint>

namespace qv {

inline constexpr int kDeflateLengthCodes = 29;   // codes 257..285
inline constexpr int kDeflateDistanceCodes = 30; // codes 0..29
inline constexpr int kDeflateLiteralSymbols = 286;
inline constexpr int kDeflateFixedLiteralSymbols = 288;
inline constexpr int kDeflateCodeLengthSymbols = 19;
inline constexpr int kDeflateEndOfBlock = 256;
inline constexpr int kDeflateMaxBits = 15;
inline constexpr int kDeflateMaxCodeLengthBits = 7;

struct DeflateTables {
    // Match length minus 3 (0..255) -> length code index 0..28 (symbol 257 + index).
    uint8_t lengthCode[256];
    // Length code index -> smallest match length minus 3, and its number of extra bits.
    uint8_t lengthBase[kDeflateLengthCodes];
    uint8_t lengthExtra[kDeflateLengthCodes];
    // Distance minus 1: values below 256 index the first half directly, larger ones index the
    // second half by (distance - 1) >> 7.
    uint8_t distanceCode[512];
    uint16_t distanceBase[kDeflateDistanceCodes]; // smallest distance minus 1
    uint8_t distanceExtra[kDeflateDistanceCodes];
    // Order in which the code-length code lengths are sent.
    uint8_t codeLengthOrder[kDeflateCodeLengthSymbols];
    uint8_t codeLengthExtra[kDeflateCodeLengthSymbols];
    // Fixed codes, already bit-reversed for sending least significant bit first.
    uint16_t fixedLiteralCode[kDeflateFixedLiteralSymbols];
    uint8_t fixedLiteralLength[kDeflateFixedLiteralSymbols];
    uint16_t fixedDistanceCode[kDeflateDistanceCodes];
    uint8_t fixedDistanceLength[kDeflateDistanceCodes];

    static const DeflateTables &get();

    unsigned distanceCodeOf(unsigned distanceMinusOne) const
    {
        return distanceMinusOne < 256 ? distanceCode[distanceMinusOne]
                                      : distanceCode[256 + (distanceMinusOne >> 7)];
    }
};

} // namespace qv
