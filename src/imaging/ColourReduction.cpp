// Colour reduction: the conversion driver, the level tables and the fixed-palette methods.
#include "imaging/ColourReduction.h"

#include "imaging/BmpFile.h"
#include "imaging/ColourMethods.h"
#include "imaging/GraphicsCore.h"

#include <cstdlib>

namespace qv {
namespace {

const std::vector<std::uint8_t> &levels(int count)
{
    static const std::vector<std::uint8_t> l4{0, 85, 170, 255};
    static const std::vector<std::uint8_t> l6{0, 51, 102, 153, 204, 255};
    static const std::vector<std::uint8_t> l7{0, 43, 85, 128, 170, 213, 255};
    static const std::vector<std::uint8_t> l8{0, 36, 73, 109, 146, 182, 219, 255};
    switch (count) {
    case 4:
        return l4;
    case 6:
        return l6;
    case 7:
        return l7;
    default:
        return l8;
    }
}

std::array<std::uint8_t, 256> buildNearest(int count)
{
    const auto &l = levels(count);
    std::array<std::uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) {
        std::size_t best = 0;
        for (std::size_t i = 1; i < l.size(); ++i) {
            if (std::abs(v - l[i]) < std::abs(v - l[best])) {
                best = i;
            }
        }
        t[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(best);
    }
    return t;
}

// Any supported picture as 24-bit RGB.
DibImage toRgb24(const DibImage &src)
{
    if (src.format == PixelFormat::pf24bit) {
        return src;
    }
    DibImage out;
    out.width = src.width;
    out.height = src.height;
    out.format = PixelFormat::pf24bit;
    out.pixels.resize(src.pixels.size() * 3);
    for (std::size_t i = 0; i < src.pixels.size(); ++i) {
        const std::uint8_t k = src.pixels[i];
        const Rgb c = k < src.palette.size() ? src.palette[k] : Rgb{};
        out.pixels[i * 3] = c.r;
        out.pixels[i * 3 + 1] = c.g;
        out.pixels[i * 3 + 2] = c.b;
    }
    return out;
}

// 1- and 4-bit targets: each pixel takes the nearest colour of the standard palette.
DibImage toNearest(const DibImage &rgb, PixelFormat format)
{
    const auto &pal = standardPalette(format);
    DibImage out;
    out.width = rgb.width;
    out.height = rgb.height;
    out.format = format;
    out.palette = pal;
    out.pixels.resize(rgb.pixels.size() / 3);
    for (std::size_t i = 0; i < out.pixels.size(); ++i) {
        const Rgb c{rgb.pixels[i * 3], rgb.pixels[i * 3 + 1], rgb.pixels[i * 3 + 2]};
        std::size_t best = 0;
        for (std::size_t k = 1; k < pal.size(); ++k) {
            if (colour::distance2(c, pal[k]) < colour::distance2(c, pal[best])) {
                best = k;
            }
        }
        out.pixels[i] = static_cast<std::uint8_t>(best);
    }
    return out;
}

colour::Reduction truncate(const DibImage &img, int lr, int lg, int lb)
{
    colour::Reduction out;
    out.palette.assign(256, colour::kFillGrey);
    const int used = lr * lg * lb;
    for (int i = 0; i < used; ++i) {
        out.palette[static_cast<std::size_t>(i)] =
            Rgb{levelValue(lr, i / (lg * lb)), levelValue(lg, (i / lb) % lg), levelValue(lb, i % lb)};
    }
    const auto &nr = nearestLevelIndex(lr);
    const auto &ng = nearestLevelIndex(lg);
    const auto &nb = nearestLevelIndex(lb);
    out.indices.resize(img.pixels.size() / 3);
    for (std::size_t p = 0; p < out.indices.size(); ++p) {
        const std::uint8_t *c = &img.pixels[p * 3];
        out.indices[p] = static_cast<std::uint8_t>((nr[c[0]] * lg + ng[c[1]]) * lb + nb[c[2]]);
    }
    out.clrUsed = static_cast<std::uint32_t>(used);
    return out;
}

DibImage greyRgb(const DibImage &rgb)
{
    DibImage out = rgb;
    for (std::size_t p = 0; p < out.pixels.size(); p += 3) {
        const auto v = static_cast<std::uint8_t>(
            (77 * out.pixels[p] + 150 * out.pixels[p + 1] + 29 * out.pixels[p + 2]) >> 8);
        out.pixels[p] = out.pixels[p + 1] = out.pixels[p + 2] = v;
    }
    return out;
}

} // namespace

namespace colour {

Reduction trunc784(const DibImage &rgb)
{
    return truncate(rgb, 7, 8, 4);
}

Reduction trunc666(const DibImage &rgb)
{
    return truncate(rgb, 6, 6, 6);
}

Reduction triple(const DibImage &img)
{
    Reduction out;
    out.palette.assign(256, Rgb{});
    for (int i = 0; i < 64; ++i) {
        const auto v = static_cast<std::uint8_t>(4 * i);
        out.palette[static_cast<std::size_t>(i)] = Rgb{v, 0, 0};
        out.palette[static_cast<std::size_t>(64 + i)] = Rgb{0, v, 0};
        out.palette[static_cast<std::size_t>(128 + i)] = Rgb{0, 0, v};
    }
    out.indices.resize(img.pixels.size() / 3);
    forEachStored(img, [&](int x, int y, std::size_t at) {
        const int storedRow = img.height - 1 - y;
        const int channel = (x + storedRow) % 3;
        out.indices[at] = static_cast<std::uint8_t>(64 * channel + (img.pixels[at * 3 + channel] >> 2));
    });
    return out;
}

Reduction grayscale(const DibImage &img)
{
    Reduction out;
    out.palette.resize(256);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        out.palette[static_cast<std::size_t>(i)] = Rgb{v, v, v};
    }
    out.indices.resize(img.pixels.size() / 3);
    for (std::size_t p = 0; p < out.indices.size(); ++p) {
        const std::uint8_t *c = &img.pixels[p * 3];
        out.indices[p] = static_cast<std::uint8_t>((77 * c[0] + 150 * c[1] + 29 * c[2]) >> 8);
    }
    return out;
}

} // namespace colour

