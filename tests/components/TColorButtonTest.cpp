// The colour grid's stored form and bounds, the colour button's index, cycling and custom colours,
// and its palette offscreen: keys, placement, hints, a click on a cell, Escape.
// qv-test-labels: gui
#include "components/TColorArrayClass.h"
#include "components/TColorButton.h"
#include "components/TColorButtonPalette.h"
#include "core/settings/SafeRegistry.h"
#include "support/DialogTestSupport.h"

#include <QApplication>
#include <QColorDialog>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace qv;

namespace {

TEST(TColorArrayClass, AsymmetricGridStoresColumnByColumnAndReadsBack)
{
    TColorArrayClass grid(3, 2);
    for (int x = 1; x <= 3; ++x) {
        for (int y = 1; y <= 2; ++y) {
            grid.SetColor(x, y, static_cast<TColor>(x * 10 + y));
        }
    }
    // Index I runs row by row through the block.
    EXPECT_EQ(grid.GetColorByIndex(2), 21u);
    EXPECT_EQ(grid.GetColorByIndex(4), 12u);
    const std::string text = grid.WriteProperties();
    EXPECT_EQ(text, "XSize = 3\nYSize = 2\nColors = (\n  11\n  12\n  21\n  22\n  31\n  32)\n");
    TColorArrayClass back(1, 1);
    back.ReadProperties(text);
    EXPECT_EQ(back.XSize(), 3);
    EXPECT_EQ(back.YSize(), 2);
    EXPECT_TRUE(back.IsEqual(&grid));
    // A system colour (high byte 0xFF) survives the signed stored form.
    grid.SetColor(3, 1, 0xFF000005u);
    back.ReadProperties(grid.WriteProperties());
    EXPECT_EQ(back.GetColor(3, 1), 0xFF000005u);
    // A shorter list stops where it ends; the rest of the cells are cleared.
    back.ReadProperties("XSize = 2\nYSize = 3\nColors = (\n  7\n  8)\n");
    EXPECT_EQ(back.GetColor(1, 1), 7u);
    EXPECT_EQ(back.GetColor(1, 2), 8u);
    EXPECT_EQ(back.GetColor(2, 1), 0u);
    EXPECT_THROW(back.ReadProperties("XSize = 1\nYSize = 1\nColors = (\n 1\n 2)\n"), std::invalid_argument);
    EXPECT_THROW(back.ReadProperties("YSize = 1"), std::invalid_argument);
    EXPECT_EQ(back.XSize(), 2); // a refused text leaves the grid
}

TEST(TColorArrayClass, IsEqualAndAssign)
{
    TColorArrayClass a(2, 2);
    TColorArrayClass b(2, 2);
    EXPECT_TRUE(a.IsEqual(&a));
    EXPECT_FALSE(a.IsEqual(nullptr));
    EXPECT_TRUE(a.IsEqual(&b));
    b.SetColor(2, 2, 5);
    EXPECT_FALSE(a.IsEqual(&b));
    TColorArrayClass c(4, 1);
    EXPECT_FALSE(a.IsEqual(&c)); // same count, other shape
    a.Assign(b);
    EXPECT_TRUE(a.IsEqual(&b));
    a.SetXSize(3);
    EXPECT_EQ(a.Count(), 6);
    EXPECT_EQ(a.GetColor(2, 2), 0u);
}

TEST(TColorArrayClass, EveryAccessOutsideTheGridRaises)
{
    TColorArrayClass grid(3, 2);
    const std::function<void()> bad[] = {
        [&] { grid.GetColor(0, 1); },        [&] { grid.GetColor(4, 1); },       [&] { grid.GetColor(1, 0); },
        [&] { grid.GetColor(1, 3); },        [&] { grid.SetColor(4, 2, 1); },    [&] { grid.SetColor(3, 3, 1); },
        [&] { grid.GetColorByIndex(0); },    [&] { grid.GetColorByIndex(7); },   [&] { grid.GetColor(-1, -1); },
    };
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        SCOPED_TRACE(i);
        try {
            bad[i]();
            ADD_FAILURE() << "no error";
        } catch (const EColorArrayIndexError &e) {
            EXPECT_STREQ(e.what(), "Array index out of bounds");
        }
    }
    EXPECT_NO_THROW(grid.GetColor(3, 2));
    EXPECT_NO_THROW(grid.GetColorByIndex(6));
}

