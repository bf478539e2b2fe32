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

} // namespace
