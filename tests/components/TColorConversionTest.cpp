// Stored colour values: own colours, system colours through the palette, and "no colour".
// qv-test-labels: gui
#include "components/TColorConversion.h"

#include <gtest/gtest.h>

namespace {

using namespace qv;

QPalette testPalette()
{
    QPalette p;
    p.setColor(QPalette::Base, QColor(1, 2, 3));
    p.setColor(QPalette::Text, QColor(4, 5, 6));
    p.setColor(QPalette::Button, QColor(7, 8, 9));
    p.setColor(QPalette::Highlight, QColor(10, 11, 12));
    p.setColor(QPalette::ToolTipBase, QColor(13, 14, 15));
    return p;
}

TEST(TColorConversion, StoredValuesTable)
{
    struct Case {
        TColor value;
        std::optional<QColor> expected;
    };
    const Case cases[] = {
        {0xFFFFFFFFu, std::nullopt},          // -1: the list's defaults
        {0x000000FFu, QColor(255, 0, 0)},     // 0x00BBGGRR: pure red
        {0x00FF0000u, QColor(0, 0, 255)},     // pure blue
        {0x00E6CCCCu, QColor(0xCC, 0xCC, 0xE6)},
        {0x00000000u, QColor(0, 0, 0)},
        {0xFF000005u, QColor(1, 2, 3)},       // window background
        {0xFF000008u, QColor(4, 5, 6)},       // window text
        {0xFF00000Fu, QColor(7, 8, 9)},       // button face
        {0xFF00000Du, QColor(10, 11, 12)},    // highlight
        {0xFF000018u, QColor(13, 14, 15)},    // tool tip background
        {0xFF000019u, std::nullopt},          // unused index
        {0xFF00001Fu, std::nullopt},          // beyond the table
        {0xFF123456u, std::nullopt},
        {0x1FFFFFFFu, std::nullopt},          // a high byte that names nothing
        {0x010000FFu, std::nullopt},
    };
    const QPalette palette = testPalette();
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.value);
        auto got = colorFromTColor(c.value, palette);
        ASSERT_EQ(got.has_value(), c.expected.has_value());
        if (got) {
            EXPECT_EQ(got->rgb(), c.expected->rgb());
        }
    }
}

TEST(TColorConversion, OwnColoursRoundTrip)
{
    const QPalette palette = testPalette();
    for (TColor v : {0x00000000u, 0x000000FFu, 0x0000FF00u, 0x00FF0000u, 0x00123456u, 0x00FFFFFFu}) {
        EXPECT_EQ(tColorFromColor(*colorFromTColor(v, palette)), v);
    }
    EXPECT_EQ(tColorFromColor(QColor(255, 0, 0, 10)), 0x000000FFu); // alpha is not stored
}

TEST(TColorConversion, EverySystemIndexWithARoleIsUsed)
{
    int withRole = 0;
    for (int i = 0; i <= 30; ++i) {
        if (systemColorRole(i)) {
            ++withRole;
            EXPECT_TRUE(colorFromTColor(kTColorSystemBase + static_cast<TColor>(i), testPalette()).has_value());
        }
    }
    EXPECT_EQ(withRole, 30);
    EXPECT_FALSE(systemColorRole(-1));
    EXPECT_FALSE(systemColorRole(31));
}

} // namespace
