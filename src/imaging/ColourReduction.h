// Colour reduction: converts a picture to 1, 4, 8 or 24 bits per pixel and returns it as a bitmap
// file in memory. True-colour pictures reduced to 8 bits get a 256-entry palette by one of six
// methods; the GIF writer uses the histogram method, or the greyscale one for greyscale frames.
#pragma once

#include "imaging/DibImage.h"

#include <array>
#include <cstdint>
#include <vector>

namespace qv {

// The numbering is fixed.
enum TMappingMethod : int {
    mapHistogram = 0,
    mapMedianCut = 1,
    mapTrunc784 = 2,
    mapTrunc666 = 3,
    mapTriple = 4,
    mapGrayscale = 5,
};

struct ConvertedBitmap
{
    DibImage image;
    std::uint32_t clrUsed = 0; // the header's count of used palette entries (0: all)
};

// `bitmap` in `format` by `method`. A picture asked for its own format (and not for greyscale)
// comes back unchanged. Throws EInvalidGraphic ("Bitmap image is not valid") for a picture
// without valid pixels, and ENotImplemented for targets other than 1, 4, 8 and 24 bits.
ConvertedBitmap ConvertBitmap(const DibImage &bitmap, PixelFormat format, TMappingMethod method);

// The bitmap file of ConvertBitmap's result.
std::vector<std::uint8_t> BitmapToMemoryStream(const DibImage &bitmap, PixelFormat format,
                                               TMappingMethod method = mapHistogram);

PixelFormat GetBitmapPixelFormat(const DibImage &bitmap);

// For each byte value, the index of the nearest level of the 4-, 6-, 7- and 8-level tables
// (the lower index on ties).
const std::array<std::uint8_t, 256> &nearestLevelIndex(int levels);
// The 8-bit value of `index` in the table of `levels` levels (4, 6, 7 or 8).
std::uint8_t levelValue(int levels, int index);

// The colour table of 1-bit (black, white) and 4-bit (the standard 16 colours) targets.
const std::vector<Rgb> &standardPalette(PixelFormat format);

} // namespace qv
