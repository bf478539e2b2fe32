// Windows that lie wholly on the screen they open on.
//
// A window manager centres a window over the one it belongs to, or places it where it finds room,
// and may leave part of it below the screen's edge; a stored position may name a screen that is no
// longer there. The program's own windows (the main window at its stored place, the help window)
// are given a place of their own, inside the usable area of their screen, before they show.
#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

namespace qv {

// `frame` moved, and shrunk where it is larger, so that it lies wholly within `area`.
QRect placedWhollyInside(const QRect &frame, const QRect &area);

// The frame a window manager puts around a top-level window: read from `shown`, a window on the
// screen, else a usual title bar and border (none without a window manager).
QMargins windowFrameMargins(const QWidget *shown);

// Gives the top-level `window` the place and size it is to show with: its frame centred on
// `centre` (on the screen that holds `centre`), or on `geometry` when it is valid (a stored
// client rectangle), moved and shrunk to lie wholly in that screen's usable area. `near` is a
// shown window whose frame tells the window manager's (may be null).
void placeWhollyOnScreen(QWidget *window, const QPoint &centre, const QWidget *near);
void placeWhollyOnScreen(QWidget *window, const QRect &geometry, const QWidget *near);

} // namespace qv
