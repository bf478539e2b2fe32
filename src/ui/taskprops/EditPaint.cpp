// Edit paint of the task dialogs: the base colour of an edit box follows whether it is available.
#include "ui/taskprops/EditPaint.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace qv {

void setEditPaint(QWidget *edit, bool window)
{
    if (edit == nullptr) {
        return;
    }
    const QPalette app = QApplication::palette();
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, window ? app.color(QPalette::Base) : app.color(QPalette::Button));
    edit->setPalette(p);
}

void setWarningPaint(QWidget *label)
{
    if (label == nullptr) {
        return;
    }
    const bool darkWindow = QApplication::palette().color(QPalette::Window).lightness() < 128;
    const QColor red = darkWindow ? QColor(255, 120, 120) : QColor(176, 0, 0);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, red);
    p.setColor(QPalette::Text, red);
    label->setPalette(p);
}

bool editPaintedFace(const QWidget *edit)
{
    const QPalette app = QApplication::palette();
    // The active group: a disabled edit's own colours say nothing about how it was painted.
    return edit->palette().color(QPalette::Active, QPalette::Base) == app.color(QPalette::Button) &&
           app.color(QPalette::Base) != app.color(QPalette::Button);
}

} // namespace qv
