// Image lists: loading from the icon resources and the disabled and hot looks.
// qv-test-labels: gui
#include "components/AlphaImageList.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using qv::TAlphaImageList;
using qv::TPixelFormat;

struct PixelCase {
    std::uint8_t r, g, b, a;       // in
    std::uint8_t er, eg, eb, ea;   // expected
};

TEST(ImageLookRules, GreyOnEdgeValues)
{
    const PixelCase cases[] = {
        {255, 255, 255, 255, 215, 215, 215, 255}, // white: (255 + 176) / 2
        {0, 0, 0, 255, 88, 88, 88, 255},          // black: 176 / 2
        {255, 0, 0, 255, 126, 126, 126, 0xff},    // (77*255)>>8 = 76 -> (76+176)>>1 = 126
        {0, 255, 0, 0, 163, 163, 163, 0},         // (151*255)>>8 = 150 -> 163; alpha untouched
        {0, 0, 255, 7, 101, 101, 101, 7},         // (28*255)>>8 = 27 -> 101
        {1, 1, 1, 128, 88, 88, 88, 128},
    };
    for (const auto &c : cases) {
        std::uint8_t r = c.r, g = c.g, b = c.b, a = c.a;
        qv::greyPixel(r, g, b, a);
        EXPECT_EQ(std::tuple(r, g, b, a), std::tuple(c.er, c.eg, c.eb, c.ea))
            << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a);
    }
}

TEST(ImageLookRules, DarkenOnEdgeValues)
{
    const PixelCase cases[] = {
        {200, 100, 50, 255, 185, 85, 35, 255},  // opaque: each channel - 15
        {10, 15, 16, 255, 0, 0, 1, 255},        // not below 0
        {200, 100, 50, 254, 200, 100, 50, 224}, // translucent: colour kept, alpha - 30
        {200, 100, 50, 30, 200, 100, 50, 0},
        {200, 100, 50, 29, 200, 100, 50, 0},    // alpha below 30 becomes 0
        {0, 0, 0, 0, 0, 0, 0, 0},
        {255, 255, 255, 31, 255, 255, 255, 1},
    };
    for (const auto &c : cases) {
        std::uint8_t r = c.r, g = c.g, b = c.b, a = c.a;
        qv::darkenPixel(r, g, b, a);
        EXPECT_EQ(std::tuple(r, g, b, a), std::tuple(c.er, c.eg, c.eb, c.ea))
            << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a);
    }
}

TEST(AlphaImageList, RefusesWorkBeforeInitialize)
{
    TAlphaImageList list(16, 16);
    list.setObjectName("ToolbarImages");
    try {
        list.LoadFromResource("ICON_MainImageList_");
        FAIL() << "no exception";
    } catch (const std::exception &e) {
        EXPECT_STREQ(e.what(), "ToolbarImages: TAlphaImageList has not been Initialized.");
    }
    EXPECT_EQ(list.Count(), 0);
}

TEST(AlphaImageList, PixelFormatFollowsTheScreen)
{
    const struct {
        TPixelFormat screen, list, resource;
    } cases[] = {
        {TPixelFormat::pf32bit, TPixelFormat::pf32bit, TPixelFormat::pf32bit},
        {TPixelFormat::pf24bit, TPixelFormat::pf24bit, TPixelFormat::pf24bit},
        {TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf16bit},
        {TPixelFormat::pf8bit, TPixelFormat::pf24bit, TPixelFormat::pf8bit},
    };
    for (const auto &c : cases) {
        TAlphaImageList list(16, 16);
        list.Initialize(c.screen);
        EXPECT_EQ(list.PixelFormat(), c.list);
        EXPECT_EQ(list.ResourcePixelFormat(), c.resource);
    }
    EXPECT_EQ(qv::pixelFormatFromDepth(30), TPixelFormat::pfCustom);
    EXPECT_EQ(qv::pixelFormatFromDepth(15), TPixelFormat::pf15bit);
}

