// Link captions: hover style, click and keyboard activation.
#include "ui/taskprops/LinkLabel.h"

#include "components/Cursors.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace qv {

LinkLabel::LinkLabel(const QString &caption, Weight weight, QWidget *parent) : QLabel(caption, parent), m_weight(weight)
{
    setTextFormat(Qt::PlainText);
    setCursor(screenCursor(crHand));
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    applyStyle();
}

void LinkLabel::applyStyle()
{
    QFont f = font();
    f.setBold(m_weight == Weight::Bold);
    f.setUnderline(m_hovered && isEnabled());
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::Active, QPalette::WindowText, p.color(QPalette::Active, QPalette::Link));
    p.setColor(QPalette::Inactive, QPalette::WindowText, p.color(QPalette::Inactive, QPalette::Link));
    setPalette(p);
}

void LinkLabel::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    applyStyle();
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent *event)
{
    m_hovered = false;
    applyStyle();
    QLabel::leaveEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && isEnabled()) {
        emit clicked();
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit clicked();
        event->accept();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void LinkLabel::changeEvent(QEvent *event)
{
    // A disabled link drops its hover underline.
    if (event->type() == QEvent::EnabledChange) {
        applyStyle();
    }
    QLabel::changeEvent(event);
}

} // namespace qv