const std::array<std::uint8_t, 256> &nearestLevelIndex(int count)
{
    static const std::array<std::uint8_t, 256> t4 = buildNearest(4);
    static const std::array<std::uint8_t, 256> t6 = buildNearest(6);
    static const std::array<std::uint8_t, 256> t7 = buildNearest(7);
    static const std::array<std::uint8_t, 256> t8 = buildNearest(8);
    switch (count) {
    case 4:
        return t4;
    case 6:
        return t6;
    case 7:
        return t7;
    default:
        return t8;
    }
}

std::uint8_t levelValue(int count, int index)
{
    return levels(count)[static_cast<std::size_t>(index)];
}

const std::vector<Rgb> &standardPalette(PixelFormat format)
{
    static const std::vector<Rgb> mono{{0, 0, 0}, {255, 255, 255}};
    static const std::vector<Rgb> sixteen{{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                          {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                          {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                          {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    return format == PixelFormat::pf1bit ? mono : sixteen;
}

PixelFormat GetBitmapPixelFormat(const DibImage &bitmap)
{
    return bitmap.format;
}

ConvertedBitmap ConvertBitmap(const DibImage &bitmap, PixelFormat format, TMappingMethod method)
{
    if (!bitmap.valid()) {
        throw EInvalidGraphic("Bitmap image is not valid");
    }
    if (format == bitmap.format && method != mapGrayscale) {
        return ConvertedBitmap{bitmap, 0};
    }
    if (format != PixelFormat::pf1bit && format != PixelFormat::pf4bit && format != PixelFormat::pf8bit &&
        format != PixelFormat::pf24bit) {
        StopNotImplemented();
    }
    const DibImage rgb = toRgb24(bitmap);
    if (format == PixelFormat::pf1bit || format == PixelFormat::pf4bit) {
        return ConvertedBitmap{toNearest(rgb, format), 0};
    }
    if (format == PixelFormat::pf24bit) {
        return ConvertedBitmap{method == mapGrayscale ? greyRgb(rgb) : rgb, 0};
    }
    colour::Reduction r;
    switch (method) {
    case mapHistogram:
        r = colour::histogram(rgb, PixelFormatColors(format));
        break;
    case mapMedianCut:
        r = colour::medianCut(rgb, 256);
        break;
    case mapTrunc784:
        r = colour::trunc784(rgb);
        break;
    case mapTrunc666:
        r = colour::trunc666(rgb);
        break;
    case mapTriple:
        r = colour::triple(rgb);
        break;
    case mapGrayscale:
        r = colour::grayscale(rgb);
        break;
    default:
        StopNotImplemented();
    }
    ConvertedBitmap out;
    out.image.width = bitmap.width;
    out.image.height = bitmap.height;
    out.image.format = PixelFormat::pf8bit;
    out.image.palette = std::move(r.palette);
    out.image.pixels = std::move(r.indices);
    out.clrUsed = r.clrUsed;
    return out;
}

std::vector<std::uint8_t> BitmapToMemoryStream(const DibImage &bitmap, PixelFormat format,
                                               TMappingMethod method)
{
    const ConvertedBitmap c = ConvertBitmap(bitmap, format, method);
    return encodeBmp(c.image, c.clrUsed);
}

} // namespace qv
