// Pixel formats and row sizes of in-memory pictures.
#include "imaging/DibImage.h"

namespace qv {

int bitsOf(PixelFormat format)
{
    switch (format) {
    case PixelFormat::pf1bit:
        return 1;
    case PixelFormat::pf4bit:
        return 4;
    case PixelFormat::pf8bit:
        return 8;
    case PixelFormat::pf15bit:
        return 15;
    case PixelFormat::pf16bit:
        return 16;
    case PixelFormat::pf24bit:
        return 24;
    case PixelFormat::pf32bit:
        return 32;
    default:
        return 0;
    }
}

bool DibImage::indexed() const
{
    return format == PixelFormat::pf1bit || format == PixelFormat::pf4bit || format == PixelFormat::pf8bit;
}

int DibImage::bitsPerPixel() const
{
    return bitsOf(format);
}

bool DibImage::valid() const
{
    if (width < 1 || height < 1) {
        return false;
    }
    const auto n = static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height);
    if (indexed()) {
        return pixels.size() == n && !palette.empty() && palette.size() <= 256;
    }
    return format == PixelFormat::pf24bit && pixels.size() == n * 3;
}

Rgb DibImage::colourAt(int x, int y) const
{
    const auto at =
        static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    if (indexed()) {
        const std::uint8_t i = pixels[at];
        return i < palette.size() ? palette[i] : Rgb{};
    }
    return Rgb{pixels[at * 3], pixels[at * 3 + 1], pixels[at * 3 + 2]};
}

long long BytesPerScanline(long long width, long long bitsPerPixel, long long alignment)
{
    alignment = alignment < 1 ? 1 : alignment;
    const long long bits = width * bitsPerPixel + alignment - 1;
    return (bits - bits % alignment) / 8;
}

long long WidthBytes(long long bits)
{
    return ((bits + 31) / 32) * 4;
}

int PixelFormatColors(PixelFormat format)
{
    switch (format) {
    case PixelFormat::pf1bit:
        return 2;
    case PixelFormat::pf4bit:
        return 16;
    case PixelFormat::pf8bit:
        return 256;
    default:
        return 0;
    }
}

} // namespace qv
