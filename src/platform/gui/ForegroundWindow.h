// Bringing a window of ours to the front when the user asks for it (a hot key, the tray).
//
// No input is synthesised: the window is shown, raised and activated, and on X11 the window manager
// is asked through _NET_ACTIVE_WINDOW with the "pager" source, which focus-stealing prevention lets
// through because the request follows the user's own action.
#pragma once

class QWidget;

namespace qv {

void ForceForegroundWindow(QWidget *window);

// Asks the window manager to maximise a window on the screen. On X11 the request goes to the window
// manager itself: Qt sends none for a window it already counts as maximised, which it does for one
// that the window manager took as normal before it was told otherwise.
void RequestMaximized(QWidget *window);

} // namespace qv
