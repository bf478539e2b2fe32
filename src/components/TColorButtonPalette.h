// TColorButtonPalette: the colour button's drop-down, a grid of 4 x 5 colours, an other-colour cell
// and "&Other" for the colour dialog.
#pragma once

#include "components/TColorArrayClass.h"

#include <QFrame>

#include <functional>
#include <string>

class QPushButton;

namespace qv {

class TColorButtonPalette : public QFrame
{
public:
    // Client-area geometry.
    static constexpr int kCell = 18;
    static constexpr int kClientWidth = 72;
    static constexpr int kOtherTop = 98;
    static constexpr int kOtherHeight = 21;
    static constexpr int kClientHeight = kOtherTop + kOtherHeight + 2;
    static constexpr int kFrame = 3;

    using SelectEvent = std::function<void(TColorButtonPalette *, bool isOther, TColor color)>;
    using HintEvent = std::function<void(QObject *sender, TColor color, int x, int y, std::string &hint)>;

    explicit TColorButtonPalette(QWidget *owner = nullptr);

    bool ShowColorHints = true;
    TColorArrayClass PaletteColors{4, 5};
    TColorArrayClass CustomColors{8, 2};
    TColor OtherColor;
    SelectEvent OnSelect;
    std::function<void(TColorButtonPalette *)> OnClose;
    HintEvent OnGetColorHintText;

    void SetOtherBtnCaption(const QString &caption);
    QPushButton *OtherButton() const { return m_btnOther; }
    // Selects the first cell (X outer, Y inner) whose RGB value is the colour's; else OtherColor
    // takes the colour.
    void SelectColor(TColor color);
    QPoint SelectedCell() const { return m_selected; }
    bool ClosedByKeyboard() const { return m_closedByKeyboard; }
    // The time stamp of the mouse press outside that closed the palette (0: none).
    unsigned long ClosingPressStamp() const { return m_closingPress; }

    // Cell (X, Y): the grid for 1..4 x 1..5, the other cell for (0, 0), (-1, -1) for none.
    static bool validCell(QPoint cell);
    // The cell's square in client coordinates, and the cell at a client point.
    static QRect cellRect(QPoint cell);
    static QPoint cellAt(QPoint client);
    // The cell an arrow key moves to; `column` is the grid column to return to from the other cell.
    static QPoint moveSelection(QPoint cell, int key, int column);
    // Where a palette of `size` goes for a button at `button` (screen coordinates): below it, above
    // it when it would pass the bottom of the work area, kept inside it left and right.
    static QPoint placement(const QRect &button, const QSize &size, const QRect &workArea);

    // The 20 colours a new palette and a new button start with.
    static void InitPaletteColors(TColorArrayClass &grid);

    TColor cellColor(QPoint cell) const;
    std::string GetColorHintText(TColor color, int x, int y);

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    QPoint clientPoint(QPoint widgetPoint) const;
    void selectCell(QPoint cell);
    void fireSelect(QPoint cell);
    void openColorDialog();

    QPushButton *m_btnOther = nullptr;
    QPoint m_selected{-1, -1};
    int m_column = 1;
    bool m_closedByKeyboard = false;
    bool m_colorDialogOpen = false;
    bool m_pressInside = false;
    unsigned long m_closingPress = 0;
};

} // namespace qv
