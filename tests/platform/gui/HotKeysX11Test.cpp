// Global hot keys on a real X server (Xvfb), pressed through xdotool.
// qv-test-labels: x11
// qv-test-run: xvfb
#include "platform/HotKeys.h"
#include "platform/gui/DesktopLayers.h"

#include "support/TestEnv.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Another X client, to hold a combination the way another program would.
struct OtherClient {
    OtherClient() { conn = xcb_connect(nullptr, nullptr); }
    ~OtherClient() { xcb_disconnect(conn); }
    bool grab(std::uint32_t sym, std::uint16_t mods)
    {
        xcb_key_symbols_t *syms = xcb_key_symbols_alloc(conn);
        xcb_keycode_t *codes = xcb_key_symbols_get_keycode(syms, sym);
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
        auto cookie = xcb_grab_key_checked(conn, 1, root, mods, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t *err = xcb_request_check(conn, cookie);
        std::free(codes);
        xcb_key_symbols_free(syms);
        bool ok = err == nullptr;
        std::free(err);
        return ok;
    }
    xcb_connection_t *conn;
};

TEST(HotKeysX11, PressedCombinationReachesItsId)
{
    QV_REQUIRE_TOOL("xdotool");
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    auto keys = qv::createDesktopHotKeys();
    ASSERT_TRUE(keys->isAvailable());
    EXPECT_FALSE(keys->takeUnavailableReport());
    ASSERT_TRUE(keys->registerHotKey(5, qv::MOD_CONTROL | qv::MOD_ALT, 0x4B)); // Ctrl+Alt+K
    ASSERT_TRUE(keys->registerHotKey(9999, qv::MOD_SHIFT | qv::MOD_CONTROL, 0x77)); // Ctrl+Shift+F8
    QSignalSpy spy(keys.get(), &qv::HotKeys::hotKeyPressed);

    auto r = qvtest::runCommand({"xdotool", "key", "ctrl+alt+k"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 1; }, 3000));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 5);

    r = qvtest::runCommand({"xdotool", "key", "ctrl+shift+F8"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 1; }, 3000));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 9999);

    // After unregistering, the key no longer arrives. A key still registered, pressed after it,
    // must arrive: the server delivers in order, so the first would have come before it.
    keys->unregisterHotKey(5);
    r = qvtest::runCommand({"xdotool", "key", "ctrl+alt+k"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = qvtest::runCommand({"xdotool", "key", "ctrl+shift+F8"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 1; }, 3000));
    QTest::qWait(100);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 9999);
}

TEST(HotKeysX11, CombinationHeldElsewhereIsRefusedAndOthersStay)
{
    auto keys = qv::createDesktopHotKeys();
    ASSERT_TRUE(keys->isAvailable());
    ASSERT_TRUE(keys->registerHotKey(1, qv::MOD_ALT, 0x51)); // Alt+Q
    OtherClient other;
    ASSERT_TRUE(other.grab(XK_j, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT));
    EXPECT_FALSE(keys->registerHotKey(2, qv::MOD_CONTROL | qv::MOD_SHIFT, 0x4A)); // Ctrl+Shift+J
    EXPECT_FALSE(keys->isRegistered(2));
    EXPECT_TRUE(keys->isRegistered(1));
    // A key without an equivalent, and a second id for a combination we hold, are refused.
    EXPECT_FALSE(keys->registerHotKey(3, qv::MOD_ALT, 0xFF));
    EXPECT_FALSE(keys->registerHotKey(4, qv::MOD_ALT, 0x51));
    // A trial grab that succeeds can be released at once and taken again.
    ASSERT_TRUE(keys->registerHotKey(9999, qv::MOD_WIN, 0x70));
    keys->unregisterHotKey(9999);
    EXPECT_TRUE(keys->registerHotKey(7, qv::MOD_WIN, 0x70));
}

} // namespace
