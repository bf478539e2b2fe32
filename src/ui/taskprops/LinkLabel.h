// LinkLabel: a caption that acts as a link inside the task dialog's pages.
//
// Plain text, so a language file can rename it like any label. Under the mouse it is underlined
// (a bold link stays bold), and plain again when the mouse leaves. A left click, or Space or
// Return while it has the keyboard focus, emits clicked().
#pragma once

#include <QLabel>

namespace qv {

class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    enum class Weight { Normal, Bold };

    LinkLabel(const QString &caption, Weight weight, QWidget *parent = nullptr);

    bool isHovered() const { return m_hovered; }

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyStyle();

    Weight m_weight;
    bool m_hovered = false;
};

} // namespace qv
