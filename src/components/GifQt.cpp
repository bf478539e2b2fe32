// QImage conversion, drawing and clipboard transfer of GIF images.
#include "components/GifQt.h"

#include "imaging/ColourMethods.h"
#include "components/Graphics.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>

#include <cstring>

namespace qv {
namespace {

const char *const kGifMime = "image/gif";

DibWithTransparency fromIndexed(const QImage &src)
{
    DibWithTransparency out;
    const bool mono = src.format() == QImage::Format_Mono || src.format() == QImage::Format_MonoLSB;
    const QImage img = mono ? src : src.convertToFormat(QImage::Format_Indexed8);
    DibImage &d = out.image;
    d.width = img.width();
    d.height = img.height();
    // The smallest depth that holds the table: 1, 4 or 8 bits.
    const qsizetype colours = img.colorTable().size();
    d.format = mono || colours <= 2 ? PixelFormat::pf1bit
               : colours <= 16      ? PixelFormat::pf4bit
                                    : PixelFormat::pf8bit;
    const QList<QRgb> table = img.colorTable();
    for (qsizetype i = 0; i < table.size() && i < 256; ++i) {
        d.palette.push_back(Rgb{static_cast<std::uint8_t>(qRed(table[i])),
                                static_cast<std::uint8_t>(qGreen(table[i])),
                                static_cast<std::uint8_t>(qBlue(table[i]))});
        if (out.transparentIndex < 0 && qAlpha(table[i]) == 0) {
            out.transparentIndex = static_cast<int>(i);
        }
    }
    d.palette.resize(static_cast<std::size_t>(PixelFormatColors(d.format)));
    d.pixels.resize(static_cast<std::size_t>(d.width) * static_cast<std::size_t>(d.height));
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
            d.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(d.width) +
                     static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(img.pixelIndex(x, y));
        }
    }
    return out;
}

} // namespace

DibWithTransparency dibFromQImage(const QImage &image)
{
    if (image.isNull()) {
        return {};
    }
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB ||
        image.format() == QImage::Format_Indexed8) {
        return fromIndexed(image);
    }
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    DibWithTransparency out;
    DibImage &d = out.image;
    d.width = argb.width();
    d.height = argb.height();
    d.format = PixelFormat::pf24bit;
    d.pixels.resize(static_cast<std::size_t>(d.width) * static_cast<std::size_t>(d.height) * 3);
    std::vector<bool> clear(d.pixels.size() / 3, false);
    bool anyClear = false;
    QRgb fill = 0;
    bool haveFill = false;
    for (int y = 0; y < d.height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < d.width; ++x) {
            const std::size_t at =
                static_cast<std::size_t>(y) * static_cast<std::size_t>(d.width) + static_cast<std::size_t>(x);
            clear[at] = qAlpha(row[x]) < 128;
            anyClear = anyClear || clear[at];
            if (!clear[at] && !haveFill) {
                fill = row[x];
                haveFill = true;
            }
            d.pixels[at * 3] = static_cast<std::uint8_t>(qRed(row[x]));
            d.pixels[at * 3 + 1] = static_cast<std::uint8_t>(qGreen(row[x]));
            d.pixels[at * 3 + 2] = static_cast<std::uint8_t>(qBlue(row[x]));
        }
    }
    if (!anyClear) {
        return out;
    }
    // Transparent pixels take an opaque colour for counting, so that 255 entries hold the
    // picture and the last one is left for transparency.
    for (std::size_t p = 0; p < clear.size(); ++p) {
        if (clear[p]) {
            d.pixels[p * 3] = static_cast<std::uint8_t>(qRed(fill));
            d.pixels[p * 3 + 1] = static_cast<std::uint8_t>(qGreen(fill));
            d.pixels[p * 3 + 2] = static_cast<std::uint8_t>(qBlue(fill));
        }
    }
    colour::Reduction r = colour::histogram(d, 255);
    for (std::size_t p = 0; p < clear.size(); ++p) {
        if (clear[p]) {
            r.indices[p] = 255;
        }
    }
    d.format = PixelFormat::pf8bit;
    d.palette = std::move(r.palette);
    d.palette[255] = Rgb{0, 0, 0};
    d.pixels = std::move(r.indices);
    out.transparentIndex = 255;
    return out;
}

QImage qimageFromDib(const DibImage &dib, int transparentIndex)
{
    if (!dib.valid()) {
        return {};
    }
    if (!dib.indexed()) {
        QImage img(dib.width, dib.height, QImage::Format_RGB888);
        for (int y = 0; y < dib.height; ++y) {
            std::memcpy(img.scanLine(y),
                        &dib.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(dib.width) * 3],
                        static_cast<std::size_t>(dib.width) * 3);
        }
        return img;
    }
    QImage img(dib.width, dib.height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (std::size_t i = 0; i < dib.palette.size(); ++i) {
        const Rgb c = dib.palette[i];
        table.push_back(static_cast<int>(i) == transparentIndex ? qRgba(c.r, c.g, c.b, 0)
                                                                : qRgb(c.r, c.g, c.b));
    }
    img.setColorTable(table);
    for (int y = 0; y < dib.height; ++y) {
        std::memcpy(img.scanLine(y),
                    &dib.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(dib.width)],
                    static_cast<std::size_t>(dib.width));
    }
    return img;
}

QImage frameImage(TGIFFrame &frame)
{
    const DibImage &dib = frame.bitmap();
    return qimageFromDib(dib, frame.transparentColour() ? frame.transparentIndex : -1);
}

void drawGif(QPainter &painter, const QRect &rect, TGIFImage &image)
{
    TGIFFrame *frame = image.currentFrame();
    if (!frame || image.GetEmpty()) {
        return;
    }
    const QImage picture = qimageFromDib(frame->bitmap(image.onProgress));
    const auto transparent = frame->transparentColour();
    if (transparent && image.Transparent) {
        DrawBitmapPartTransparent(painter, rect.x(), rect.y(), rect.width(), rect.height(), picture.rect(),
                                  picture, rgbColor(transparent->r, transparent->g, transparent->b));
    } else {
        DrawBitmapPartTransparent(painter, rect.x(), rect.y(), rect.width(), rect.height(), picture.rect(),
                                  picture, clNone);
    }
}

void copyGifToClipboard(TGIFImage &image)
{
    const std::vector<std::uint8_t> data = image.SaveToStream();
    auto *mime = new QMimeData;
    mime->setData(kGifMime, QByteArray(reinterpret_cast<const char *>(data.data()),
                                       static_cast<qsizetype>(data.size())));
    QGuiApplication::clipboard()->setMimeData(mime);
}

bool loadGifFromClipboard(TGIFImage &image)
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (mime && mime->hasFormat(kGifMime)) {
        const QByteArray data = mime->data(kGifMime);
        image.LoadFromStream(reinterpret_cast<const std::uint8_t *>(data.constData()),
                             static_cast<std::size_t>(data.size()));
        image.setCurrentIndex(0);
        return true;
    }
    if (mime && mime->hasImage()) {
        const DibWithTransparency dib = dibFromQImage(qvariant_cast<QImage>(mime->imageData()));
        image.Clear();
        image.AddFrame(dib.image, dib.transparentIndex);
        return true;
    }
    return false;
}

} // namespace qv
