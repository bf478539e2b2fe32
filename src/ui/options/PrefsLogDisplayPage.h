// PrefsLogDisplayPage: the options dialog's "Log Display" page: the colours of the activity log's
// five kinds of line, its font, and a sample drawn the way the activity log draws.
#pragma once

#include "ui/ActivityLogModel.h"

#include <QPushButton>
#include <QWidget>

class QLabel;
class QStandardItemModel;
class QTreeView;

namespace qv {

// A flat button showing a stored colour; a click picks another. It holds the stored value, so a
// system colour it was given comes back unchanged unless the user picks.
class PrefsColourButton : public QPushButton
{
    Q_OBJECT
public:
    explicit PrefsColourButton(QWidget *parent = nullptr);
    TColor Color() const { return m_color; }
    void setColor(TColor color);
    // The palette the picker offers, row by row (4 columns by 5 rows).
    static const TColor kPalette[20];

signals:
    void OnColorChange();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void pick();
    TColor m_color = 0;
};

class PrefsLogDisplayPage : public QWidget
{
    Q_OBJECT
public:
    explicit PrefsLogDisplayPage(QWidget *parent = nullptr);

    void load();
    void store() const;
    // The colours the buttons hold now.
    LogDisplayColours colours() const;
    // Redraws the sample from the buttons and the font labels.
    void LogDisplayUpdateSample();
    // "Change Font...": a font dialog preset with the labels' font; OK takes its name and size.
    void LogDisplayFontButtonClick();
    // The font of the labels (an empty name becomes "Tahoma", in the setting too).
    QFont sampleFont() const;

    PrefsColourButton *LogDisplaySummaryColorBG;
    PrefsColourButton *LogDisplaySummaryColorFG;
    PrefsColourButton *LogDisplayFilesColorBG;
    PrefsColourButton *LogDisplayFilesColorFG;
    PrefsColourButton *LogDisplaySkippingColorBG;
    PrefsColourButton *LogDisplaySkippingColorFG;
    PrefsColourButton *LogDisplayWarningsColorBG;
    PrefsColourButton *LogDisplayWarningsColorFG;
    PrefsColourButton *LogDisplayErrorsColorBG;
    PrefsColourButton *LogDisplayErrorsColorFG;
    QLabel *LogDisplayFontNameLabel;
    QLabel *LogDisplayFontSizeLabel;
    QPushButton *LogDisplayFontButton;
    QTreeView *LogDisplaySampleLogView;

protected:
    void showEvent(QShowEvent *event) override;

private:
    PrefsColourButton *m_fg[LogDisplayColours::PairCount];
    PrefsColourButton *m_bg[LogDisplayColours::PairCount];
    QStandardItemModel *m_sample;
};

} // namespace qv
