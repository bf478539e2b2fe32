// The category of the program's own Qt messages, and the filter that keeps a run without a display
// to them.
//
// The program's diagnostics go to the "quorvellant" category. Without a display the program runs
// on Qt's offscreen platform, whose plugin warns about things it never does (such as
// "This plugin does not support propagateSizeHints()") at every start: there only the program's
// own messages, and any critical or fatal one, reach the output.
#pragma once

#include <QLoggingCategory>

namespace qv {

Q_DECLARE_LOGGING_CATEGORY(lcProgram)

// Whether a message of `type` in `category` is passed on when the program's output is kept to its
// own messages.
bool isOwnOrSevereMessage(QtMsgType type, const char *category);

// From now on only the program's own messages and critical or fatal ones reach the output.
void keepOutputToOwnMessages();

} // namespace qv
