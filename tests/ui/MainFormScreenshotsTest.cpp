// Screenshots of the main window with its tips panel and of every menu and pop-up menu, offscreen,
// into the build folder's screenshots/ (looked at by hand; the test checks that each was drawn).
// qv-test-labels: gui
// qv-test-timeout: 180
#include "MainFormCommandFixture.h"

#include "support/TestEnv.h"
#include "ui/TipsPanel.h"

#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

namespace {

using qvtest::MainFormCommandFixture;

// Shows `menu` as a pop-up, grabs it and hides it again.
QImage grabMenu(QMenu *menu)
{
    menu->popup(QPoint(10, 10));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(menu, 2000));
    QImage shot = menu->grab().toImage();
    menu->hide();
    return shot;
}

// Pixels that differ from the picture's most common colour.
int inkPixels(const QImage &image)
{
    const QRgb background = image.pixel(1, 1);
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ink += image.pixel(x, y) != background ? 1 : 0;
        }
    }
    return ink;
}

TEST_F(MainFormCommandFixture, ScreenshotsOfTheWindowAndItsMenus)
{
    const QString dir = QString::fromStdString(qvtest::binPath("../screenshots"));
    QDir().mkpath(dir);
    ASSERT_TRUE(form->selectGroup("All Tasks"));
    ASSERT_TRUE(selectByName("Reports"));
    qv::LastTip = 1;
    form->tipsPanel()->UpdateTips();
    form->resize(900, 620);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 5000));
    form->CheckState();
    const QImage window = form->grab().toImage();
    EXPECT_TRUE(window.save(dir + "/mainform-tips.png"));
    EXPECT_EQ(window.size(), QSize(900, 620));

    std::vector<std::pair<QString, QMenu *>> menus;
    for (QAction *top : form->menuBar()->actions()) {
        QMenu *menu = top->menu();
        ASSERT_NE(menu, nullptr);
        menus.push_back({menu->objectName(), menu});
        for (QAction *sub : menu->actions()) {
            if (sub->menu() != nullptr) {
                menus.push_back({sub->menu()->objectName(), sub->menu()});
            }
        }
    }
    for (const char *name :
         {"TasksPopupMenu", "GroupsPopupMenu", "TipsPopupMenu", "TopBarsPopupMenu", "TrayPopupMenu"}) {
        auto *menu = form->findChild<QMenu *>(name);
        ASSERT_NE(menu, nullptr) << name;
        menus.push_back({QString::fromLatin1(name), menu});
    }
    ASSERT_EQ(menus.size(), 12u);
    for (const auto &[name, menu] : menus) {
        SCOPED_TRACE(name.toStdString());
        const QImage shot = grabMenu(menu);
        int items = 0;
        for (QAction *a : menu->actions()) {
            items += a->isSeparator() ? 0 : 1;
        }
        EXPECT_GE(shot.height(), items * 16);
        EXPECT_GT(inkPixels(shot), items * 20) << "menu drawn empty";
        EXPECT_TRUE(shot.save(dir + "/menu-" + name + ".png"));
    }
}

} // namespace
