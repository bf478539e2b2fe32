// Graphics routines: transparent drawing on QImages, the cursors, image blocks, the system error
// raise and the not-implemented stop as the user interface shows it.
#include "components/Graphics.h"
#include "imaging/GraphicsCore.h"
#include "components/MessageBox.h"
#include "components/RaiseWin32Error.h"
#include "platform/LastOSError.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>

using namespace qv;

namespace {

const QRgb kCyan = qRgb(0, 255, 255);
const QRgb kMagenta = qRgb(255, 0, 255);
const QRgb kRedPx = qRgb(255, 0, 0);
const QRgb kBluePx = qRgb(0, 0, 255);

// 3 x 2: red, blue, magenta / magenta, red, blue. The bottom-left pixel is magenta.
QImage sample()
{
    QImage img(3, 2, QImage::Format_RGB32);
    const QRgb px[2][3] = {{kRedPx, kBluePx, kMagenta}, {kMagenta, kRedPx, kBluePx}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            img.setPixel(x, y, px[y][x]);
        }
    }
    return img;
}

QImage canvas(int w = 10, int h = 8)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kCyan);
    return img;
}

// The canvas as rows of letters: c cyan, r red, b blue, m magenta, w white, k black.
std::vector<std::string> letters(const QImage &img)
{
    std::vector<std::string> rows;
    for (int y = 0; y < img.height(); ++y) {
        std::string row;
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y) & 0xFFFFFF;
            row += c == (kCyan & 0xFFFFFF)      ? 'c'
                   : c == (kRedPx & 0xFFFFFF)   ? 'r'
                   : c == (kBluePx & 0xFFFFFF)  ? 'b'
                   : c == (kMagenta & 0xFFFFFF) ? 'm'
                   : c == 0xFFFFFF              ? 'w'
                   : c == 0                     ? 'k'
                                                : '?';
        }
        rows.push_back(row);
    }
    return rows;
}

struct DrawCase
{
    const char *name;
    TColor transparent;
    int dstW, dstH;
    QRect src; // empty: the whole bitmap
    std::vector<std::string> expect;
};

TEST(TransparentDrawing, Table)
{
    const DrawCase cases[] = {
        {"all sizes 0, clDefault: the bottom-left colour",
         clDefault,
         0,
         0,
         {},
         {"cccc", "crbc", "ccrb", "cccc"}},
        {"clNone: opaque", clNone, 0, 0, {}, {"cccc", "crbm", "cmrb", "cccc"}},
        {"an explicit colour", rgbColor(255, 0, 0), 0, 0, {}, {"cccc", "ccbm", "cmcb", "cccc"}},
        {"stretched to twice the size",
         clDefault,
         6,
         4,
         {},
         {"ccccccc", "crrbbcc", "crrbbcc", "cccrrbb", "cccrrbb"}},
        {"a part of the bitmap", clDefault, 2, 2, QRect(1, 0, 2, 2), {"ccc", "cbc", "crb"}},
    };
    for (const DrawCase &c : cases) {
        SCOPED_TRACE(c.name);
        QImage dst = canvas(static_cast<int>(c.expect[0].size()), static_cast<int>(c.expect.size()));
        {
            QPainter p(&dst);
            if (c.src.isEmpty()) {
                DrawBitmapTransparent(p, sample(), c.transparent, 1, 1, c.dstW, c.dstH);
            } else {
                DrawBitmapPartTransparent(p, 1, 1, c.dstW, c.dstH, c.src, sample(), c.transparent);
            }
        }
        EXPECT_EQ(letters(dst), c.expect);
    }
}

