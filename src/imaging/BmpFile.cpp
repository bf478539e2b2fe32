// Writing and reading the in-memory bitmap files of the colour reduction.
#include "imaging/BmpFile.h"

#include "imaging/GraphicsCore.h"

#include <algorithm>

namespace qv {
namespace {

void put16(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::uint32_t get32(const std::vector<std::uint8_t> &in, std::size_t at)
{
    return in[at] | (in[at + 1] << 8) | (in[at + 2] << 16) | (static_cast<std::uint32_t>(in[at + 3]) << 24);
}

std::uint16_t get16(const std::vector<std::uint8_t> &in, std::size_t at)
{
    return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}

// Packs one row of `image` (row y from the top) into `row`, which is zero-filled and padded.
void packRow(const DibImage &image, int y, std::uint8_t *row)
{
    const int bits = image.bitsPerPixel();
    const std::size_t base = static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width);
    for (int x = 0; x < image.width; ++x) {
        if (bits == 24) {
            const std::uint8_t *p = &image.pixels[(base + x) * 3];
            row[x * 3] = p[2]; // blue, green, red
            row[x * 3 + 1] = p[1];
            row[x * 3 + 2] = p[0];
        } else if (bits == 8) {
            row[x] = image.pixels[base + x];
        } else if (bits == 4) {
            row[x / 2] |= static_cast<std::uint8_t>((image.pixels[base + x] & 15) << (x % 2 ? 0 : 4));
        } else {
            row[x / 8] |= static_cast<std::uint8_t>((image.pixels[base + x] & 1) << (7 - x % 8));
        }
    }
}

} // namespace

std::vector<std::uint8_t> encodeBmp(const DibImage &image, std::uint32_t clrUsed)
{
    const int bits = image.bitsPerPixel();
    if (!image.valid() || (bits != 1 && bits != 4 && bits != 8 && bits != 24)) {
        throw EInvalidGraphic("Bitmap image is not valid");
    }
    const std::uint32_t tableEntries = bits <= 8 ? (1u << bits) : 0;
    const auto stride = static_cast<std::uint32_t>(WidthBytes(static_cast<long long>(image.width) * bits));
    const std::uint32_t sizeImage = stride * static_cast<std::uint32_t>(image.height);
    const std::uint32_t headerSize = 40 + 4 * tableEntries;
    std::vector<std::uint8_t> out;
    out.reserve(14 + headerSize + sizeImage);
    out.push_back('B');
    out.push_back('M');
    put32(out, 14 + headerSize + sizeImage);
    put32(out, 0);
    put32(out, 14 + headerSize);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(image.width));
    put32(out, static_cast<std::uint32_t>(image.height));
    put16(out, 1);
    put16(out, static_cast<std::uint32_t>(bits));
    put32(out, 0); // uncompressed
    put32(out, sizeImage);
    put32(out, 0);
    put32(out, 0);
    put32(out, clrUsed);
    put32(out, 0);
    for (std::uint32_t i = 0; i < tableEntries; ++i) {
        const Rgb c = i < image.palette.size() ? image.palette[i] : Rgb{};
        out.insert(out.end(), {c.b, c.g, c.r, 0});
    }
    std::vector<std::uint8_t> row(stride);
    for (int y = image.height - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), 0);
        packRow(image, y, row.data());
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

DibImage decodeBmp(const std::vector<std::uint8_t> &file, BmpInfo *info)
{
    const EInvalidGraphic bad("Bitmap image is not valid");
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M' || get32(file, 14) != 40 ||
        get32(file, 30) != 0) {
        throw bad;
    }
    BmpInfo h;
    h.fileSize = get32(file, 2);
    h.pixelOffset = get32(file, 10);
    h.width = static_cast<std::int32_t>(get32(file, 18));
    h.height = static_cast<std::int32_t>(get32(file, 22));
    h.bitCount = get16(file, 28);
    h.sizeImage = get32(file, 34);
    h.clrUsed = get32(file, 46);
    if (info) {
        *info = h;
    }
    DibImage img;
    switch (h.bitCount) {
    case 1:
        img.format = PixelFormat::pf1bit;
        break;
    case 4:
        img.format = PixelFormat::pf4bit;
        break;
    case 8:
        img.format = PixelFormat::pf8bit;
        break;
    case 24:
        img.format = PixelFormat::pf24bit;
        break;
    default:
        throw bad;
    }
    if (h.width < 1 || h.height < 1 || h.width > 1 << 16 || h.height > 1 << 16) {
        throw bad;
    }
    const std::uint32_t entries = h.bitCount <= 8 ? (1u << h.bitCount) : 0;
    const auto stride = static_cast<std::size_t>(WidthBytes(static_cast<long long>(h.width) * h.bitCount));
    if (h.pixelOffset < 54 + 4 * entries ||
        file.size() < h.pixelOffset + stride * static_cast<std::size_t>(h.height)) {
        throw bad;
    }
    img.width = h.width;
    img.height = h.height;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t *q = &file[54 + 4 * i];
        img.palette.push_back(Rgb{q[2], q[1], q[0]});
    }
    const std::size_t channels = h.bitCount == 24 ? 3 : 1;
    img.pixels.resize(static_cast<std::size_t>(h.width) * static_cast<std::size_t>(h.height) * channels);
    for (int y = 0; y < h.height; ++y) {
        const std::uint8_t *row = &file[h.pixelOffset + stride * static_cast<std::size_t>(h.height - 1 - y)];
        std::uint8_t *dst =
            &img.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(h.width) * channels];
        for (int x = 0; x < h.width; ++x) {
            switch (h.bitCount) {
            case 24:
                dst[x * 3] = row[x * 3 + 2];
                dst[x * 3 + 1] = row[x * 3 + 1];
                dst[x * 3 + 2] = row[x * 3];
                break;
            case 8:
                dst[x] = row[x];
                break;
            case 4:
                dst[x] = static_cast<std::uint8_t>((row[x / 2] >> (x % 2 ? 0 : 4)) & 15);
                break;
            default:
                dst[x] = static_cast<std::uint8_t>((row[x / 8] >> (7 - x % 8)) & 1);
                break;
            }
        }
    }
    return img;
}

} // namespace qv