TEST(TColorButton, ColourPresentTwiceSelectsTheFirstIndex)
{
    TColorButton button;
    TColorArrayClass colors(4, 5);
    for (int i = 1; i <= 20; ++i) {
        colors.SetColor((i - 1) % 4 + 1, (i - 1) / 4 + 1, static_cast<TColor>(100 + i));
    }
    colors.SetColor(3, 1, 0x123456); // index 3
    colors.SetColor(2, 3, 0x123456); // index 10
    button.SetPaletteColors(colors);
    int changes = 0;
    button.OnColorChange = [&](TColorButton *) { ++changes; };
    button.SetColor(0x123456);
    EXPECT_EQ(button.SelectedIndex(), 3);
    button.SetColor(0x123456); // no change, no event
    EXPECT_EQ(changes, 1);
    button.SetColor(0xABCDEF);
    EXPECT_EQ(button.SelectedIndex(), 0);
    button.SetColor(111);
    EXPECT_EQ(button.SelectedIndex(), 11);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(TColorButton::Version(), QStringLiteral("TColorButton v2.59"));
}

TEST(TColorButton, CyclingRunsThroughEveryIndexThenTheOtherColour)
{
    TColorButton button;
    button.CycleColors = true;
    button.OtherColor = 0xFF00000F;
    button.SetColor(0x00ABCDEF);
    std::vector<int> seen;
    button.OnColorChange = [&](TColorButton *b) { seen.push_back(b->SelectedIndex()); };
    for (int i = 1; i <= 21; ++i) {
        button.ClickAt(QPoint(5, 5));
        const TColor expected = i <= 20 ? button.PaletteColors().GetColorByIndex(i) : button.OtherColor;
        EXPECT_EQ(button.Color(), expected) << i;
    }
    ASSERT_EQ(seen.size(), 21u);
    EXPECT_EQ(seen.front(), 1);
    EXPECT_EQ(seen[19], 20);
    EXPECT_EQ(seen.back(), 0);
    EXPECT_FALSE(button.DroppedDown());
}

TEST(TColorButtonPalette, ArrowKeysMoveThroughTheGridAndTheOtherCell)
{
    struct Case {
        QPoint from;
        int key;
        int column;
        QPoint to;
    };
    const Case cases[] = {
        {{1, 1}, Qt::Key_Up, 1, {0, 0}},    {{3, 1}, Qt::Key_Up, 3, {0, 0}},    {{0, 0}, Qt::Key_Down, 3, {3, 1}},
        {{0, 0}, Qt::Key_Up, 2, {2, 5}},    {{2, 5}, Qt::Key_Down, 2, {0, 0}},  {{2, 3}, Qt::Key_Down, 2, {2, 4}},
        {{2, 3}, Qt::Key_Up, 2, {2, 2}},    {{1, 3}, Qt::Key_Left, 1, {4, 3}},  {{4, 3}, Qt::Key_Right, 4, {1, 3}},
        {{2, 4}, Qt::Key_Right, 2, {3, 4}}, {{0, 0}, Qt::Key_Left, 1, {0, 0}}, {{0, 0}, Qt::Key_Right, 1, {0, 0}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TColorButtonPalette::moveSelection(c.from, c.key, c.column), c.to)
            << c.from.x() << "," << c.from.y() << " key " << c.key;
    }
}

TEST(TColorButtonPalette, CellsUnderTheCursor)
{
    struct Case {
        QPoint client;
        QPoint cell;
    };
    const Case cases[] = {
        {{0, 0}, {1, 1}},   {{17, 17}, {1, 1}},  {{18, 0}, {2, 1}},  {{71, 89}, {4, 5}},  {{72, 10}, {-1, -1}},
        {{10, 90}, {-1, -1}}, {{53, 96}, {0, 0}}, {{71, 113}, {0, 0}}, {{53, 114}, {-1, -1}}, {{-3, 5}, {-1, -1}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TColorButtonPalette::cellAt(c.client), c.cell) << c.client.x() << "," << c.client.y();
    }
    EXPECT_EQ(TColorButtonPalette::cellRect({0, 0}), QRect(53, 99, 18, 18));
    EXPECT_EQ(TColorButtonPalette::cellRect({2, 3}), QRect(18, 36, 18, 18));
}

TEST(TColorButtonPalette, PlacementStaysInsideTheWorkArea)
{
    const QRect work(0, 30, 800, 570); // a panel above: the work area starts at y 30
    const QSize size(78, 127);
    struct Case {
        QRect button;
        QPoint expected;
    };
    const Case cases[] = {
        {{100, 100, 45, 22}, {100, 122}},           // below the button
        {{100, 560, 45, 22}, {100, 560 - 127}},     // bottom edge: above the button
        {{760, 100, 45, 22}, {800 - 78, 122}},      // right edge
        {{-20, 100, 45, 22}, {0, 122}},             // left of the work area
        {{760, 570, 45, 22}, {800 - 78, 570 - 127}},// bottom right corner
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TColorButtonPalette::placement(c.button, size, work), c.expected)
            << c.button.x() << "," << c.button.y();
    }
}

