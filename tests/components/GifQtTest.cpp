// The Qt side of the GIF code: the static image plugin that writes "gif" (Qt's own plugin keeps
// reading), QImage conversion, drawing, and the clipboard.
#include "support/GifTestUtil.h"

#include "imaging/GifImage.h"
#include "components/GifQt.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QPainter>
#include <QtPlugin>

#include <gtest/gtest.h>

Q_IMPORT_PLUGIN(QvGifWriterPlugin)

using namespace qv;

namespace {

QImage indexedImage()
{
    QImage img(5, 3, QImage::Format_Indexed8);
    img.setColorTable({qRgb(10, 20, 30), qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(1, 2, 3), qRgb(9, 9, 9)});
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            img.setPixel(x, y, static_cast<uint>((x + 2 * y) % 5));
        }
    }
    return img;
}

QByteArray writeWithQt(const QImage &img)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "gif");
    EXPECT_TRUE(writer.write(img)) << writer.errorString().toStdString();
    return bytes;
}

TEST(GifQtPlugin, QtWritesGifThroughOurPluginAndReadsItWithItsOwn)
{
    EXPECT_TRUE(QImageWriter::supportedImageFormats().contains("gif"));
    const QImage src = indexedImage();
    const QByteArray bytes = writeWithQt(src);
    ASSERT_TRUE(bytes.startsWith("GIF8"));
    TGIFImage ours;
    ours.lenient = false;
    ours.LoadFromStream(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                        static_cast<std::size_t>(bytes.size()));
    EXPECT_EQ(ours.frames()[0]->bitmap().format, PixelFormat::pf4bit); // five colours fit in 4 bits
    if (!QImageReader::supportedImageFormats().contains("gif")) {
        GTEST_SKIP() << "Qt's GIF reader plugin (qt6-image-formats / libqgif) is not installed";
    }
    const QImage back = QImage::fromData(bytes, "GIF");
    ASSERT_FALSE(back.isNull());
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(back.pixel(x, y), src.pixel(x, y)) << x << "," << y;
        }
    }
}

TEST(GifQtPlugin, TransparentPixelsSurviveQtsWriter)
{
    QImage src(4, 2, QImage::Format_ARGB32);
    src.fill(qRgba(0, 0, 0, 0));
    src.setPixel(0, 0, qRgb(255, 0, 0));
    src.setPixel(3, 1, qRgb(0, 0, 255));
    const QByteArray bytes = writeWithQt(src);
    TGIFImage ours;
    ours.LoadFromStream(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                        static_cast<std::size_t>(bytes.size()));
    TGIFFrame &f = *ours.frames()[0];
    ASSERT_TRUE(f.transparentColour());
    const QImage back = frameImage(f);
    EXPECT_EQ(back.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(back.pixel(3, 1), qRgb(0, 0, 255));
    EXPECT_EQ(qAlpha(back.pixel(1, 0)), 0);
    EXPECT_EQ(qAlpha(back.pixel(0, 1)), 0);
}

TEST(GifQtAdapter, ConversionKeepsIndicesAndTables)
{
    const DibWithTransparency dib = dibFromQImage(indexedImage());
    EXPECT_EQ(dib.image.format, PixelFormat::pf4bit);
    EXPECT_EQ(dib.image.palette.size(), 16u);
    EXPECT_EQ(dib.image.pixels[5], 2); // (0 + 2) mod 5 at x 0, y 1
    const QImage back = qimageFromDib(dib.image, 1);
    EXPECT_EQ(back.pixelIndex(0, 1), 2);
    EXPECT_EQ(qAlpha(back.color(1)), 0);
    QImage mono(9, 1, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(1);
    EXPECT_EQ(dibFromQImage(mono).image.format, PixelFormat::pf1bit);
    EXPECT_EQ(dibFromQImage(QImage(3, 3, QImage::Format_RGB32)).image.format, PixelFormat::pf24bit);
}

TEST(GifQtAdapter, DrawLeavesTheTransparentColourOut)
{
    TGIFImage gif;
    DibImage d = giftest::indexedPicture(2, 1, 1, 0);
    d.pixels = {0, 1};
    gif.AddFrame(d, 1);
    QImage canvas(4, 2, QImage::Format_RGB32);
    for (const bool transparent : {true, false}) {
        canvas.fill(qRgb(0, 255, 255));
        gif.Transparent = transparent;
        {
            QPainter p(&canvas);
            drawGif(p, QRect(0, 0, 4, 2), gif); // stretched twice
        }
        const Rgb c0 = d.palette[0];
        const Rgb c1 = d.palette[1];
        EXPECT_EQ(canvas.pixel(1, 1), qRgb(c0.r, c0.g, c0.b));
        EXPECT_EQ(canvas.pixel(2, 0), transparent ? qRgb(0, 255, 255) : qRgb(c1.r, c1.g, c1.b));
    }
}

TEST(GifQtAdapter, ClipboardCarriesPlainGifData)
{
    QClipboard *cb = QGuiApplication::clipboard();
    TGIFImage gif;
    gif.AddFrame(giftest::indexedPicture(3, 2, 4, 7));
    gif.AddFrame(giftest::indexedPicture(3, 2, 4, 8));
    copyGifToClipboard(gif);
    const QMimeData *mime = cb->mimeData();
    if (!mime || !mime->hasFormat("image/gif")) {
        GTEST_SKIP() << "this platform's clipboard does not keep data ("
                     << QGuiApplication::platformName().toStdString() << ")";
    }
    EXPECT_TRUE(mime->data("image/gif").startsWith("GIF89a"));
    TGIFImage back;
    ASSERT_TRUE(loadGifFromClipboard(back));
    EXPECT_EQ(back.frames().size(), 2u);
    EXPECT_EQ(back.currentIndex(), 0);
    EXPECT_EQ(back.frames()[1]->bitmap().pixels, giftest::indexedPicture(3, 2, 4, 8).pixels);

    cb->setImage(indexedImage());
    TGIFImage fromPicture;
    ASSERT_TRUE(loadGifFromClipboard(fromPicture));
    ASSERT_EQ(fromPicture.frames().size(), 1u);
    EXPECT_EQ(fromPicture.GetWidth(), 5);
    cb->clear();
    EXPECT_FALSE(loadGifFromClipboard(fromPicture));
}

} // namespace
