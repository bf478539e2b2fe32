// Writing TGIFImage as a GIF file: frames made from bitmaps are reduced to a palette when needed
// and LZW-encoded; frames read from a file keep their compressed data.
#include "imaging/GifImage.h"

#include "imaging/ColourReduction.h"
#include "imaging/GifLzw.h"
#include "imaging/GraphicsCore.h"

#include <algorithm>
#include <cstring>

namespace qv {
namespace {

void put16(std::vector<std::uint8_t> &out, int v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// Data longer than 255 bytes go out as several sub-blocks; then the terminator.
void putSubBlocks(std::vector<std::uint8_t> &out, const std::vector<std::string> &blocks)
{
    for (const std::string &s : blocks) {
        for (std::size_t at = 0; at < s.size(); at += 255) {
            const std::size_t n = std::min<std::size_t>(255, s.size() - at);
            out.push_back(static_cast<std::uint8_t>(n));
            out.insert(out.end(), s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(at + n));
        }
    }
    out.push_back(0);
}

int tableBits(std::size_t count)
{
    int bits = 1;
    while ((std::size_t{1} << bits) < count && bits < 8) {
        ++bits;
    }
    return bits;
}

void putTable(std::vector<std::uint8_t> &out, const std::vector<Rgb> &table)
{
    const std::size_t n = std::size_t{1} << tableBits(table.size());
    for (std::size_t i = 0; i < n; ++i) {
        const Rgb c = i < table.size() ? table[i] : Rgb{};
        out.insert(out.end(), {c.r, c.g, c.b});
    }
}

void putExtension(std::vector<std::uint8_t> &out, const TExtension &ext)
{
    out.push_back(0x21);
    out.push_back(gifExtensionLabel(ext.kind));
    switch (ext.kind) {
    case GifExtensionKind::GraphicControl:
        out.push_back(4);
        out.insert(out.end(), ext.fixed.begin() + 1, ext.fixed.begin() + 5);
        out.push_back(0);
        return;
    case GifExtensionKind::Application:
        out.push_back(11);
        out.insert(out.end(), ext.fixed.begin() + 1, ext.fixed.begin() + 12);
        break;
    case GifExtensionKind::PlainText:
        out.push_back(12);
        out.insert(out.end(), ext.fixed.begin() + 1, ext.fixed.begin() + 13);
        break;
    default:
        break;
    }
    putSubBlocks(out, ext.subBlocks);
}

// The frame's data as read, with the sub-block chain closed where a damaged file cut it, so that
// what follows is never taken for frame data.
void putFrameData(std::vector<std::uint8_t> &out, const std::vector<std::uint8_t> &data)
{
    if (data.empty()) {
        out.insert(out.end(), {2, 0}); // a frame cut before its data: no pixels
        return;
    }
    out.push_back(data[0]);
    std::size_t at = 1;
    while (at < data.size() && data[at] != 0) {
        const std::size_t take = std::min<std::size_t>(data[at], data.size() - at - 1);
        if (take == 0) {
            break;
        }
        out.push_back(static_cast<std::uint8_t>(take));
        out.insert(out.end(), data.begin() + static_cast<long>(at + 1), data.begin() + static_cast<long>(at + 1 + take));
        at += 1 + take;
    }
    out.push_back(0);
}

} // namespace

class GifWriter
{
public:
    explicit GifWriter(TGIFImage &image) : m_img(image) {}
    std::vector<std::uint8_t> run();

private:
    void encodeFromBitmap(TGIFFrame &f);
    void prepareControl(TGIFFrame &f);
    void putFrame(std::vector<std::uint8_t> &out, const TGIFFrame &f);

