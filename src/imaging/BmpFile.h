// In-memory bitmap files ("BM", 40-byte header, colour table, bottom-up rows padded to 4 bytes).
#pragma once

#include "imaging/DibImage.h"

#include <cstdint>
#include <vector>

namespace qv {

struct BmpInfo
{
    std::uint32_t fileSize = 0;
    std::uint32_t pixelOffset = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t sizeImage = 0;
    std::uint32_t clrUsed = 0;
};

// The bitmap file of `image` (1, 4, 8 or 24 bits). Indexed pictures get a colour table of
// 2^bits entries: their palette, then black. `clrUsed` goes into the header as it is.
std::vector<std::uint8_t> encodeBmp(const DibImage &image, std::uint32_t clrUsed = 0);

// Reads back a file written by encodeBmp (uncompressed, 1, 4, 8 or 24 bits); throws
// EInvalidGraphic for anything else. `info` receives the header fields.
DibImage decodeBmp(const std::vector<std::uint8_t> &file, BmpInfo *info = nullptr);

} // namespace qv
