// The fixed tables of the deflate format, built from the code definitions of the format itself.
#include "zip/DeflateTables.h"

#include "zip/DeflateHuffman.h"

namespace qv {

namespace {

constexpr uint8_t kLengthExtra[kDeflateLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[kDeflateDistanceCodes] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,
                                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[kDeflateCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                 11, 4,  12, 3, 13, 2, 14, 1, 15};

DeflateTables build()
{
    DeflateTables t{};
    // Length codes: each covers 1 << extra lengths; the last code (285) stands for 258 alone.
    int length = 0;
    for (int code = 0; code < kDeflateLengthCodes - 1; ++code) {
        t.lengthBase[code] = static_cast<uint8_t>(length);
        t.lengthExtra[code] = kLengthExtra[code];
        for (int n = 0; n < (1 << kLengthExtra[code]); ++n) {
            t.lengthCode[length++] = static_cast<uint8_t>(code);
        }
    }
    // Length 258 (index 255) would fall into code 284 by the loop above; it has its own code.
    t.lengthCode[255] = kDeflateLengthCodes - 1;
    t.lengthBase[kDeflateLengthCodes - 1] = 255;
    t.lengthExtra[kDeflateLengthCodes - 1] = 0;

    int distance = 0;
    for (int code = 0; code < kDeflateDistanceCodes; ++code) {
        t.distanceBase[code] = static_cast<uint16_t>(distance);
        t.distanceExtra[code] = kDistanceExtra[code];
        for (int n = 0; n < (1 << kDistanceExtra[code]); ++n, ++distance) {
            if (distance < 256) {
                t.distanceCode[distance] = static_cast<uint8_t>(code);
            } else if ((distance & 127) == 0) {
                t.distanceCode[256 + (distance >> 7)] = static_cast<uint8_t>(code);
            }
        }
    }

    for (int i = 0; i < kDeflateCodeLengthSymbols; ++i) {
        t.codeLengthOrder[i] = kCodeLengthOrder[i];
        t.codeLengthExtra[i] = 0;
    }
    t.codeLengthExtra[16] = 2;
    t.codeLengthExtra[17] = 3;
    t.codeLengthExtra[18] = 7;

    for (int s = 0; s < kDeflateFixedLiteralSymbols; ++s) {
        t.fixedLiteralLength[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    }
    assignCanonicalCodes(t.fixedLiteralLength, kDeflateFixedLiteralSymbols, t.fixedLiteralCode);
    // The fixed distance code has 32 five-bit codes; codes 30 and 31 never occur, so the first
    // 30 canonical codes are simply the symbol numbers.
    for (int s = 0; s < kDeflateDistanceCodes; ++s) {
        t.fixedDistanceLength[s] = 5;
    }
    assignCanonicalCodes(t.fixedDistanceLength, kDeflateDistanceCodes, t.fixedDistanceCode);
    return t;
}

} // namespace

const DeflateTables &DeflateTables::get()
{
    static const DeflateTables tables = build();
    return tables;
}

} // namespace qv
