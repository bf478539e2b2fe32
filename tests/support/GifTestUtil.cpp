// Helpers of the GIF and colour-reduction tests.
#include "support/GifTestUtil.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace giftest {

qv::DibImage indexedPicture(int width, int height, int bits, unsigned seed)
{
    qv::DibImage img;
    img.width = width;
    img.height = height;
    img.format = bits == 1   ? qv::PixelFormat::pf1bit
                 : bits == 4 ? qv::PixelFormat::pf4bit
                             : qv::PixelFormat::pf8bit;
    const int colours = 1 << bits;
    for (int i = 0; i < colours; ++i) {
        img.palette.push_back(qv::Rgb{static_cast<std::uint8_t>(i * 37 + seed),
                                      static_cast<std::uint8_t>(255 - i),
                                      static_cast<std::uint8_t>(i * 11 + 3)});
    }
    unsigned state = seed * 2654435761u + 1;
    for (int i = 0; i < width * height; ++i) {
        state = state * 1103515245u + 12345u;
        img.pixels.push_back(static_cast<std::uint8_t>((state >> 16) % static_cast<unsigned>(colours)));
    }
    return img;
}

qv::DibImage rgbPicture(int width, int height, const std::vector<qv::Rgb> &pixels)
{
    qv::DibImage img;
    img.width = width;
    img.height = height;
    img.format = qv::PixelFormat::pf24bit;
    for (const qv::Rgb &c : pixels) {
        img.pixels.insert(img.pixels.end(), {c.r, c.g, c.b});
    }
    return img;
}

RawGif::RawGif(const char *version, int width, int height, int tableBits)
{
    const std::string head = std::string("GIF") + version;
    bytes.reserve(1024);
    bytes.assign(head.begin(), head.end());
    bytes.insert(bytes.end(), {static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(width >> 8),
                               static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(height >> 8)});
    bytes.push_back(tableBits > 0 ? static_cast<std::uint8_t>(0xF0 | (tableBits - 1)) : 0);
    bytes.insert(bytes.end(), {0, 0});
    for (int i = 0; tableBits > 0 && i < (1 << tableBits); ++i) {
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(2 * i),
                                   static_cast<std::uint8_t>(3 * i)});
    }
}

RawGif &RawGif::extension(std::uint8_t label, const Bytes &body)
{
    bytes.insert(bytes.end(), {0x21, label});
    bytes.insert(bytes.end(), body.begin(), body.end());
    return *this;
}

RawGif &RawGif::frame(int width, int height, const Bytes &data, std::uint8_t packed)
{
    bytes.insert(bytes.end(),
                 {0x2C, 0, 0, 0, 0, static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(width >> 8),
                  static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(height >> 8), packed});
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
}

RawGif &RawGif::trailer()
{
    bytes.push_back(0x3B);
    return *this;
}

Bytes lzwData(int codeSize, const std::vector<std::pair<int, int>> &codesAndWidths)
{
    Bytes packed;
    std::uint32_t acc = 0;
    int count = 0;
    for (const auto &[code, width] : codesAndWidths) {
        acc |= static_cast<std::uint32_t>(code) << count;
        count += width;
        while (count >= 8) {
            packed.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            count -= 8;
        }
    }
    if (count > 0) {
        packed.push_back(static_cast<std::uint8_t>(acc));
    }
    Bytes out;
    out.reserve(packed.size() + packed.size() / 255 + 3);
    out.push_back(static_cast<std::uint8_t>(codeSize));
    for (std::size_t at = 0; at < packed.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, packed.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), packed.begin() + static_cast<long>(at),
                   packed.begin() + static_cast<long>(at + n));
    }
    out.push_back(0);
    return out;
}

std::string pillowPython()
{
    static const std::string found = [] {
        for (const char *candidate : {"python3", "/usr/bin/python3"}) {
            if (qvtest::runCommand({candidate, "-c", "import PIL.Image"}, 30).exitCode == 0) {
                return std::string(candidate);
            }
        }
        return std::string();
    }();
    return found;
}

std::string runPython(const std::string &code, const std::vector<std::string> &args)
{
    std::vector<std::string> argv{pillowPython(), "-c", code};
    argv.insert(argv.end(), args.begin(), args.end());
    const qvtest::CommandResult r = qvtest::runCommand(argv, 120);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
}

std::string bytesToString(const Bytes &b)
{
    return std::string(b.begin(), b.end());
}

Bytes stringToBytes(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

} // namespace giftest
