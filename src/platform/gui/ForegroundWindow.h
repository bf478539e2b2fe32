// Bringing a window of ours to the front when the user asks for it (a hot key, the tray).
//
// No input is synthesised: the window is shown, raised and activated, and on X11 the window manager
// is asked through _NET_ACTIVE_WINDOW with the "pager" source, which focus-stealing prevention lets
// through because the request follows the user's own action.
#pragma once

class QWidget;

namespace qv {

void ForceForegroundWindow(QWidget *window);

} // namespace qv
