// The one way the dialogs paint an edit box as available (window colour) or not (face colour), and a
// warning in red: both from the application's palette, so a dark colour scheme stays readable.
#pragma once

class QWidget;

namespace qv {

// Sets the edit's QPalette::Base to the window colour (`window`) or to the button-face colour.
void setEditPaint(QWidget *edit, bool window);
// Whether the edit is painted in the face colour.
bool editPaintedFace(const QWidget *edit);
// Gives a label the red of a warning, dark on a light window colour and light on a dark one.
void setWarningPaint(QWidget *label);

} // namespace qv
