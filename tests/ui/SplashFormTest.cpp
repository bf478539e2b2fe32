// The splash window shows the program's own picture.
// qv-test-labels: gui
#include "ui/SplashForm.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

TEST(SplashForm, ShowsThePictureAtItsSize)
{
    qv::TSplashForm splash;
    ASSERT_FALSE(splash.image()->pixmap().isNull());
    EXPECT_EQ(splash.image()->pixmap().size(), QSize(320, 350));
    EXPECT_EQ(splash.size(), QSize(320, 350));
}

// The splash stays on top: it closes as soon as the program's window shows, whether that window
// shows after the call or already did.
TEST(SplashForm, ClosesWhenTheWindowShows)
{
    for (bool shownBefore : {false, true}) {
        SCOPED_TRACE(shownBefore);
        qv::TSplashForm splash;
        splash.show();
        QWidget window;
        if (shownBefore) {
            window.show();
        }
        splash.closeWhenShown(&window);
        EXPECT_EQ(splash.isVisible(), !shownBefore);
        window.show();
        EXPECT_FALSE(splash.isVisible());
    }
}

} // namespace
