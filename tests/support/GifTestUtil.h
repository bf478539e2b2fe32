// Helpers of the GIF and colour-reduction tests: pictures, crafted files and the Pillow oracle.
#pragma once

#include "imaging/DibImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

using Bytes = std::vector<std::uint8_t>;

// An indexed picture with `bits` of palette (2^bits entries, distinct colours) and pixels from
// a fixed pseudo-random sequence.
qv::DibImage indexedPicture(int width, int height, int bits, unsigned seed);
qv::DibImage rgbPicture(int width, int height, const std::vector<qv::Rgb> &pixels);

// A GIF put together by hand: header, screen with a global table of 2^bits entries, and frames.
struct RawGif
{
    Bytes bytes;
    RawGif(const char *version, int width, int height, int tableBits);
    RawGif &extension(std::uint8_t label, const Bytes &body); // body with its sub-blocks
    RawGif &frame(int width, int height, const Bytes &data, std::uint8_t packed = 0);
    RawGif &trailer();
};
// Frame data: code size byte and sub-blocks of `codes`, each `bits` wide, LSB first.
Bytes lzwData(int codeSize, const std::vector<std::pair<int, int>> &codesAndWidths);

// A Python interpreter that has Pillow, or empty.
std::string pillowPython();
// Runs `code` with that interpreter and the arguments; the test fails on a non-zero status.
std::string runPython(const std::string &code, const std::vector<std::string> &args);

std::string bytesToString(const Bytes &b);
Bytes stringToBytes(const std::string &s);

} // namespace giftest

// Skips the current test when Pillow is missing.
#define QV_REQUIRE_PILLOW()                                                                                  \
    do {                                                                                                     \
        if (giftest::pillowPython().empty()) {                                                               \
            GTEST_SKIP() << "needs Python with Pillow (python3-pil), which is not installed";                \
        }                                                                                                    \
    } while (0)
