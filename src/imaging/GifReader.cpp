// Reading a GIF file into TGIFImage: header, screen, extensions and frames with their data kept
// compressed. The stream is never trusted: every length is checked against what is left.
#include "imaging/GifImage.h"

#include "imaging/GraphicsCore.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace qv {

class GifReader
{
public:
    GifReader(TGIFImage &image, const std::uint8_t *data, std::size_t size)
        : m_img(image), m_p(data), m_end(data + size)
    {
    }
    void run();

private:
    struct EndOfData
    {
    };

    std::size_t left() const { return static_cast<std::size_t>(m_end - m_p); }
    std::uint8_t byte()
    {
        if (m_p >= m_end) {
            throw EndOfData{};
        }
        return *m_p++;
    }
    int word()
    {
        const int lo = byte();
        return lo | (byte() << 8);
    }
    void bytes(std::uint8_t *out, std::size_t n)
    {
        if (left() < n) {
            throw EndOfData{};
        }
        std::memcpy(out, m_p, n);
        m_p += n;
    }
    std::vector<Rgb> colourTable(int bits);
    std::vector<std::string> subBlocks();
    void header();
    void extension();
    void frame();
    void finishFrame(TGIFFrame &f);
    void noteLoop(const TExtension &ext);
    void takeComments();

    TGIFImage &m_img;
    const std::uint8_t *m_p;
    const std::uint8_t *m_end;
    std::vector<TExtension> m_pending;
};

std::vector<Rgb> GifReader::colourTable(int bits)
{
    std::vector<Rgb> t(std::size_t{1} << bits);
    for (Rgb &c : t) {
        std::uint8_t rgb[3];
        bytes(rgb, 3);
        c = Rgb{rgb[0], rgb[1], rgb[2]};
    }
    return t;
}

std::vector<std::string> GifReader::subBlocks()
{
    std::vector<std::string> out;
    for (std::size_t len = byte(); len != 0; len = byte()) {
        if (left() < len) {
            throw EndOfData{};
        }
        out.emplace_back(reinterpret_cast<const char *>(m_p), len);
        m_p += len;
    }
    return out;
}

void GifReader::header()
{
    if (left() < 6) {
        throw EInvalidGraphicOperation(kGifUnknownVersion);
    }
    auto lower = [this](int i) { return static_cast<char>(std::tolower(m_p[i])); };
    if (lower(0) != 'g' || lower(1) != 'i' || lower(2) != 'f') {
        throw EInvalidGraphicOperation(kGifUnknownVersion);
    }
    const std::string v{static_cast<char>(m_p[3]), lower(4), lower(5)};
    if (v != "87a" && v != "89a") {
        throw EInvalidGraphicOperation(kGifUnknownVersion);
    }
    m_img.m_version = v == "87a" ? 1 : 2;
    m_p += 6;
    if (left() < 7) {
        throw EInvalidGraphicOperation(kGifStreamRead);
    }
    m_img.screenWidth = word();
    m_img.screenHeight = word();
    const std::uint8_t packed = byte();
    const std::uint8_t background = byte();
    byte(); // aspect
    if (packed & 0x80) {
        if (left() < 3 * (std::size_t{1} << ((packed & 7) + 1))) {
            throw EInvalidGraphicOperation(kGifStreamRead);
        }
        m_img.m_data->globalTable = colourTable((packed & 7) + 1);
        m_img.backgroundIndex = background;
    }
}

void GifReader::noteLoop(const TExtension &ext)
{
    m_img.looping = true;
    const std::string &s = ext.subBlocks.front();
    const int count = static_cast<std::uint8_t>(s[1]) | (static_cast<std::uint8_t>(s[2]) << 8);
    m_img.repeatCount = std::min(count, kGifMaxRepeat);
}

void GifReader::extension()
{
    const std::uint8_t label = byte();
    TExtension ext;
    switch (label) {
    case 0xF9:
        ext.kind = GifExtensionKind::GraphicControl;
        bytes(ext.fixed.data(), 6);
        break;
    case 0xFF:
        ext.kind = GifExtensionKind::Application;
        bytes(ext.fixed.data(), 12);
        ext.subBlocks = subBlocks();
        break;
    case 0x01:
        ext.kind = GifExtensionKind::PlainText;
        bytes(ext.fixed.data(), 13);
        ext.subBlocks = subBlocks();
        break;
    case 0xFE:
        ext.kind = GifExtensionKind::Comment;
        ext.subBlocks = subBlocks();
        break;
    default: {
        char text[64];
        std::snprintf(text, sizeof text, kGifUnknownExtension, label);
        throw EInvalidGraphicOperation(text);
    }
    }
    if (ext.kind == GifExtensionKind::Application && ext.fixed[0] == 11 &&
        (std::memcmp(&ext.fixed[1], "NETSCAPE2.0", 11) == 0 ||
         std::memcmp(&ext.fixed[1], "ANIMEXTS1.0", 11) == 0)) {
        // The loop is a property of the image; the writer makes its own block for it.
        if (!ext.subBlocks.empty() && ext.subBlocks.front().size() >= 3 && ext.subBlocks.front()[0] == 1) {
            noteLoop(ext);
            return;
        }
    }
    m_pending.push_back(std::move(ext));
}

