// Placing a window wholly on its screen.
#include "components/ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace qv {
namespace {

QRect usableArea(const QPoint &at)
{
    QScreen *screen = QGuiApplication::screenAt(at);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

void apply(QWidget *window, const QRect &client, const QMargins &frame)
{
    const QRect area = usableArea(client.center());
    if (!area.isValid()) {
        window->setGeometry(client);
        return;
    }
    const QRect outer = placedWhollyInside(client.marginsAdded(frame), area);
    window->setGeometry(outer.marginsRemoved(frame));
}

} // namespace

QRect placedWhollyInside(const QRect &frame, const QRect &area)
{
    QRect r(frame.topLeft(), frame.size().boundedTo(area.size()));
    r.moveLeft(std::clamp(r.left(), area.left(), area.right() - r.width() + 1));
    r.moveTop(std::clamp(r.top(), area.top(), area.bottom() - r.height() + 1));
    return r;
}

QMargins windowFrameMargins(const QWidget *shown)
{
    if (shown != nullptr && shown->isVisible()) {
        const QRect outer = shown->frameGeometry();
        const QRect inner = shown->geometry();
        if (outer != inner && outer.contains(inner)) {
            return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom()};
        }
    }
    // Without a window manager (the offscreen platform) windows have no frame.
    return QGuiApplication::platformName() == QLatin1String("offscreen") ? QMargins() : QMargins(4, 28, 4, 4);
}

void placeWhollyOnScreen(QWidget *window, const QPoint &centre, const QWidget *near)
{
    QRect client(QPoint(), window->size());
    client.moveCenter(centre);
    apply(window, client, windowFrameMargins(near));
}

void placeWhollyOnScreen(QWidget *window, const QRect &geometry, const QWidget *near)
{
    apply(window, geometry, windowFrameMargins(near));
}

} // namespace qv
