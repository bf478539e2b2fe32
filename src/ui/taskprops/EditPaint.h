// The one way the task dialogs paint an edit box as available (window colour) or not (face colour).
#pragma once

class QWidget;

namespace qv {

// Sets the edit's QPalette::Base to the window colour (`window`) or to the button-face colour.
void setEditPaint(QWidget *edit, bool window);
// Whether the edit is painted in the face colour.
bool editPaintedFace(const QWidget *edit);

} // namespace qv
