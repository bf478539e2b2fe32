// Bringing a window of ours to the front.
#include "platform/gui/ForegroundWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace qv {
namespace {

// The X server's connection; null off X11.
xcb_connection_t *x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 == nullptr ? nullptr : x11->connection();
}

// The atom of `name`; 0 when the server gives none.
xcb_atom_t atomNamed(xcb_connection_t *conn, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        conn, xcb_intern_atom(conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    if (reply == nullptr) {
        return 0;
    }
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// Asks the window manager, as the window-manager hints say (a message to the root), for `type`
// about `window` with the message's five data words.
void askWindowManager(xcb_connection_t *conn, QWidget *window, xcb_atom_t type, const std::uint32_t (&data)[5])
{
    xcb_client_message_event_t ev;
    std::memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = static_cast<xcb_window_t>(window->winId());
    ev.type = type;
    std::memcpy(ev.data.data32, data, sizeof data);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    xcb_send_event(conn, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&ev));
    xcb_flush(conn);
}

void requestActiveOnX11(QWidget *window)
{
    xcb_connection_t *conn = x11Connection();
    const xcb_atom_t active = conn == nullptr ? 0 : atomNamed(conn, "_NET_ACTIVE_WINDOW");
    if (active != 0) {
        // source: pager (a request on the user's behalf)
        askWindowManager(conn, window, active, {2, XCB_CURRENT_TIME, 0, 0, 0});
    }
}

// A window that is being mapped is not managed yet, and the window manager drops a request
// about it: the request is sent again once the window is on the screen.
class ActivateWhenExposed : public QObject
{
public:
    ActivateWhenExposed(QWidget *widget) : QObject(widget->windowHandle()), m_widget(widget)
    {
        setObjectName(QString::fromLatin1(kName));
        widget->windowHandle()->installEventFilter(this);
    }
    static constexpr const char *kName = "qvActivateWhenExposed";

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            if (m_widget) {
                m_widget->raise();
                m_widget->activateWindow();
                requestActiveOnX11(m_widget);
            }
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_widget;
};

} // namespace

void RequestMaximized(QWidget *window)
{
    if (window == nullptr) {
        return;
    }
    xcb_connection_t *conn = x11Connection();
    if (conn == nullptr) {
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
        return;
    }
    const xcb_atom_t state = atomNamed(conn, "_NET_WM_STATE");
    const xcb_atom_t vertical = atomNamed(conn, "_NET_WM_STATE_MAXIMIZED_VERT");
    const xcb_atom_t horizontal = atomNamed(conn, "_NET_WM_STATE_MAXIMIZED_HORZ");
    if (state != 0 && vertical != 0 && horizontal != 0) {
        askWindowManager(conn, window, state, {1 /* add */, vertical, horizontal, 1 /* an application */, 0});
    }
}

void ForceForegroundWindow(QWidget *window)
{
    if (window == nullptr) {
        return;
    }
    const bool onScreen = window->windowHandle() != nullptr && window->windowHandle()->isExposed() &&
                          !window->isMinimized();
    if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->show();
    }
    window->raise();
    window->activateWindow();
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (onScreen) {
            requestActiveOnX11(window);
        } else if (window->windowHandle() != nullptr &&
                   window->windowHandle()->findChild<QObject *>(QString::fromLatin1(ActivateWhenExposed::kName),
                                                                Qt::FindDirectChildrenOnly) == nullptr) {
            new ActivateWhenExposed(window);
        }
    }
}

} // namespace qv
