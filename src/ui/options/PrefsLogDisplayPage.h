// PrefsLogDisplayPage: the options dialog's "Log Display" page: the colours of the activity log's
// five kinds of line, its font, and a sample drawn the way the activity log draws.
#pragma once

#include "ui/ActivityLogModel.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTreeView;

namespace qv {

class TColorButton;

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
    // The font of the labels (an empty name becomes the desktop's default font, in the setting too).
    QFont sampleFont() const;

    TColorButton *LogDisplaySummaryColorBG;
    TColorButton *LogDisplaySummaryColorFG;
    TColorButton *LogDisplayFilesColorBG;
    TColorButton *LogDisplayFilesColorFG;
    TColorButton *LogDisplaySkippingColorBG;
    TColorButton *LogDisplaySkippingColorFG;
    TColorButton *LogDisplayWarningsColorBG;
    TColorButton *LogDisplayWarningsColorFG;
    TColorButton *LogDisplayErrorsColorBG;
    TColorButton *LogDisplayErrorsColorFG;
    QLabel *LogDisplayFontNameLabel;
    QLabel *LogDisplayFontSizeLabel;
    QPushButton *LogDisplayFontButton;
    QTreeView *LogDisplaySampleLogView;

protected:
    void showEvent(QShowEvent *event) override;

private:
    TColorButton *m_fg[LogDisplayColours::PairCount];
    TColorButton *m_bg[LogDisplayColours::PairCount];
    QStandardItemModel *m_sample;
};

} // namespace qv
