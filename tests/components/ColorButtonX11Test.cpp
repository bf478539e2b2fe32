// The colour button and its palette on a real X server, driven by xdotool: opening, choosing a
// cell, and a click on the button while the palette is open, which closes it without reopening.
// qv-test-labels: x11 gui
// qv-test-run: xvfb
// qv-test-timeout: 120
#include "components/TColorButton.h"
#include "components/TColorButtonPalette.h"

#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace qv;

namespace {

bool clickAt(QPoint global)
{
    const auto r = qvtest::runCommand({"xdotool", "mousemove", std::to_string(global.x()), std::to_string(global.y()),
                                       "click", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.exitCode == 0;
}

void shoot(const QRect &area, const QString &file)
{
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    EXPECT_TRUE(shot.save(dir + "/" + file)) << file.toStdString();
}

TEST(ColorButtonX11, OpenChooseAndCloseByClickingTheButton)
{
    QV_REQUIRE_TOOL("xdotool");
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    QWidget form;
    form.setObjectName(QStringLiteral("TestForm"));
    form.setWindowTitle(QStringLiteral("Colour buttons"));
    auto *layout = new QVBoxLayout(&form);
    auto *button = new TColorButton(&form);
    button->setObjectName(QStringLiteral("btnColor"));
    button->SetColor(0x000000FF);
    auto *flat = new TColorButton(&form);
    flat->setObjectName(QStringLiteral("btnFlat"));
    flat->SetFlat(true);
    flat->SetColor(0x00EFBF9F);
    auto *disabled = new TColorButton(&form);
    disabled->setObjectName(QStringLiteral("btnDisabled"));
    disabled->setEnabled(false);
    for (TColorButton *b : {button, flat, disabled}) {
        b->setFixedSize(45, 22);
        layout->addWidget(b);
    }
    layout->addStretch();
    form.setGeometry(100, 100, 220, 220);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(200);
    const QRect formArea = form.frameGeometry().adjusted(-2, -2, 100, 160);
    shoot(formArea, QStringLiteral("ColorButton.png"));

    const QPoint centre = button->mapToGlobal(QPoint(button->width() / 2, button->height() / 2));
    ASSERT_TRUE(clickAt(centre));
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->DroppedDown() && button->Palette()->isVisible(); }, 5000));
    TColorButtonPalette *palette = button->Palette();
    EXPECT_EQ(palette->geometry().topLeft(), button->mapToGlobal(QPoint(0, button->height())));
    QTest::qWait(200);
    shoot(formArea, QStringLiteral("ColorButton-palette.png"));

    // A click on the button while the palette is open closes it and does not open it again.
    ASSERT_TRUE(clickAt(centre));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !button->DroppedDown(); }, 5000));
    QTest::qWait(400); // any replayed press and the release have arrived by now
    EXPECT_FALSE(button->DroppedDown());

    // The next click opens it again; a click on a cell chooses its colour.
    ASSERT_TRUE(clickAt(centre));
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->DroppedDown() && button->Palette()->isVisible(); }, 5000));
    palette = button->Palette();
    const QPoint cell =
        palette->mapToGlobal(TColorButtonPalette::cellRect({3, 2}).center() + palette->contentsRect().topLeft());
    ASSERT_TRUE(clickAt(cell));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !button->DroppedDown(); }, 5000));
    EXPECT_EQ(button->Color(), 0x0000FFFFu); // yellow
    EXPECT_EQ(button->SelectedIndex(), 7);
}

} // namespace