TEST(TransparentDrawing, MonochromeBitmapsLeaveWhiteOut)
{
    QImage mono(3, 1, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.setPixel(0, 0, 0);
    mono.setPixel(1, 0, 1);
    mono.setPixel(2, 0, 0);
    for (const TColor asked : {clDefault, rgbColor(0, 0, 0)}) {
        QImage dst = canvas(5, 3);
        {
            QPainter p(&dst);
            DrawBitmapTransparent(p, mono, asked, 1, 1);
        }
        EXPECT_EQ(letters(dst), (std::vector<std::string>{"ccccc", "ckckc", "ccccc"}));
    }
}

TEST(TransparentDrawing, EmptyBitmapDrawsNothing)
{
    QImage dst = canvas(2, 2);
    {
        QPainter p(&dst);
        DrawBitmapTransparent(p, QImage(), clDefault, 0, 0);
    }
    EXPECT_EQ(letters(dst), (std::vector<std::string>{"cc", "cc"}));
    EXPECT_EQ(PaletteRelativeColor(0x00123456), 0x02123456);
    EXPECT_EQ(PaletteRelativeColor(clNone), 0x02FFFFFF);
}

TEST(GraphicsRoutines, Cursors)
{
    EXPECT_EQ(screenCursor(crHand).shape(), Qt::PointingHandCursor);
    EXPECT_EQ(screenCursor(crDrag).shape(), Qt::ClosedHandCursor);
    EXPECT_EQ(screenCursor(14002).shape(), Qt::ArrowCursor);
    EXPECT_EQ(crHand, 14000);
    EXPECT_EQ(crDrag, 14001);
}

TEST(GraphicsRoutines, MaxMinAndBlocks)
{
    EXPECT_EQ(Max(INT_MIN, INT_MAX), INT_MAX);
    EXPECT_EQ(Min(INT_MIN, INT_MAX), INT_MIN);
    EXPECT_EQ(Max(-3, -3), -3);
    EXPECT_EQ(AllocImageBlock(0), nullptr);
    EXPECT_EQ(AllocImageBlock(-4), nullptr);
    ImageBlock none;
    FreeImageBlock(none);
    EXPECT_EQ(none, nullptr);
    ImageBlock b = AllocImageBlock(9);
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(b[i], 0);
    }
    const std::uint8_t src[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    CopyBlock(b.get(), src, 9);
    EXPECT_TRUE(BlocksEqual(b.get(), src, 9));
    EXPECT_EQ(*OffsetPointer(b.get(), 5), 6);
    for (std::size_t at = 0; at < 9; ++at) { // a difference in the four-byte part and in the rest
        b[at] ^= 0x80;
        EXPECT_FALSE(BlocksEqual(b.get(), src, 9)) << at;
        EXPECT_TRUE(BlocksEqual(b.get(), src, at));
        b[at] ^= 0x80;
    }
    FreeImageBlock(b);
    EXPECT_EQ(b, nullptr);
}

TEST(GraphicsRoutines, RaiseWin32Error)
{
    EXPECT_NO_THROW(RaiseWin32Error(0));
    try {
        RaiseWin32Error(EACCES);
        ADD_FAILURE() << "no exception";
    } catch (const ELastOSError &e) {
        EXPECT_EQ(e.ErrorCode(), EACCES);
        EXPECT_EQ(std::string(e.what()), "System Error.  Code: 13.\nPermission denied");
    }
}

TEST(GraphicsRoutines, NotImplementedIsShownAsInformation)
{
    MessageBoxSeam::clear();
    try {
        StopNotImplemented();
        ADD_FAILURE() << "no stop";
    } catch (const std::exception &e) {
        showOperationFailure(nullptr, e);
    }
    showOperationFailure(nullptr, EInvalidGraphic("Bitmap image is not valid"));
    const auto &shown = MessageBoxSeam::shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Function not yet implemented");
    EXPECT_EQ(shown[0].flags & 0xF0, static_cast<unsigned>(MB_ICONINFORMATION));
    EXPECT_EQ(shown[1].text, "Bitmap image is not valid");
    EXPECT_EQ(shown[1].flags & 0xF0, static_cast<unsigned>(MB_ICONERROR));
    MessageBoxSeam::clear();
}

} // namespace

TEST(JpegResources, LoadsByNameInAnyCaseAndRefusesMissingOnes)
{
    QImage img;
    EXPECT_FALSE(LoadJpegResource("GFX_NO_SUCH_PICTURE", img));
    EXPECT_TRUE(img.isNull());
    for (const char *name : {"GFX_SPLASH", "gfx_maintenance"}) {
        QImage picture;
        EXPECT_TRUE(LoadJpegResource(name, picture)) << name;
        EXPECT_FALSE(picture.isNull()) << name;
    }
}