TEST(AlphaImageList, LoadsEveryResourceListAtBothSizes)
{
    const struct {
        const char *prefix;
        int count;
    } lists[] = {
        {"ICON_MainImageList_", 12},
        {"icon_mainmenuimagelist_", 12}, // names match without regard to case
        {"ICON_GroupsImageList_", 4},
        {"ICON_TasksImageList_", 1},
    };
    for (int size : {16, 32}) {
        for (const auto &l : lists) {
            TAlphaImageList list(size, size);
            list.Initialize(TPixelFormat::pf32bit);
            list.LoadFromResource(l.prefix);
            EXPECT_EQ(list.Count(), l.count) << l.prefix << " at " << size;
            ASSERT_GT(list.Count(), 0);
            EXPECT_EQ(list.image(0).size(), QSize(size, size));
        }
    }
    // No image of the list's size ends the loading at once.
    TAlphaImageList odd(24, 24);
    odd.Initialize(TPixelFormat::pf32bit);
    odd.LoadFromResource("ICON_MainImageList_");
    EXPECT_EQ(odd.Count(), 0);
}

TEST(AlphaImageList, LowDepthImagesLoseTranslucency)
{
    TAlphaImageList list(32, 32);
    list.Initialize(TPixelFormat::pf24bit);
    list.LoadFromResource("ICON_MainImageList_");
    ASSERT_GT(list.Count(), 0);
    QImage img = list.image(3);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            int a = qAlpha(img.pixel(x, y));
            ASSERT_TRUE(a == 0 || a == 255) << x << "," << y << " alpha " << a;
        }
    }
}

TEST(AlphaImageList, DisabledAndHotCopies)
{
    TAlphaImageList normal(16, 16);
    normal.Initialize(TPixelFormat::pf32bit);
    normal.LoadFromResource("ICON_MainImageList_");
    TAlphaImageList disabled(16, 16);
    disabled.Initialize(TPixelFormat::pf32bit);
    disabled.CopyImagesFrom(&normal);
    disabled.MakeAllImagesDisabled();
    TAlphaImageList hot(16, 16);
    hot.Initialize(TPixelFormat::pf32bit);
    hot.CopyImagesFrom(&normal);
    hot.DarkenAllImages();
    ASSERT_EQ(disabled.Count(), normal.Count());
    ASSERT_EQ(hot.Count(), normal.Count());
    for (int i = 0; i < normal.Count(); ++i) {
        QImage n = normal.image(i), d = disabled.image(i), h = hot.image(i);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                QRgb p = n.pixel(x, y);
                std::uint8_t r = qRed(p), g = qGreen(p), b = qBlue(p), a = qAlpha(p);
                qv::greyPixel(r, g, b, a);
                ASSERT_EQ(d.pixel(x, y), qRgba(r, g, b, a));
                r = qRed(p), g = qGreen(p), b = qBlue(p), a = qAlpha(p);
                qv::darkenPixel(r, g, b, a);
                ASSERT_EQ(h.pixel(x, y), qRgba(r, g, b, a));
            }
        }
    }
    // The source list is untouched, and copying appends.
    disabled.CopyImagesFrom(&normal);
    EXPECT_EQ(disabled.Count(), 2 * normal.Count());
}

TEST(AlphaImageList, DarkenSkippedOnLowColourScreens)
{
    TAlphaImageList list(16, 16);
    list.Initialize(TPixelFormat::pf8bit);
    list.LoadFromResource("ICON_MainImageList_");
    ASSERT_GT(list.Count(), 0);
    QImage before = list.image(0);
    list.DarkenAllImages();
    EXPECT_EQ(list.image(0), before);
    // The etched disabled look keeps only button colours and covers the shifted outline.
    list.MakeImageDisabled(0);
    EXPECT_NE(list.image(0), before);
}

TEST(AlphaImageList, EmptyListAndBadIndex)
{
    TAlphaImageList list(16, 16);
    list.Initialize(TPixelFormat::pf32bit);
    list.MakeAllImagesDisabled();
    list.DarkenAllImages();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_THROW(list.ReplaceImage(0, QImage(16, 16, QImage::Format_ARGB32)), std::out_of_range);
}

TEST(AlphaImageList, RemovedDisabledListIsForgotten)
{
    TAlphaImageList list(16, 16);
    list.Initialize(TPixelFormat::pf32bit);
    list.LoadFromResource("ICON_GroupsImageList_");
    auto disabled = std::make_unique<TAlphaImageList>(16, 16);
    disabled->Initialize(TPixelFormat::pf32bit);
    int changes = 0;
    QObject::connect(&list, &TAlphaImageList::changed, [&] { ++changes; });
    list.setDisabledImages(disabled.get());
    int afterSet = changes;
    disabled->CopyImagesFrom(&list); // a change of the disabled list is a change of this one
    EXPECT_GT(changes, afterSet);
    EXPECT_FALSE(list.icon(0).isNull());
    disabled.reset();
    EXPECT_EQ(list.DisabledImages(), nullptr);
}

} // namespace
