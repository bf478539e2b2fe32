// An uncompressed picture in memory: 1, 4 or 8 bits of palette index, or 24-bit RGB, per pixel.
//
// The colour reduction and the GIF code work on this type; the Qt adapters convert to and from
// QImage. Pixels are kept one byte per index (or three per RGB pixel), rows from the top; the
// packed, bottom-up layout exists only in bitmap files (BmpFile.h).
#pragma once

#include <cstdint>
#include <vector>

namespace qv {

enum class PixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

struct Rgb
{
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb &, const Rgb &) = default;
};

struct DibImage
{
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::pf24bit;
    std::vector<Rgb> palette;         // indexed formats: the colour table
    std::vector<std::uint8_t> pixels; // width * height indices, or width * height * 3 bytes R, G, B

    // A picture with a size and pixel storage that fits it (the "handle" of the bitmap).
    bool valid() const;
    bool indexed() const;
    int bitsPerPixel() const;
    Rgb colourAt(int x, int y) const; // through the palette for indexed formats
};

int bitsOf(PixelFormat format); // 1, 4, 8, 15, 16, 24, 32; 0 for pfDevice and pfCustom

// ((width * bitsPerPixel + alignment - 1) rounded down to a multiple of alignment) / 8.
long long BytesPerScanline(long long width, long long bitsPerPixel, long long alignment);
// ((bits + 31) / 32) * 4: a row of `bits` bits padded to four bytes.
long long WidthBytes(long long bits);
// 2, 16 or 256 for the indexed formats, else 0.
int PixelFormatColors(PixelFormat format);

} // namespace qv
