// Global hot keys on X11: key grabs on the root window through xcb, delivered by a native
// event filter. Each combination is grabbed four times (plain, Caps Lock, Num Lock, both), so
// the key works whatever the lock keys' state; a grab that another client holds fails with
// BadAccess, and then none of the four stays grabbed.
#include "platform/gui/DesktopLayers.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <map>
#include <vector>

namespace qv {

namespace {

constexpr std::uint16_t kModMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// Caps Lock is Lock; Num Lock is Mod2 on every common keyboard map.
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

std::uint16_t xModifiers(unsigned mods)
{
    std::uint16_t m = 0;
    if (mods & MOD_ALT) {
        m |= XCB_MOD_MASK_1;
    }
    if (mods & MOD_CONTROL) {
        m |= XCB_MOD_MASK_CONTROL;
    }
    if (mods & MOD_SHIFT) {
        m |= XCB_MOD_MASK_SHIFT;
    }
    if (mods & MOD_WIN) {
        m |= XCB_MOD_MASK_4;
    }
    return m;
}

class UnavailableHotKeys : public HotKeys
{
public:
    UnavailableHotKeys(QObject *parent, QString reason) : HotKeys(parent), m_reason(std::move(reason)) {}
    bool isAvailable() const override { return false; }
    QString unavailableReason() const override { return m_reason; }
    bool registerHotKey(int, unsigned, unsigned) override { return false; }
    void unregisterHotKey(int) override {}
    bool isRegistered(int) const override { return false; }

private:
    QString m_reason;
};

class X11HotKeys : public HotKeys, public QAbstractNativeEventFilter
{
public:
    X11HotKeys(QObject *parent, xcb_connection_t *conn) : HotKeys(parent), m_conn(conn)
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
        m_symbols = xcb_key_symbols_alloc(conn);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~X11HotKeys() override
    {
        if (QCoreApplication::instance() != nullptr) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
        }
        std::vector<int> ids;
        for (const auto &[id, grab] : m_grabs) {
            ids.push_back(id);
        }
        for (int id : ids) {
            unregisterHotKey(id);
        }
        xcb_key_symbols_free(m_symbols);
    }

    bool isAvailable() const override { return true; }
    QString unavailableReason() const override { return {}; }
    bool isRegistered(int id) const override { return m_grabs.count(id) != 0; }

    bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey) override
    {
        unregisterHotKey(id);
        std::uint32_t sym = keySymOfVirtualKey(virtualKey);
        if (sym == 0) {
            return false;
        }
        xcb_keycode_t *codes = xcb_key_symbols_get_keycode(m_symbols, sym);
        if (codes == nullptr || codes[0] == XCB_NO_SYMBOL) {
            std::free(codes);
            return false;
        }
        Grab grab;
        grab.keycode = codes[0];
        grab.modifiers = xModifiers(modifiers);
        std::free(codes);
        for (const auto &[otherId, other] : m_grabs) {
            if (other.keycode == grab.keycode && other.modifiers == grab.modifiers) {
                return false; // already ours under another id
            }
        }
        std::vector<xcb_void_cookie_t> cookies;
        for (std::uint16_t lock : kLockVariants) {
            cookies.push_back(xcb_grab_key_checked(m_conn, 1, m_root, grab.modifiers | lock, grab.keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        bool ok = true;
        for (auto cookie : cookies) {
            if (xcb_generic_error_t *err = xcb_request_check(m_conn, cookie)) {
                ok = false; // BadAccess: another client holds the combination
                std::free(err);
            }
        }
        if (!ok) {
            ungrab(grab);
            return false;
        }
        m_grabs[id] = grab;
        return true;
    }

    void unregisterHotKey(int id) override
    {
        auto it = m_grabs.find(id);
        if (it == m_grabs.end()) {
            return;
        }
        Grab grab = it->second;
        m_grabs.erase(it);
        for (const auto &[otherId, other] : m_grabs) {
            if (other.keycode == grab.keycode && other.modifiers == grab.modifiers) {
                return;
            }
        }
        ungrab(grab);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t") {
            return false;
        }
        auto *ev = static_cast<xcb_generic_event_t *>(message);
        if ((ev->response_type & ~0x80) == XCB_MAPPING_NOTIFY) {
            xcb_refresh_keyboard_mapping(m_symbols, reinterpret_cast<xcb_mapping_notify_event_t *>(ev));
            return false;
        }
        if ((ev->response_type & ~0x80) != XCB_KEY_PRESS) {
            return false;
        }
        auto *key = reinterpret_cast<xcb_key_press_event_t *>(ev);
        if (key->event != m_root) {
            return false;
        }
        const std::uint16_t mods = key->state & kModMask;
        for (const auto &[id, grab] : m_grabs) {
            if (grab.keycode == key->detail && grab.modifiers == mods) {
                const int hit = id;
                QMetaObject::invokeMethod(this, [this, hit] { emit hotKeyPressed(hit); }, Qt::QueuedConnection);
                return true;
            }
        }
        return false;
    }

private:
    struct Grab {
        xcb_keycode_t keycode = 0;
        std::uint16_t modifiers = 0;
    };

    void ungrab(const Grab &grab)
    {
        for (std::uint16_t lock : kLockVariants) {
            xcb_ungrab_key(m_conn, grab.keycode, m_root, grab.modifiers | lock);
        }
        xcb_flush(m_conn);
    }

    xcb_connection_t *m_conn;
    xcb_window_t m_root = 0;
    xcb_key_symbols_t *m_symbols = nullptr;
    std::map<int, Grab> m_grabs;
};

} // namespace

std::unique_ptr<HotKeys> createDesktopHotKeys(QObject *parent)
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (app != nullptr && QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (auto *x11 = app->nativeInterface<QNativeInterface::QX11Application>()) {
            if (xcb_connection_t *conn = x11->connection()) {
                return std::make_unique<X11HotKeys>(parent, conn);
            }
        }
    }
    const QString platform = QGuiApplication::platformName();
    return std::make_unique<UnavailableHotKeys>(
        parent, platform.startsWith(QLatin1String("wayland"))
                    ? QStringLiteral("Global hot keys are not available on Wayland desktops.")
                    : QStringLiteral("Global hot keys are not available without an X11 display."));
}

} // namespace qv
