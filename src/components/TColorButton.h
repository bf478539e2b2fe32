// TColorButton: a push button showing a colour swatch; a click drops down the colour palette.
#pragma once

#include "components/TColorArrayClass.h"

#include <QPixmap>
#include <QPointer>
#include <QPushButton>

#include <functional>
#include <string>

namespace qv {

class TColorButtonPalette;

enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };

class TColorButton : public QPushButton
{
public:
    using HintEvent = std::function<void(QObject *sender, TColor color, int x, int y, std::string &hint)>;

    explicit TColorButton(QWidget *parent = nullptr);
    ~TColorButton() override;

    static QString Version() { return QStringLiteral("TColorButton v2.59"); }

    bool ShowColorHints = true;
    bool CycleColors = false;
    QString OtherBtnCaption = QStringLiteral("&Other");
    TColor OtherColor;
    std::function<void(TColorButton *)> OnColorChange;
    HintEvent OnGetColorHintText;

    TButtonStyle Style() const { return m_style; }
    void SetStyle(TButtonStyle style);
    bool Flat() const { return m_flat; }
    void SetFlat(bool flat);

    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    // The palette index of Color (1..20, row by row), 0 when it is not a palette colour.
    int SelectedIndex() const { return m_index; }
    void SelectIndex(int index);

    const TColorArrayClass &PaletteColors() const { return m_paletteColors; }
    void SetPaletteColors(const TColorArrayClass &colors) { m_paletteColors.Assign(colors); }
    const TColorArrayClass &CustomColors() const { return m_customColors; }
    void SetCustomColors(const TColorArrayClass &colors) { m_customColors.Assign(colors); }

    // The settings key (below the current user's root) whose "Colors" subkey keeps the custom
    // colours under the storage name; empty: they are not kept.
    QString CustomColorsKey;
    // The button's object name, then "." and its parent's when it has one.
    std::string GetStorageName() const;
    void SaveCustomColors();
    void LoadCustomColors();
    void InitPaletteColors();

    // The stored text of 16 custom colours ("$" and eight hex digits each, column by column, ",").
    static std::string customColorsText(const TColorArrayClass &colors);
    // Reads it back; a text without "," leaves the colours, an unreadable entry gives white.
    static void readCustomColorsText(const std::string &text, TColorArrayClass &colors);

    bool DroppedDown() const { return m_palette != nullptr; }
    TColorButtonPalette *Palette() const { return m_palette; }
    // The button's click: steps the colour (CycleColors, swatch part) or drops the palette.
    void Click();
    // The same with the cursor at `cursor` (client coordinates).
    void ClickAt(QPoint cursor);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void dropDown();
    void paletteClosed(TColorButtonPalette *palette);
    void DoColorChange();

    TColor m_color;
    int m_index = 0;
    TButtonStyle m_style = bsAutoDetect;
    bool m_flat = false;
    TColorArrayClass m_paletteColors{4, 5};
    TColorArrayClass m_customColors{8, 2};
    QPointer<TColorButtonPalette> m_palette;
    std::string m_storageName;
    bool m_customColorsLoaded = false;
    bool m_swallowClick = false;
    unsigned long m_swallowStamp = 0;
    QPixmap m_arrow;
    QPixmap m_arrowDisabled;
};

} // namespace qv