void GifReader::finishFrame(TGIFFrame &f)
{
    TGIFItem &item = *f.item;
    if (item.width == 0) {
        item.width = m_img.screenWidth;
    }
    if (item.height == 0) {
        item.height = m_img.screenHeight;
    }
    if (!f.hasLocalColourTable && !m_img.m_data->globalTable.empty()) {
        item.colourTable = m_img.m_data->globalTable;
    }
    item.bitDepth = 8;
    for (int bits = 1; bits <= 8; ++bits) {
        if (item.colourTable.size() == (std::size_t{1} << bits)) {
            item.bitDepth = bits;
        }
    }
    for (const TExtension &ext : f.extensions) {
        if (ext.kind != GifExtensionKind::GraphicControl) {
            continue;
        }
        const std::uint8_t packed = ext.fixed[1];
        const int index = ext.fixed[4];
        f.transparentIndex =
            (packed & 1) && static_cast<std::size_t>(index) < item.colourTable.size() ? index : -1;
        f.delay = std::max<std::uint32_t>(
            f.delay, 10u * static_cast<std::uint32_t>(ext.fixed[2] | (ext.fixed[3] << 8)));
        f.disposal = static_cast<std::uint8_t>((packed & 0x1C) >> 2);
    }
}

void GifReader::frame()
{
    auto f = std::make_unique<TGIFFrame>();
    f->lenient = m_img.lenient;
    f->left = word();
    f->top = word();
    f->item->width = word();
    f->item->height = word();
    const std::uint8_t packed = byte();
    f->interlaced = (packed & 0x40) != 0;
    if (packed & 0x80) {
        f->hasLocalColourTable = true;
        f->item->colourTable = colourTable((packed & 7) + 1);
    }
    if (m_img.m_frames.empty()) {
        takeComments(); // comments before the first frame belong to the image
    }
    f->extensions = std::move(m_pending);
    m_pending.clear();
    finishFrame(*f);
    // From here on a cut stream leaves a corrupt frame with what was read.
    std::vector<std::uint8_t> &data = f->item->data;
    bool complete = false;
    if (m_p < m_end) {
        data.push_back(*m_p++);
        while (m_p < m_end) {
            const std::size_t len = *m_p;
            const std::size_t take = std::min(len, left() - 1);
            data.insert(data.end(), m_p, m_p + 1 + take);
            m_p += 1 + take;
            if (len == 0) {
                complete = true;
                break;
            }
            if (take < len) {
                break;
            }
        }
    }
    if (!complete) {
        if (!m_img.lenient) {
            throw EInvalidGraphicOperation(kGifStreamRead);
        }
        f->corrupt = true;
    }
    m_img.m_frames.push_back(std::move(f));
}

void GifReader::run()
{
    header();
    try {
        while (m_p < m_end) {
            const std::uint8_t block = byte();
            if (block == 0x3B) {
                break;
            } else if (block == 0x21) {
                extension();
            } else if (block == 0x2C) {
                frame();
            } else {
                break; // not a block: the rest is not GIF data
            }
        }
    } catch (const EndOfData &) {
        if (!m_img.lenient) {
            throw EInvalidGraphicOperation(kGifStreamRead);
        }
    }
    takeComments(); // and so do comments after the last one
}

void GifReader::takeComments()
{
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->kind != GifExtensionKind::Comment) {
            ++it;
            continue;
        }
        std::string line;
        for (const std::string &s : it->subBlocks) {
            line += s;
        }
        m_img.m_data->comments.push_back(line);
        it = m_pending.erase(it);
    }
}

void TGIFImage::LoadFromStream(const std::uint8_t *data, std::size_t size)
{
    TGIFImage fresh;
    fresh.lenient = lenient;
    fresh.Transparent = Transparent;
    fresh.onProgress = onProgress;
    GifReader(fresh, data, size).run();
    fresh.m_current = fresh.m_frames.empty() ? -1 : 0;
    *this = fresh;
    onProgress = fresh.onProgress;
}

} // namespace qv
