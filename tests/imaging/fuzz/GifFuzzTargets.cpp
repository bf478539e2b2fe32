// Fuzz targets of the GIF reader and writer and of the colour reduction.
#include "GifFuzzTargets.h"

#include "imaging/BmpFile.h"
#include "imaging/ColourReduction.h"
#include "imaging/GifImage.h"
#include "imaging/GraphicsCore.h"

#include <cstdio>
#include <cstdlib>

namespace giftest {
namespace {

// Frames above these are not decoded or not written back, to keep each run short (the decoder's
// own limit on frame size has its unit test).
constexpr unsigned long long kDecodeLimit = 1u << 22;
constexpr std::size_t kRewriteLimit = 1u << 16;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz target found a wrong result: %s\n", what);
    std::abort();
}

void check(bool ok, const char *what)
{
    if (!ok) {
        fail(what);
    }
}

void rewriteAndCompare(qv::TGIFImage &copy)
{
    const std::vector<std::uint8_t> bytes = copy.SaveToStream();
    qv::TGIFImage back;
    back.lenient = false;
    back.LoadFromStream(bytes); // our own output must read strictly
    check(back.frames().size() == copy.frames().size(), "frame count after rewrite");
    for (std::size_t i = 0; i < copy.frames().size(); ++i) {
        const qv::DibImage &want = copy.frames()[i]->bitmap();
        qv::TGIFFrame &f = *back.frames()[i];
        const qv::DibImage &got = f.bitmap();
        check(!f.corrupt, "rewritten frame reads as corrupt");
        check(got.width == want.width && got.height == want.height, "frame size after rewrite");
        check(got.pixels == want.pixels, "indices after rewrite");
        for (std::size_t k = 0; k < want.palette.size() && k < got.palette.size(); ++k) {
            check(got.palette[k] == want.palette[k], "colour table after rewrite");
        }
        check(f.transparentIndex == copy.frames()[i]->transparentIndex, "transparent index after rewrite");
    }
}

} // namespace

void fuzzGifRead(const std::uint8_t *data, std::size_t size)
{
    qv::TGIFImage gif;
    try {
        gif.LoadFromStream(data, size);
    } catch (const qv::EInvalidGraphicOperation &) {
        return;
    }
    qv::TGIFImage copy;
    for (auto &frame : gif.frames()) {
        if (static_cast<unsigned long long>(frame->item->width) * static_cast<unsigned long long>(frame->item->height) >
            kDecodeLimit) {
            continue;
        }
        try {
            const qv::DibImage &bmp = frame->bitmap();
            check(bmp.pixels.size() ==
                      static_cast<std::size_t>(bmp.width) * static_cast<std::size_t>(bmp.height),
                  "decoded size");
            for (const std::uint8_t index : bmp.pixels) {
                check(index < bmp.palette.size(), "decoded index outside the palette");
            }
            if (bmp.valid() && bmp.pixels.size() <= kRewriteLimit) {
                copy.AddFrame(bmp, frame->transparentColour() ? frame->transparentIndex : -1);
                copy.frames().back()->interlaced = frame->interlaced;
                copy.frames().back()->delay = frame->delay;
            }
        } catch (const qv::EInvalidGraphicOperation &) {
            // an undecodable frame is reported, not drawn
        }
    }
    // Writing what was read (compressed data kept as read) must not fail either way.
    try {
        const std::vector<std::uint8_t> again = gif.SaveToStream();
        qv::TGIFImage reread;
        reread.LoadFromStream(again);
    } catch (const qv::EInvalidGraphicOperation &) {
    }
    if (!copy.frames().empty()) {
        copy.looping = gif.looping;
        copy.repeatCount = gif.repeatCount;
        rewriteAndCompare(copy);
    }
}

void fuzzColourReduce(const std::uint8_t *data, std::size_t size)
{
    if (size < 6) {
        return;
    }
    static const qv::PixelFormat kFormats[4] = {qv::PixelFormat::pf1bit, qv::PixelFormat::pf4bit,
                                                qv::PixelFormat::pf8bit, qv::PixelFormat::pf24bit};
    qv::DibImage src;
    src.width = 1 + (data[0] & 127);
    src.height = 1 + (data[1] & 31);
    const auto method = static_cast<qv::TMappingMethod>(data[2] % 6);
    const qv::PixelFormat target = kFormats[data[3] & 3];
    src.format = kFormats[data[4] & 3];
    data += 5;
    size -= 5;
    std::size_t at = 0;
    auto next = [&]() { return data[at++ % size]; };
    const std::size_t n = static_cast<std::size_t>(src.width) * static_cast<std::size_t>(src.height);
    if (src.indexed()) {
        const int colours = qv::PixelFormatColors(src.format);
        for (int i = 0; i < colours; ++i) {
            src.palette.push_back(qv::Rgb{next(), next(), next()});
        }
        for (std::size_t i = 0; i < n; ++i) {
            src.pixels.push_back(static_cast<std::uint8_t>(next() % colours));
        }
    } else {
        for (std::size_t i = 0; i < n * 3; ++i) {
            src.pixels.push_back(next());
        }
    }
    const qv::ConvertedBitmap out = qv::ConvertBitmap(src, target, method);
    const qv::DibImage &img = out.image;
    check(img.valid() && img.width == src.width && img.height == src.height, "converted size");
    if (img.indexed()) {
        const std::size_t limit = out.clrUsed ? out.clrUsed : img.palette.size();
        check(img.palette.size() == static_cast<std::size_t>(qv::PixelFormatColors(img.format)) ||
                  img.format == src.format,
              "palette size");
        for (const std::uint8_t index : img.pixels) {
            check(index < limit, "index outside the palette");
        }
    }
    const std::vector<std::uint8_t> file = qv::BitmapToMemoryStream(src, target, method);
    qv::BmpInfo info;
    const qv::DibImage back = qv::decodeBmp(file, &info);
    const long long row = qv::BytesPerScanline(img.width, img.bitsPerPixel(), 32);
    check(info.fileSize == file.size(), "file size in the header");
    check(info.sizeImage ==
              static_cast<unsigned long long>(row) * static_cast<unsigned long long>(img.height),
          "image size against BytesPerScanline");
    check(info.pixelOffset + info.sizeImage == file.size(), "pixel offset");
    check(back.pixels == img.pixels, "pixels read back from the bitmap file");
}

const FuzzTarget kFuzzTargets[2] = {
    {"gif-read", fuzzGifRead},
    {"colour-reduce", fuzzColourReduce},
};

} // namespace giftest
