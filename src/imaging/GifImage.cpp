// TGIFImage and TGIFFrame: frames, decoding on demand, and the image's own operations.
#include "imaging/GifImage.h"

#include "imaging/GifLzw.h"
#include "imaging/GraphicsCore.h"

#include <algorithm>

namespace qv {

std::uint8_t gifExtensionLabel(GifExtensionKind kind)
{
    switch (kind) {
    case GifExtensionKind::GraphicControl:
        return 0xF9;
    case GifExtensionKind::PlainText:
        return 0x01;
    case GifExtensionKind::Application:
        return 0xFF;
    default:
        return 0xFE;
    }
}

TGIFFrame::TGIFFrame(const TGIFFrame &other)
{
    *this = other;
}

TGIFFrame &TGIFFrame::operator=(const TGIFFrame &other)
{
    if (this != &other) {
        item = other.item; // shared, as the compressed data are never changed in place
        extensions = other.extensions;
        left = other.left;
        top = other.top;
        interlaced = other.interlaced;
        corrupt = other.corrupt;
        greyscale = other.greyscale;
        transparentIndex = other.transparentIndex;
        delay = other.delay;
        disposal = other.disposal;
        hasLocalColourTable = other.hasLocalColourTable;
        lenient = other.lenient;
        m_bitmap = other.m_bitmap;
        m_fromBitmap = other.m_fromBitmap;
    }
    return *this;
}

std::optional<Rgb> TGIFFrame::transparentColour() const
{
    const auto &table = m_fromBitmap && m_bitmap ? m_bitmap->palette : item->colourTable;
    if (transparentIndex >= 0 && static_cast<std::size_t>(transparentIndex) < table.size()) {
        return table[static_cast<std::size_t>(transparentIndex)];
    }
    return std::nullopt;
}

void TGIFFrame::setBitmap(DibImage bitmap)
{
    m_bitmap = std::make_shared<const DibImage>(std::move(bitmap));
    m_fromBitmap = true;
    item = std::make_shared<TGIFItem>();
    item->width = m_bitmap->width;
    item->height = m_bitmap->height;
}

const DibImage &TGIFFrame::bitmap(const std::function<void(int)> &progress)
{
    if (m_bitmap) {
        return *m_bitmap;
    }
    const int bits = item->bitDepth;
    int depth = 0;
    if (bits == 1) {
        depth = 1;
    } else if (bits >= 2 && bits <= 4) {
        depth = 4;
    } else if (bits >= 5 && bits <= 8) {
        depth = 8;
    } else {
        throw EInvalidGraphicOperation(kGifWrongColours);
    }
    gif::DecodeRequest rq;
    rq.stream = &item->data;
    rq.width = item->width;
    rq.height = item->height;
    rq.interlaced = interlaced;
    rq.tableCount = item->colourTable.empty() ? 256 : static_cast<int>(item->colourTable.size());
    rq.progress = progress;
    rq.lenient = lenient;
    gif::DecodeResult decoded = gif::decodeFrame(rq);
    corrupt = corrupt || decoded.corrupt;
    DibImage img;
    img.width = item->width;
    img.height = item->height;
    img.format = depth == 1 ? PixelFormat::pf1bit : depth == 4 ? PixelFormat::pf4bit : PixelFormat::pf8bit;
    img.palette.assign(std::size_t{1} << depth, Rgb{128, 128, 128});
    for (std::size_t i = 0; i < item->colourTable.size() && i < img.palette.size(); ++i) {
        img.palette[i] = item->colourTable[i];
    }
    img.pixels = std::move(decoded.indices);
    m_bitmap = std::make_shared<const DibImage>(std::move(img));
    return *m_bitmap;
}

TGIFImage::TGIFImage() : m_data(std::make_shared<TGIFData>()) {}

TGIFImage::TGIFImage(const TGIFImage &other) : TGIFImage()
{
    *this = other;
}

TGIFImage &TGIFImage::operator=(const TGIFImage &other)
{
    if (this == &other) {
        return *this;
    }
    m_data = other.m_data;
    m_version = other.m_version;
    m_frames.clear();
    for (const auto &f : other.m_frames) {
        m_frames.push_back(std::make_unique<TGIFFrame>(*f));
    }
    m_current = other.m_current;
    screenWidth = other.screenWidth;
    screenHeight = other.screenHeight;
    backgroundIndex = other.backgroundIndex;
    looping = other.looping;
    repeatCount = other.repeatCount;
    Transparent = other.Transparent;
    lenient = other.lenient;
    return *this;
}

void TGIFImage::Clear()
{
    m_data = std::make_shared<TGIFData>();
    m_version = 0;
    m_frames.clear();
    m_current = -1;
    screenWidth = screenHeight = 0;
    backgroundIndex = -1;
    looping = false;
    repeatCount = 0;
}

int TGIFImage::AddFrame(const DibImage &bitmap, int transparentIndex)
{
    auto frame = std::make_unique<TGIFFrame>();
    frame->setBitmap(bitmap); // an empty one is refused when the image is saved
    frame->hasLocalColourTable = true;
    frame->transparentIndex = transparentIndex;
    m_frames.push_back(std::move(frame));
    m_current = static_cast<int>(m_frames.size()) - 1;
    m_version = m_frames.size() > 1 ? 2 : std::max(m_version, 1);
    return m_current;
}

void TGIFImage::AssignFrame(const TGIFFrame &frame)
{
    Clear();
    m_frames.push_back(std::make_unique<TGIFFrame>(frame));
    m_current = 0;
    m_version = 1;
}

void TGIFImage::AssignBitmap(const DibImage &bitmap)
{
    Clear();
    AddFrame(bitmap);
}

bool TGIFImage::Equals(const TGIFImage &other) const
{
    return m_data == other.m_data;
}

void TGIFImage::setCurrentIndex(int index)
{
    m_current = index >= 0 && index < static_cast<int>(m_frames.size()) ? index : -1;
}

TGIFFrame *TGIFImage::currentFrame()
{
    return m_current >= 0 && m_current < static_cast<int>(m_frames.size())
               ? m_frames[static_cast<std::size_t>(m_current)].get()
               : nullptr;
}

bool TGIFImage::GetEmpty()
{
    TGIFFrame *f = currentFrame();
    if (!f) {
        return true;
    }
    if (f->hasBitmap()) {
        return !f->bitmap().valid();
    }
    return f->item->data.empty();
}

int TGIFImage::GetWidth()
{
    TGIFFrame *f = currentFrame();
    return f && !GetEmpty() ? f->item->width : 0;
}

int TGIFImage::GetHeight()
{
    TGIFFrame *f = currentFrame();
    return f && !GetEmpty() ? f->item->height : 0;
}

std::vector<Rgb> TGIFImage::GetPalette()
{
    TGIFFrame *f = currentFrame();
    if (!f || GetEmpty()) {
        return {};
    }
    return f->bitmap(onProgress).palette;
}

bool TGIFImage::GetTransparent() const
{
    if (!Transparent) {
        return false;
    }
    for (const auto &f : m_frames) {
        if (f->transparentColour()) {
            return true;
        }
    }
    return false;
}

void TGIFImage::SetWidth(int)
{
    throw EInvalidGraphicOperation(kGifCannotResize);
}

void TGIFImage::SetHeight(int)
{
    throw EInvalidGraphicOperation(kGifCannotResize);
}

const char *TGIFImage::versionText() const
{
    return m_version == 2 ? "89a" : m_version == 1 ? "87a" : "";
}

void TGIFImage::ReadData(const std::vector<std::uint8_t> &data)
{
    if (data.size() < 4) {
        throw EInvalidGraphicOperation(kGifStreamRead);
    }
    const std::size_t len =
        data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::size_t>(data[3]) << 24);
    if (len > data.size() - 4) {
        throw EInvalidGraphicOperation(kGifStreamRead);
    }
    LoadFromStream(data.data() + 4, len);
}

std::vector<std::uint8_t> TGIFImage::WriteData()
{
    const std::vector<std::uint8_t> gif = SaveToStream();
    const auto len = static_cast<std::uint32_t>(gif.size());
    std::vector<std::uint8_t> out(gif.size() + 4);
    for (int i = 0; i < 4; ++i) {
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(len >> (8 * i));
    }
    std::copy(gif.begin(), gif.end(), out.begin() + 4);
    return out;
}

} // namespace qv
