// The program's cursor table: the extra screen cursors beside Qt's own shapes.
#pragma once

#include <QCursor>

namespace qv {

inline constexpr int crHand = 14000; // pointing hand
inline constexpr int crDrag = 14001; // closed, dragging hand
// The cursor of a number in the program's cursor table (the arrow for unknown numbers).
QCursor screenCursor(int id);

} // namespace qv
