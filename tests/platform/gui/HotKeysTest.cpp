// Hot keys without an X11 display, and the virtual-key table.
#include "platform/HotKeys.h"
#include "platform/gui/DesktopLayers.h"
#include "platform/fake/FakeHotKeys.h"

#include <QGuiApplication>
#include <QSignalSpy>

#include <X11/keysym.h>

#include <gtest/gtest.h>

namespace {

TEST(HotKeysLayer, UnavailableWithoutX11ReportsOnce)
{
    if (QGuiApplication::platformName() == "xcb") {
        GTEST_SKIP() << "runs on a non-X11 platform";
    }
    auto keys = qv::createDesktopHotKeys();
    EXPECT_FALSE(keys->isAvailable());
    EXPECT_FALSE(keys->unavailableReason().isEmpty());
    EXPECT_FALSE(keys->registerHotKey(1, qv::MOD_ALT, 0x41));
    EXPECT_TRUE(keys->takeUnavailableReport());
    EXPECT_FALSE(keys->takeUnavailableReport());
}

TEST(HotKeysLayer, VirtualKeyTable)
{
    const struct {
        unsigned vk;
        std::uint32_t sym;
    } cases[] = {
        {0x41, XK_a}, {0x5A, XK_z}, {0x30, XK_0}, {0x39, XK_9}, {0x70, XK_F1}, {0x87, XK_F24},
        {0x60, XK_KP_0}, {0x6D, XK_KP_Subtract}, {0x6B, XK_KP_Add}, {0x20, XK_space}, {0x2E, XK_Delete},
        {0xBD, XK_minus}, {0xDE, XK_apostrophe}, {0x00, 0}, {0xFF, 0}, {0x88, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::keySymOfVirtualKey(c.vk), c.sym) << std::hex << c.vk;
    }
}

TEST(HotKeysLayer, FakeRefusesHeldAndDuplicateCombinations)
{
    qv::FakeHotKeys keys;
    keys.heldElsewhere.insert({qv::MOD_ALT, 0x41});
    EXPECT_FALSE(keys.registerHotKey(0, qv::MOD_ALT, 0x41));
    EXPECT_TRUE(keys.registerHotKey(1, qv::MOD_ALT, 0x42));
    EXPECT_FALSE(keys.registerHotKey(2, qv::MOD_ALT, 0x42));
    QSignalSpy spy(&keys, &qv::HotKeys::hotKeyPressed);
    keys.press(qv::MOD_ALT, 0x42);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
}

} // namespace