    TGIFImage &m_img;
};

void GifWriter::encodeFromBitmap(TGIFFrame &f)
{
    const DibImage &source = f.bitmap();
    if (!source.valid()) {
        throw EInvalidGraphicOperation(kGifNoData);
    }
    DibImage bmp = source;
    if (!source.indexed()) {
        bmp = ConvertBitmap(source, PixelFormat::pf8bit, f.greyscale ? mapGrayscale : mapHistogram).image;
        f.setBitmap(bmp);
    }
    const int depth = bmp.bitsPerPixel();
    if (depth != 1 && depth != 4 && depth != 8) {
        throw EInvalidGraphicOperation(kGifEncodingError);
    }
    if (bmp.width > 65535 || bmp.height > 65535) {
        throw EInvalidGraphicOperation(kGifEncodingError);
    }
    auto item = std::make_shared<TGIFItem>();
    item->width = bmp.width;
    item->height = bmp.height;
    item->bitDepth = depth;
    item->colourTable = bmp.palette;
    item->colourTable.resize(std::size_t{1} << depth);
    item->data = gif::encodeFrame(bmp.pixels, bmp.width, bmp.height, depth, f.interlaced);
    f.item = std::move(item);
    f.hasLocalColourTable = true;
}

void GifWriter::prepareControl(TGIFFrame &f)
{
    auto &exts = f.extensions;
    exts.erase(std::remove_if(exts.begin(), exts.end(),
                              [](const TExtension &e) {
                                  return e.kind == GifExtensionKind::Comment && e.subBlocks.empty();
                              }),
               exts.end());
    auto gce = std::find_if(exts.begin(), exts.end(),
                            [](const TExtension &e) { return e.kind == GifExtensionKind::GraphicControl; });
    const bool transparent =
        f.transparentIndex >= 0 && static_cast<std::size_t>(f.transparentIndex) < f.item->colourTable.size();
    if (gce == exts.end()) {
        if (f.delay == 0 && !transparent && f.disposal == 0) {
            return;
        }
        TExtension e;
        e.kind = GifExtensionKind::GraphicControl;
        exts.insert(exts.begin(), e);
        gce = exts.begin();
    }
    const std::uint32_t delay = std::min<std::uint32_t>(f.delay / 10, 65535);
    gce->fixed[0] = 4;
    gce->fixed[1] =
        static_cast<std::uint8_t>((gce->fixed[1] & ~0x1D) | ((f.disposal & 7) << 2) | (transparent ? 1 : 0));
    gce->fixed[2] = static_cast<std::uint8_t>(delay);
    gce->fixed[3] = static_cast<std::uint8_t>(delay >> 8);
    gce->fixed[4] = static_cast<std::uint8_t>(transparent ? f.transparentIndex : 0);
}

void GifWriter::putFrame(std::vector<std::uint8_t> &out, const TGIFFrame &f)
{
    for (const TExtension &ext : f.extensions) {
        putExtension(out, ext);
    }
    out.push_back(0x2C);
    put16(out, f.left);
    put16(out, f.top);
    put16(out, f.item->width);
    put16(out, f.item->height);
    const bool local = f.hasLocalColourTable && !f.item->colourTable.empty();
    std::uint8_t packed = f.interlaced ? 0x40 : 0;
    if (local) {
        packed |= static_cast<std::uint8_t>(0x80 | (tableBits(f.item->colourTable.size()) - 1));
    }
    out.push_back(packed);
    if (local) {
        putTable(out, f.item->colourTable);
    }
    putFrameData(out, f.item->data);
}

std::vector<std::uint8_t> GifWriter::run()
{
    auto &frames = m_img.m_frames;
    if (frames.empty()) {
        throw EInvalidGraphicOperation(kGifNoData);
    }
    int width = 0;
    int height = 0;
    bool extensions = !m_img.data().comments.empty() || (m_img.looping && frames.size() > 1);
    for (auto &f : frames) {
        if (f->fromBitmap()) {
            encodeFromBitmap(*f);
        }
        prepareControl(*f);
        extensions = extensions || !f->extensions.empty();
        width = std::max(width, f->left + f->item->width);
        height = std::max(height, f->top + f->item->height);
    }
    if (width > 65535 || height > 65535) {
        throw EInvalidGraphicOperation(kGifEncodingError);
    }
    m_img.m_version = extensions ? 2 : std::max(m_img.m_version, 1);
    m_img.screenWidth = width;
    m_img.screenHeight = height;
    std::vector<std::uint8_t> out{'G', 'I', 'F'};
    const char *v = m_img.versionText();
    out.insert(out.end(), v, v + 3);
    put16(out, width);
    put16(out, height);
    const auto &global = m_img.data().globalTable;
    out.push_back(global.empty() ? 0x70 : static_cast<std::uint8_t>(0xF0 | (tableBits(global.size()) - 1)));
    out.push_back(
        static_cast<std::uint8_t>(m_img.backgroundIndex > 0 && !global.empty() ? m_img.backgroundIndex : 0));
    out.push_back(0);
    if (!global.empty()) {
        putTable(out, global);
    }
    if (m_img.looping && frames.size() > 1) {
        out.insert(out.end(), {0x21, 0xFF, 11});
        const char *id = "NETSCAPE2.0";
        out.insert(out.end(), id, id + 11);
        out.insert(out.end(), {3, 1});
        put16(out, m_img.repeatCount);
        out.push_back(0);
    }
    // The image's comment lines go before the first frame: readers report only comments that
    // precede an image, so a trailing comment would be lost to them.
    for (const std::string &line : m_img.data().comments) {
        if (line.empty()) {
            continue;
        }
        out.insert(out.end(), {0x21, 0xFE});
        putSubBlocks(out, {line});
    }
    for (const auto &f : frames) {
        putFrame(out, *f);
    }
    out.push_back(0x3B);
    return out;
}

std::vector<std::uint8_t> TGIFImage::SaveToStream()
{
    return GifWriter(*this).run();
}

} // namespace qv