TEST(TColorButton, CustomColourTextAndReader)
{
    TColorArrayClass colors(8, 2);
    for (int x = 1; x <= 8; ++x) {
        for (int y = 1; y <= 2; ++y) {
            colors.SetColor(x, y, static_cast<TColor>(0x010000 * x + y));
        }
    }
    colors.SetColor(8, 2, 0xFF000005u);
    const std::string text = TColorButton::customColorsText(colors);
    EXPECT_EQ(text.substr(0, 30), "$00010001,$00010002,$00020001,");
    EXPECT_EQ(text.size(), 16u * 9 + 15);
    EXPECT_EQ(text.substr(text.size() - 9), "$FF000005");
    TColorArrayClass back(8, 2);
    TColorButton::readCustomColorsText(text, back);
    EXPECT_TRUE(back.IsEqual(&colors));

    // No "," (or nothing stored) leaves the colours as they are.
    TColorArrayClass kept(colors.XSize(), colors.YSize());
    kept.Assign(colors);
    TColorButton::readCustomColorsText("$00FFFFFF", kept);
    TColorButton::readCustomColorsText("", kept);
    EXPECT_TRUE(kept.IsEqual(&colors));

    // An unreadable entry gives white; the others are read at the first entry's width.
    std::string broken = text;
    broken.replace(10, 9, "$ZZZZZZZZ");
    TColorButton::readCustomColorsText(broken, kept);
    EXPECT_EQ(kept.GetColor(1, 2), 0x00FFFFFFu);
    EXPECT_EQ(kept.GetColor(1, 1), 0x00010001u);
    EXPECT_EQ(kept.GetColor(2, 1), 0x00020001u);
    // A short text: the missing entries are white.
    TColorButton::readCustomColorsText("$00000001,$00000002", kept);
    EXPECT_EQ(kept.GetColor(1, 1), 1u);
    EXPECT_EQ(kept.GetColor(1, 2), 2u);
    EXPECT_EQ(kept.GetColor(2, 1), 0x00FFFFFFu);
}

TEST(TColorButton, CustomColoursKeptUnderTheStorageName)
{
    const QString key = QStringLiteral("\\Software\\Tavimundrelo\\Quorvellant\\ColorButtonTest");
    QWidget form;
    form.setObjectName(QStringLiteral("OptionsForm"));
    TColorArrayClass colors(8, 2);
    colors.SetColor(3, 2, 0x00112233);
    {
        auto *button = new TColorButton(&form);
        button->setObjectName(QStringLiteral("btnLogBg"));
        button->CustomColorsKey = key;
        EXPECT_EQ(button->GetStorageName(), "btnLogBg.OptionsForm");
        button->SetCustomColors(colors);
        delete button; // saves
    }
    TSafeRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(key.toStdString() + "\\Colors"));
    EXPECT_EQ(reg.ReadString("btnLogBg.OptionsForm", ""), TColorButton::customColorsText(colors));
    auto *again = new TColorButton(&form);
    again->setObjectName(QStringLiteral("btnLogBg"));
    again->CustomColorsKey = key;
    form.show();
    EXPECT_TRUE(again->CustomColors().IsEqual(&colors));
    again->CustomColorsKey.clear();
}

class ColorButtonOffscreen : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form.setObjectName(QStringLiteral("TestForm"));
        form.resize(200, 100);
        button = new TColorButton(&form);
        button->setObjectName(QStringLiteral("btnColor"));
        button->move(10, 10);
        button->OnColorChange = [this](TColorButton *) { ++changes; };
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    TColorButtonPalette *open()
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10));
        TColorButtonPalette *p = button->Palette();
        EXPECT_NE(p, nullptr);
        if (p != nullptr) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(p));
        }
        return p;
    }
    QPoint cellCentre(TColorButtonPalette *p, QPoint cell)
    {
        return TColorButtonPalette::cellRect(cell).center() + p->contentsRect().topLeft();
    }

    QWidget form;
    TColorButton *button = nullptr;
    int changes = 0;
};

