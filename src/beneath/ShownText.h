// Names and messages as they are shown on a terminal or written into a log: one line, with no
// byte a terminal would act on.
//
// A file name may hold any byte but "/" and NUL. Written as it is, a line feed or carriage return
// in it would let the rest pass for a line of its own, and an escape sequence would move the
// cursor, clear the screen or retitle the window. Every tool and the task log show such text
// through shownText, so a name looks the same wherever it appears:
//   line feed, carriage return, tab    \n  \r  \t
//   other C0 controls, DEL             \xNN (ESC is \x1b)
//   C1 controls (U+0080..U+009F)       \xNN for each of their two bytes (U+009B is \xc2\x9b)
// Everything else is shown as it is, backslashes included. Bytes that are not UTF-8 stay as they
// are too, so that a name in another encoding keeps its bytes in a log: a terminal that reads
// UTF-8 shows them as replacement characters and acts on none of them.
#pragma once

#include <string>
#include <string_view>

namespace qv {

std::string shownText(std::string_view text);

} // namespace qv
