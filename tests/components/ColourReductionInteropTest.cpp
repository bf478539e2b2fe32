// The colour reduction's bitmap files as peers read them: Qt's bitmap reader and Pillow.
// qv-test-labels: unit interop
#include "support/GifTestUtil.h"

#include "imaging/BmpFile.h"
#include "imaging/ColourReduction.h"
#include "support/TestEnv.h"

#include <QImage>

#include <gtest/gtest.h>

#include <random>

using namespace qv;

namespace {

// Qt's and Pillow's bitmap readers give our pixels back, for every target depth.
TEST(ColourReductionInterop, QtAndPillowReadOurBitmapFiles)
{
    QV_REQUIRE_PILLOW();
    const std::string dir = qvtest::makeTempDir("bmp");
    std::mt19937 rng(11);
    std::vector<Rgb> px;
    for (int i = 0; i < 7 * 5; ++i) {
        px.push_back(Rgb{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                         static_cast<std::uint8_t>(rng())});
    }
    const DibImage pic = giftest::rgbPicture(7, 5, px);
    const PixelFormat targets[] = {PixelFormat::pf1bit, PixelFormat::pf4bit, PixelFormat::pf8bit,
                                   PixelFormat::pf24bit};
    for (const PixelFormat target : targets) {
        for (const TMappingMethod m : {mapHistogram, mapMedianCut, mapGrayscale}) {
            SCOPED_TRACE(std::to_string(bitsOf(target)) + " bits, method " + std::to_string(m));
            const std::vector<std::uint8_t> file = BitmapToMemoryStream(pic, target, m);
            const DibImage ours = ConvertBitmap(pic, target, m).image;
            const QImage qt = QImage::fromData(file.data(), static_cast<int>(file.size()), "BMP");
            ASSERT_FALSE(qt.isNull());
            std::string expected;
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < 7; ++x) {
                    const Rgb c = ours.colourAt(x, y);
                    EXPECT_EQ(qt.pixel(x, y) & 0xFFFFFF, qRgb(c.r, c.g, c.b) & 0xFFFFFF) << x << "," << y;
                    expected +=
                        std::to_string(c.r) + " " + std::to_string(c.g) + " " + std::to_string(c.b) + "\n";
                }
            }
            const std::string path = dir + "/t.bmp";
            qvtest::writeFile(path, giftest::bytesToString(file));
            const std::string pillow = giftest::runPython(
                "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1]).convert('RGB')\n"
                "print(''.join('%d %d %d\\n' % im.getpixel((x, y)) for y in range(im.height) for x in "
                "range(im.width)), end='')",
                {path});
            EXPECT_EQ(pillow, expected);
        }
    }
}

} // namespace
