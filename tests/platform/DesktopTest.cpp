// The desktop layer refuses what cannot be opened before asking any application.
#include "platform/Desktop.h"
#include "platform/fake/FakeDesktop.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace qv;

TEST(DesktopOpen, RefusesMissingFilesAndEmptyTargets)
{
    std::string dir = qvtest::makeTempDir("desktop");
    const std::string targets[] = {"", dir + "/missing.txt", "relative/missing.txt", "x:"};
    for (const auto &t : targets) {
        EXPECT_FALSE(Desktop::instance().open(t)) << t;
    }
}

TEST(DesktopOpen, FakeReplacesAndRestoresTheBackend)
{
    Desktop *real = &Desktop::instance();
    {
        FakeDesktop fake;
        EXPECT_EQ(&Desktop::instance(), &fake);
        EXPECT_TRUE(Desktop::instance().open("/anything"));
        EXPECT_EQ(fake.opened, std::vector<std::string>{"/anything"});
    }
    EXPECT_EQ(&Desktop::instance(), real);
}
