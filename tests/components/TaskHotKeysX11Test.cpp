// A task's global hot key on a real X server (Xvfb), pressed through xdotool, starts the task.
// qv-test-labels: x11
// qv-test-run: xvfb
#include "core/runs/AlertDispatcher.h"
#include "core/runs/BackupData.h"
#include "core/runs/MainWindowCallbacks.h"
#include "core/runs/RunQueue.h"
#include "core/settings/Settings.h"
#include "platform/HotKeys.h"
#include "platform/gui/DesktopLayers.h"

#include "support/TestEnv.h"

#include <QGuiApplication>
#include <QTest>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class RecordingWindow : public qv::MainWindowCallbacks
{
public:
    std::vector<std::string> messages;
    int raised = 0;
    void ShowAndRaise() override { ++raised; }
    void ShowMessage(qv::CoreMessageKind, const std::string &text) override { messages.push_back(text); }
};

// Another X client holding a combination, as another program would.
bool grabElsewhere(xcb_connection_t *conn, std::uint32_t sym, std::uint16_t mods)
{
    xcb_key_symbols_t *syms = xcb_key_symbols_alloc(conn);
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(syms, sym);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    auto cookie = xcb_grab_key_checked(conn, 1, root, mods, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t *err = xcb_request_check(conn, cookie);
    std::free(codes);
    xcb_key_symbols_free(syms);
    const bool ok = err == nullptr;
    std::free(err);
    return ok;
}

TEST(TaskHotKeysX11, XdotoolPressStartsTheTaskAndARefusedKeyLeavesTheOthers)
{
    QV_REQUIRE_TOOL("xdotool");
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    qv::ResetSettingsToDefaults();
    qv::Suspend = true; // the started run waits at its gate; the test only needs it started
    RecordingWindow window;
    qv::setMainWindow(&window);

    xcb_connection_t *other = xcb_connect(nullptr, nullptr);
    ASSERT_TRUE(grabElsewhere(other, XK_j, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT));

    auto keys = qv::createDesktopHotKeys();
    ASSERT_TRUE(keys->isAvailable());
    qv::TBackupData data;
    data.SetHotKeyLayer(keys.get());
    const std::string src = qvtest::makeTempDir("src");
    const std::string dst = qvtest::makeTempDir("dst");
    auto makeTask = [&](const std::string &name, std::uint16_t hotKey) {
        auto task = std::make_unique<qv::TTask>();
        task->Name = name;
        task->Source = src;
        task->DestLocal = dst;
        task->HotKey = hotKey;
        return data.Tasks.Add(std::move(task));
    };
    qv::TTask *held = makeTask("held", 0x2000 | 0x4000 | 0x4A); // Ctrl+Shift+J, held by the other client
    qv::TTask *k = makeTask("k", 0x4000 | 0x8000 | 0x4B);       // Ctrl+Alt+K
    data.RegisterHotKeys();
    EXPECT_EQ(window.messages, std::vector<std::string>{"Hot key registering failed!"});
    EXPECT_EQ(data.HotKeys[0].TaskID, k->ID);
    EXPECT_FALSE(data.CanRegisterHotKey(0x2000 | 0x4000 | 0x4A));
    EXPECT_FALSE(data.CanRegisterHotKey(0x4000 | 0x8000 | 0x4B));
    EXPECT_TRUE(data.CanRegisterHotKey(0x4000 | 0x8000 | 0x4C));

    const auto r = qvtest::runCommand({"xdotool", "key", "ctrl+alt+k"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(QTest::qWaitFor([&] { return k->Running; }, 5000));
    EXPECT_EQ(k->StartMode, qv::kStartByHand);
    EXPECT_FALSE(held->Running);

    k->Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !k->Running && qv::RunningTaskCount() == 0; }, 10000));
    // The run's host goes in a queued call after the run ended: let it go before the test ends.
    QCoreApplication::sendPostedEvents();
    data.SetHotKeyLayer(nullptr);
    xcb_disconnect(other);
    qv::setMainWindow(nullptr);
    qv::ResetSettingsToDefaults();
}

} // namespace