TEST_F(ColorButtonOffscreen, ClickOnACellSetsTheColourOnce)
{
    TColorButtonPalette *p = open();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->objectName(), QStringLiteral("ColorButtonPalette"));
    EXPECT_EQ(p->OtherButton()->objectName(), QStringLiteral("btnOther"));
    EXPECT_EQ(p->OtherButton()->text(), QStringLiteral("&Other"));
    EXPECT_EQ(p->SelectedCell(), QPoint(2, 1)); // black, the button's first colour
    QPointer<TColorButtonPalette> guard(p);
    QTest::mouseMove(p, cellCentre(p, {1, 2}));
    EXPECT_EQ(p->SelectedCell(), QPoint(1, 2)); // hover selects
    EXPECT_EQ(p->GetColorHintText(p->cellColor({1, 2}), 1, 2), "RGB = 255 000 000");
    QTest::mouseClick(p, Qt::LeftButton, {}, cellCentre(p, {1, 2}));
    EXPECT_EQ(button->Color(), 0x000000FFu);
    EXPECT_EQ(button->SelectedIndex(), 5);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(button->DroppedDown());
    QTest::qWait(0);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull()); // the palette frees itself on close
}

TEST_F(ColorButtonOffscreen, EscapeChangesNothingAndEnterTakesTheSelectedCell)
{
    button->SetColor(0x00FF0000); // blue (4th row)
    changes = 0;
    TColorButtonPalette *p = open();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->SelectedCell(), QPoint(1, 4));
    QTest::keyClick(p, Qt::Key_Down);
    QTest::keyClick(p, Qt::Key_Escape);
    EXPECT_FALSE(button->DroppedDown());
    EXPECT_EQ(button->Color(), 0x00FF0000u);
    EXPECT_EQ(changes, 0);

    p = open();
    ASSERT_NE(p, nullptr);
    QTest::keyClick(p, Qt::Key_Up); // row 3, green
    QTest::keyClick(p, Qt::Key_Return);
    EXPECT_EQ(button->Color(), 0x0000FF00u);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(button->DroppedDown());
}

TEST_F(ColorButtonOffscreen, AColourOutsideThePaletteBecomesTheOtherCell)
{
    button->OtherColor = 0x00111111;
    button->SetColor(0x00ABCDEF);
    EXPECT_EQ(button->SelectedIndex(), 0);
    TColorButtonPalette *p = open();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->OtherColor, 0x00ABCDEFu);
    EXPECT_EQ(p->SelectedCell(), QPoint(-1, -1));
    button->SetColor(0x00222222); // the other cell's colour comes back as the choice
    changes = 0;
    QTest::mouseClick(p, Qt::LeftButton, {}, cellCentre(p, {0, 0}));
    EXPECT_EQ(button->Color(), 0x00ABCDEFu);
    EXPECT_EQ(button->OtherColor, 0x00ABCDEFu);
    EXPECT_EQ(changes, 1);
    // A system colour is kept as the value it is, not as its RGB.
    button->SetColor(0xFF000005u);
    EXPECT_EQ(button->Color(), 0xFF000005u);
    EXPECT_EQ(button->SelectedIndex(), 0);
}

TEST_F(ColorButtonOffscreen, OtherOpensTheColourDialogWithTheCustomColours)
{
    TColorArrayClass custom(8, 2);
    for (int x = 1; x <= 8; ++x) {
        for (int y = 1; y <= 2; ++y) {
            custom.SetColor(x, y, static_cast<TColor>(0x000010 * x + 0x100000 * y));
        }
    }
    button->SetCustomColors(custom);
    button->OtherColor = 0x00336699;
    TColorButtonPalette *p = open();
    ASSERT_NE(p, nullptr);
    QColor preset;
    QColor customSeen;
    qvtest::NextModal act([&](QDialog *d) {
        auto *dialog = qobject_cast<QColorDialog *>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->testOption(QColorDialog::DontUseNativeDialog));
        preset = dialog->currentColor();
        customSeen = QColorDialog::customColor(2); // cell (3, 1)
        QColorDialog::setCustomColor(9, QColor(1, 2, 3)); // cell (2, 2)
        dialog->setCurrentColor(QColor(10, 20, 30));
        dialog->accept();
    });
    QTest::mouseClick(p->OtherButton(), Qt::LeftButton);
    EXPECT_TRUE(act.ran);
    EXPECT_EQ(preset, QColor(0x99, 0x66, 0x33));
    EXPECT_EQ(customSeen, QColor(0x30, 0x00, 0x10));
    EXPECT_EQ(button->Color(), 0x001E140Au);
    EXPECT_EQ(button->OtherColor, 0x001E140Au);
    EXPECT_FALSE(button->DroppedDown());
    EXPECT_EQ(button->CustomColors().GetColor(2, 2), 0x00030201u);
    EXPECT_EQ(button->CustomColors().GetColor(8, 1), custom.GetColor(8, 1));
}

} // namespace
