// The settings store looked over at the program's start: a damaged store is reported, and the
// user chooses between moving it aside (kept beside itself) and starting with empty settings, or
// quitting.
#pragma once

#include <string>

class QWidget;

namespace qv {

// True when the program may go on: the store at `path` is sound (or missing), or it was damaged and
// the user had it moved aside. Without a display the damage is written to standard error and the
// answer is false: nothing decides for the user.
bool acceptSettingsStore(QWidget *parent, const std::string &path, bool headless);

} // namespace qv
