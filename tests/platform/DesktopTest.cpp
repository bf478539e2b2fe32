// The desktop layer refuses what cannot be opened before asking any application.
#include "platform/Desktop.h"
#include "platform/fake/FakeDesktop.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace qv;

TEST(DesktopOpen, RefusesMissingFilesAndEmptyTargets)
{
    std::string dir = qvtest::makeTempDir("desktop");
    const std::string targets[] = {"", dir + "/missing.txt", "relative/missing.txt", "x:"};
    for (const auto &t : targets) {
        EXPECT_FALSE(Desktop::instance().open(t)) << t;
    }
}

// The real backend hands files as file: addresses, and other addresses as they are, to xdg-open
// (here a stand-in on PATH that writes down what it was given).
TEST(DesktopOpen, HandsTheTargetToXdgOpen)
{
    const std::string dir = qvtest::makeTempDir("xdg-open");
    const std::string log = dir + "/opened";
    qvtest::writeFile(dir + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log + "'\n");
    ASSERT_EQ(::chmod((dir + "/xdg-open").c_str(), 0755), 0);
    qvtest::writeFile(dir + "/a b.txt", "x");
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (dir + ":/usr/bin:/bin").c_str(), 1);
    const bool file = Desktop::instance().open(dir + "/a b.txt");
    const bool web = Desktop::instance().open("https://example.org/a?b=c");
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_TRUE(file);
    ASSERT_TRUE(web);
    const std::string expected = "file://" + dir + "/a%20b.txt\nhttps://example.org/a?b=c\n";
    std::string got;
    for (int i = 0; i < 500 && got.size() < expected.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        got = qvtest::readFile(log);
    }
    // The two starts are detached: either may write first.
    EXPECT_TRUE(got == expected || got == "https://example.org/a?b=c\nfile://" + dir + "/a%20b.txt\n") << got;
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
