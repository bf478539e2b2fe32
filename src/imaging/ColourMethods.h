// The six palette methods of the colour reduction, over a 24-bit picture.
//
// Each returns a 256-entry palette and one index per pixel (rows from the top). Where a method
// depends on the order in which pixels are met, it visits them as a bitmap file stores them:
// bottom row first, left to right.
#pragma once

#include "imaging/DibImage.h"

#include <cstdint>
#include <vector>

namespace qv::colour {

struct Reduction
{
    std::vector<Rgb> palette; // 256 entries
    std::vector<std::uint8_t> indices;
    std::uint32_t clrUsed = 0;
};

inline constexpr Rgb kFillGrey{128, 128, 128};

// Calls f(x, yFromTop, offsetOfPixel) in stored order.
template <typename F> void forEachStored(const DibImage &img, F &&f)
{
    for (int yb = 0; yb < img.height; ++yb) {
        const int y = img.height - 1 - yb;
        for (int x = 0; x < img.width; ++x) {
            f(x, y,
              static_cast<std::size_t>(y) * static_cast<std::size_t>(img.width) +
                  static_cast<std::size_t>(x));
        }
    }
}

inline int distance2(Rgb a, Rgb b)
{
    const int dr = a.r - b.r;
    const int dg = a.g - b.g;
    const int db = a.b - b.b;
    return dr * dr + dg * dg + db * db;
}

Reduction histogram(const DibImage &rgb, int colours);
Reduction medianCut(const DibImage &rgb, int colours);
Reduction trunc784(const DibImage &rgb);
Reduction trunc666(const DibImage &rgb);
Reduction triple(const DibImage &rgb);
Reduction grayscale(const DibImage &rgb);

} // namespace qv::colour
