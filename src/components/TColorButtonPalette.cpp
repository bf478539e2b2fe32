// TColorButtonPalette: the colour button's drop-down, a grid of 4 x 5 colours, an other-colour cell
// and "&Other" for the colour dialog.
#include "components/TColorButtonPalette.h"

#include "components/TColorConversion.h"
#include "components/TranslateForm.h"

#include <QColorDialog>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>

#include <cstdio>

namespace qv {

namespace {

constexpr TColor rgb(int r, int g, int b)
{
    return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

// Rows Y = 1..5, columns X = 1..4.
constexpr TColor kDefaultPalette[5][4] = {
    {rgb(255, 255, 255), rgb(0, 0, 0), rgb(191, 191, 191), rgb(127, 127, 127)},
    {rgb(255, 0, 0), rgb(127, 0, 0), rgb(255, 255, 0), rgb(127, 127, 0)},
    {rgb(0, 255, 0), rgb(0, 127, 0), rgb(0, 255, 255), rgb(0, 127, 127)},
    {rgb(0, 0, 255), rgb(0, 0, 127), rgb(255, 0, 255), rgb(127, 0, 127)},
    {rgb(191, 215, 191), rgb(159, 191, 239), rgb(255, 247, 239), rgb(159, 159, 159)},
};

constexpr TColor kBtnFace = kTColorSystemBase + 15;

QColor systemColor(int index, const QPalette &palette)
{
    return colorFromTColor(kTColorSystemBase + static_cast<TColor>(index), palette).value_or(Qt::gray);
}

// One frame line of width 1: `topLeft` along the left and top, `bottomRight` along the right and
// bottom; the rectangle shrinks by 1.
void frame3D(QPainter &p, QRect &r, const QColor &topLeft, const QColor &bottomRight)
{
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    r.adjust(1, 1, -1, -1);
}

} // namespace

TColorButtonPalette::TColorButtonPalette(QWidget *owner) : QFrame(owner, Qt::Popup), OtherColor(kBtnFace)
{
    setObjectName(QStringLiteral("ColorButtonPalette"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(kFrame);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_btnOther = new QPushButton(QStringLiteral("&Other"), this);
    m_btnOther->setObjectName(QStringLiteral("btnOther"));
    m_btnOther->setFocusPolicy(Qt::NoFocus);
    m_btnOther->setGeometry(kFrame + 2, kFrame + kOtherTop, kClientWidth - 22, kOtherHeight);
    setFixedSize(kClientWidth + 2 * kFrame, kClientHeight + 2 * kFrame);
    InitPaletteColors(PaletteColors);
    for (int x = 1; x <= 8; ++x) {
        for (int y = 1; y <= 2; ++y) {
            CustomColors.SetColor(x, y, rgb(255, 255, 255));
        }
    }
    QObject::connect(m_btnOther, &QPushButton::clicked, this, [this] { openColorDialog(); });
    TranslateForm(this);
}

void TColorButtonPalette::InitPaletteColors(TColorArrayClass &grid)
{
    grid.SetXSize(4);
    grid.SetYSize(5);
    for (int y = 1; y <= 5; ++y) {
        for (int x = 1; x <= 4; ++x) {
            grid.SetColor(x, y, kDefaultPalette[y - 1][x - 1]);
        }
    }
}

void TColorButtonPalette::SetOtherBtnCaption(const QString &caption)
{
    m_btnOther->setText(caption);
}

bool TColorButtonPalette::validCell(QPoint cell)
{
    return (cell.x() >= 1 && cell.x() <= 4 && cell.y() >= 1 && cell.y() <= 5) || cell == QPoint(0, 0);
}

QRect TColorButtonPalette::cellRect(QPoint cell)
{
    if (cell == QPoint(0, 0)) {
        return {kClientWidth - 19, kOtherTop + (kOtherHeight - 16) / 2 - 1, kCell, kCell};
    }
    return {(cell.x() - 1) * kCell, (cell.y() - 1) * kCell, kCell, kCell};
}

QPoint TColorButtonPalette::cellAt(QPoint client)
{
    const int x = client.x();
    const int y = client.y();
    if (x >= kClientWidth - 19 && x <= kClientWidth - 1 && y >= 96 && y < 114) {
        return {0, 0};
    }
    if (x < 0 || y < 0) {
        return {-1, -1};
    }
    const QPoint cell(x / kCell + 1, y / kCell + 1);
    return cell.y() >= 1 && validCell(cell) ? cell : QPoint(-1, -1);
}

QPoint TColorButtonPalette::moveSelection(QPoint cell, int key, int column)
{
    const bool other = cell == QPoint(0, 0);
    switch (key) {
    case Qt::Key_Left:
        return other ? cell : QPoint(cell.x() == 1 ? 4 : cell.x() - 1, cell.y());
    case Qt::Key_Right:
        return other ? cell : QPoint(cell.x() == 4 ? 1 : cell.x() + 1, cell.y());
    case Qt::Key_Up:
        if (other) {
            return {column, 5};
        }
        return cell.y() == 1 ? QPoint(0, 0) : QPoint(cell.x(), cell.y() - 1);
    case Qt::Key_Down:
        if (other) {
            return {column, 1};
        }
        return cell.y() == 5 ? QPoint(0, 0) : QPoint(cell.x(), cell.y() + 1);
    default:
        return cell;
    }
}

QPoint TColorButtonPalette::placement(const QRect &button, const QSize &size, const QRect &workArea)
{
    QPoint pos(button.left(), button.top() + button.height());
    if (pos.y() + size.height() > workArea.top() + workArea.height()) {
        pos.setY(std::max(workArea.top(), button.top() - size.height()));
    }
    if (pos.x() < workArea.left()) {
        pos.setX(workArea.left());
    } else if (pos.x() + size.width() > workArea.left() + workArea.width()) {
        pos.setX(workArea.left() + workArea.width() - size.width());
    }
    return pos;
}

TColor TColorButtonPalette::cellColor(QPoint cell) const
{
    return cell == QPoint(0, 0) ? OtherColor : PaletteColors.GetColor(cell.x(), cell.y());
}

void TColorButtonPalette::SelectColor(TColor color)
{
    const QColor wanted = colorFromTColor(color, palette()).value_or(QColor());
    for (int x = 1; x <= 4; ++x) {
        for (int y = 1; y <= 5; ++y) {
            const std::optional<QColor> c = colorFromTColor(PaletteColors.GetColor(x, y), palette());
            if (c && wanted.isValid() && c->rgb() == wanted.rgb()) {
                selectCell({x, y});
                return;
            }
        }
    }
    OtherColor = color;
    update();
}

std::string TColorButtonPalette::GetColorHintText(TColor color, int x, int y)
{
    const QColor c = colorFromTColor(color, palette()).value_or(QColor(Qt::black));
    char text[64];
    std::snprintf(text, sizeof text, "RGB = %.3d %.3d %.3d", c.red(), c.green(), c.blue());
    std::string hint = text;
    if (OnGetColorHintText) {
        OnGetColorHintText(parent() != nullptr ? parent() : this, color, x, y, hint);
    }
    return hint;
}

QPoint TColorButtonPalette::clientPoint(QPoint widgetPoint) const
{
    return widgetPoint - contentsRect().topLeft();
}

void TColorButtonPalette::selectCell(QPoint cell)
{
    if (cell == m_selected || !validCell(cell)) {
        return;
    }
    m_selected = cell;
    if (cell.y() >= 1) {
        m_column = cell.x();
    }
    update();
}

void TColorButtonPalette::fireSelect(QPoint cell)
{
    if (OnSelect && validCell(cell)) {
        OnSelect(this, cell.y() == 0, cellColor(cell));
    }
}

bool TColorButtonPalette::event(QEvent *e)
{
    if (e->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(e);
        const QPoint cell = cellAt(clientPoint(help->pos()));
        std::string text;
        if (ShowColorHints && validCell(cell)) {
            text = GetColorHintText(cellColor(cell), cell.x(), cell.y());
        }
        if (text.empty()) {
            QToolTip::hideText();
        } else {
            const QRect r = cellRect(cell).translated(contentsRect().topLeft());
            QToolTip::showText(mapToGlobal(r.bottomLeft() + QPoint(0, 8)), QString::fromStdString(text), this, r);
        }
        return true;
    }
    return QFrame::event(e);
}

void TColorButtonPalette::paintEvent(QPaintEvent *e)
{
    QFrame::paintEvent(e);
    QPainter p(this);
    p.translate(contentsRect().topLeft());
    const QPalette &pal = palette();
    auto drawCell = [&](QPoint cell, bool selected) {
        QRect r = cellRect(cell).adjusted(0, 0, -1, -1);
        if (selected) {
            frame3D(p, r, systemColor(21, pal), systemColor(21, pal));
            frame3D(p, r, systemColor(20, pal), systemColor(20, pal));
            frame3D(p, r, systemColor(21, pal), systemColor(21, pal));
        } else {
            frame3D(p, r, pal.color(QPalette::Window), pal.color(QPalette::Window));
            frame3D(p, r, systemColor(16, pal), systemColor(20, pal));
            frame3D(p, r, systemColor(21, pal), systemColor(22, pal));
        }
        p.fillRect(r.adjusted(0, 0, 1, 1), colorFromTColor(cellColor(cell), pal).value_or(Qt::black));
    };
    for (int y = 1; y <= 5; ++y) {
        for (int x = 1; x <= 4; ++x) {
            drawCell({x, y}, false);
        }
    }
    p.setPen(systemColor(16, pal));
    p.drawLine(2, 93, kClientWidth - 2, 93);
    p.setPen(systemColor(20, pal));
    p.drawLine(2, 94, kClientWidth - 2, 94);
    drawCell({0, 0}, false);
    if (validCell(m_selected)) {
        drawCell(m_selected, true);
    }
}

void TColorButtonPalette::mouseMoveEvent(QMouseEvent *e)
{
    selectCell(cellAt(clientPoint(e->position().toPoint())));
}

void TColorButtonPalette::mousePressEvent(QMouseEvent *e)
{
    m_pressInside = rect().contains(e->position().toPoint());
    if (!m_pressInside) {
        // A press anywhere else closes the palette; the button it lands on must not reopen it.
        m_closingPress = e->timestamp() != 0 ? e->timestamp() : 1;
        close();
        return;
    }
    e->accept();
}

void TColorButtonPalette::mouseReleaseEvent(QMouseEvent *e)
{
    if (!m_pressInside) {
        return;
    }
    m_pressInside = false;
    const QPoint cell = cellAt(clientPoint(e->position().toPoint()));
    if (!validCell(cell)) {
        return;
    }
    fireSelect(cell);
    close();
}

void TColorButtonPalette::keyPressEvent(QKeyEvent *e)
{
    const int key = e->key();
    if (key == Qt::Key_Escape) {
        m_closedByKeyboard = true;
        close();
        return;
    }
    if (!validCell(m_selected)) {
        selectCell({1, 1});
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        fireSelect(m_selected);
        m_closedByKeyboard = true;
        close();
        return;
    }
    selectCell(moveSelection(m_selected, key, m_column));
}

void TColorButtonPalette::closeEvent(QCloseEvent *e)
{
    if (m_colorDialogOpen) {
        e->ignore();
        return;
    }
    if (OnClose) {
        OnClose(this);
    }
    QFrame::closeEvent(e);
}

void TColorButtonPalette::openColorDialog()
{
    m_colorDialogOpen = true;
    hide(); // the dialog takes over; a popup under a modal dialog would be closed by it anyway
    QColorDialog dialog(colorFromTColor(OtherColor, palette()).value_or(Qt::white), parentWidget());
    dialog.setObjectName(QStringLiteral("ColorDialog"));
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    for (int y = 1; y <= 2; ++y) {
        for (int x = 1; x <= 8; ++x) {
            QColorDialog::setCustomColor((y - 1) * 8 + x - 1,
                                         colorFromTColor(CustomColors.GetColor(x, y), palette()).value_or(Qt::white));
        }
    }
    const bool ok = dialog.exec() == QDialog::Accepted;
    if (ok) {
        OtherColor = tColorFromColor(dialog.currentColor());
        for (int y = 1; y <= 2; ++y) {
            for (int x = 1; x <= 8; ++x) {
                CustomColors.SetColor(x, y, tColorFromColor(QColorDialog::customColor((y - 1) * 8 + x - 1)));
            }
        }
    }
    m_colorDialogOpen = false;
    if (ok && OnSelect) {
        OnSelect(this, true, OtherColor);
    }
    close();
}

} // namespace qv
