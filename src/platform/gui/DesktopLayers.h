// The desktop's own backends of the platform layers: hot keys on the X display, the session's end
// through the session manager and logind, and whether a display can be reached at all.
//
// The interfaces live with the core half of the platform layer (the task core reacts to hot keys
// and session ends); their real backends need Qt Gui, D-Bus and xcb, which the command-line tools
// never load.
#pragma once

#include "platform/HotKeys.h"
#include "platform/SessionEvents.h"

#include <memory>

class QObject;

namespace qv {

// The desktop's hot keys: X11 grabs on an xcb display, otherwise an unavailable layer.
std::unique_ptr<HotKeys> createDesktopHotKeys(QObject *parent = nullptr);

std::unique_ptr<SessionEvents> createSessionEvents(QObject *parent = nullptr);

// Whether a display can really be reached now: a Wayland socket that accepts a connection or an
// X server that completes a connection (a stale DISPLAY after log-out does not count).
bool displayReachable();

} // namespace qv
