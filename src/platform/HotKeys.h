// HotKeys: global hot keys of the desktop, behind an interface with a fake.
//
// A hot key is stored as the design's 16-bit shortcut; callers split it into modifier flags
// (MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4, MOD_WIN 8) and a Windows virtual-key code, which this
// layer maps to key symbols. The X11 backend grabs the key on the root window (with the Caps Lock
// and Num Lock variants, so the key works whatever their state); on Wayland and without a display
// the layer is unavailable and says so once.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace qv {

enum HotKeyModifier : unsigned { MOD_ALT = 1, MOD_CONTROL = 2, MOD_SHIFT = 4, MOD_WIN = 8 };

class HotKeys : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isAvailable() const = 0;
    // Why hot keys are unavailable (empty when they are available).
    virtual QString unavailableReason() const = 0;
    // Grabs the combination for `id`, replacing what `id` held. False when the key has no
    // equivalent, another program holds the combination, or the layer is unavailable.
    virtual bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey) = 0;
    virtual void unregisterHotKey(int id) = 0;
    // Whether `id` is registered now.
    virtual bool isRegistered(int id) const = 0;

    // True the first time it is called on an unavailable layer: callers report the missing
    // hot keys once, not at every registration.
    bool takeUnavailableReport();

signals:
    void hotKeyPressed(int id);

private:
    bool m_reported = false;
};

// X11 key symbol of a Windows virtual-key code (0 when there is none).
std::uint32_t keySymOfVirtualKey(unsigned virtualKey);

} // namespace qv
