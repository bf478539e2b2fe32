// Hot keys for tests: a table of grabs, combinations other programs hold, and key presses.
#pragma once

#include "platform/HotKeys.h"

#include <map>
#include <set>
#include <utility>

namespace qv {

class FakeHotKeys : public HotKeys
{
    Q_OBJECT
public:
    using HotKeys::HotKeys;

    bool available = true;
    // Combinations (modifiers, virtual key) that another program holds.
    std::set<std::pair<unsigned, unsigned>> heldElsewhere;
    std::map<int, std::pair<unsigned, unsigned>> registered;

    bool isAvailable() const override { return available; }
    QString unavailableReason() const override
    {
        return available ? QString() : QStringLiteral("Global hot keys are not available on this desktop.");
    }
    bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey) override
    {
        registered.erase(id);
        if (!available || heldElsewhere.count({modifiers, virtualKey}) != 0 || keySymOfVirtualKey(virtualKey) == 0) {
            return false;
        }
        for (const auto &[otherId, combo] : registered) {
            if (combo == std::pair(modifiers, virtualKey)) {
                return false; // the desktop refuses a second grab of one combination
            }
        }
        registered[id] = {modifiers, virtualKey};
        return true;
    }
    void unregisterHotKey(int id) override { registered.erase(id); }
    bool isRegistered(int id) const override { return registered.count(id) != 0; }

    // The user presses a combination.
    void press(unsigned modifiers, unsigned virtualKey)
    {
        for (const auto &[id, combo] : registered) {
            if (combo == std::pair(modifiers, virtualKey)) {
                emit hotKeyPressed(id);
            }
        }
    }
};

} // namespace qv
