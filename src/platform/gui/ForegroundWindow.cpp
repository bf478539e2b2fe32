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

void requestActiveOnX11(QWidget *window)
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    xcb_connection_t *conn = x11->connection();
    const char name[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, sizeof name - 1, name), nullptr);
    if (atom == nullptr) {
        return;
    }
    xcb_client_message_event_t ev;
    std::memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = static_cast<xcb_window_t>(window->winId());
    ev.type = atom->atom;
    ev.data.data32[0] = 2; // source: pager (a request on the user's behalf)
    ev.data.data32[1] = XCB_CURRENT_TIME;
    ev.data.data32[2] = 0;
    std::free(atom);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    xcb_send_event(conn, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&ev));
    xcb_flush(conn);
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
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || x11 == nullptr || x11->connection() == nullptr) {
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
        return;
    }
    xcb_connection_t *conn = x11->connection();
    xcb_atom_t atoms[3] = {};
    const char *names[3] = {"_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"};
    for (int i = 0; i < 3; ++i) {
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            conn, xcb_intern_atom(conn, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]), nullptr);
        if (atom == nullptr) {
            return;
        }
        atoms[i] = atom->atom;
        std::free(atom);
    }
    xcb_client_message_event_t ev;
    std::memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = static_cast<xcb_window_t>(window->winId());
    ev.type = atoms[0];
    ev.data.data32[0] = 1; // add
    ev.data.data32[1] = atoms[1];
    ev.data.data32[2] = atoms[2];
    ev.data.data32[3] = 1; // source: an application
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    xcb_send_event(conn, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&ev));
    xcb_flush(conn);
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
