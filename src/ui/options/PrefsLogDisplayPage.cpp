// PrefsLogDisplayPage: the options dialog's "Log Display" page.
#include "ui/options/PrefsLogDisplayPage.h"

#include "components/TColorButton.h"
#include "components/TColorButtonPalette.h"
#include "components/TColorConversion.h"
#include "core/log/TaskLogger.h"
#include "core/text/LocaleText.h"
#include "ui/ActivityLogModel.h"

#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

namespace qv {

namespace {

// Each cell as the view draws it (the kind's colours included), then its grid line. A style sheet
// would draw the lines too, but it paints the cells itself and drops the colours.
class GridLineDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

// The palette the colour buttons of this page offer, row by row (0x00BBGGRR).
const TColor kPalette[5][4] = {
    {16777215, 255, 65280, 16711680},
    {12572607, 0, 127, 32512},
    {8323072, 15712159, 12566463, 65535},
    {16776960, 16711935, 15726591, 8355711},
    {32639, 8355584, 8323199, 10461087},
};

void setUpColourButton(TColorButton *button)
{
    button->SetFlat(true);
    TColorArrayClass palette(4, 5);
    for (int y = 1; y <= 5; ++y) {
        for (int x = 1; x <= 4; ++x) {
            palette.SetColor(x, y, kPalette[y - 1][x - 1]);
        }
    }
    button->SetPaletteColors(palette);
    TColorArrayClass custom(8, 2);
    for (int y = 1; y <= 2; ++y) {
        for (int x = 1; x <= 8; ++x) {
            custom.SetColor(x, y, 16777215);
        }
    }
    button->SetCustomColors(custom);
}

struct SampleRow {
    int kind;
    const char *text;
};

// The seven sample lines, by image index 0..6.
const SampleRow kSampleRows[7] = {
    {kLogStarted, "Backup started."},
    {kLogSkipped, "Skipped (not changed): ~/Documents/budget.ods"},
    {kLogFile, "Copied: ~/Documents/report.odt"},
    {kLogError, "ERROR: Can't open file ~/Documents/locked.db (Permission denied)"},
    {kLogWarning, "WARNING: File ~/Documents/notes.txt was changed while copying"},
    {kLogInformation, "Total: 2 files processed, 1 skipped, 1 error, 1 warning."},
    {kLogFinished, "Backup finished."},
};

} // namespace

PrefsLogDisplayPage::PrefsLogDisplayPage(QWidget *parent) : QWidget(parent)
{
    static const char *const kPairs[LogDisplayColours::PairCount] = {"Summary", "Files", "Skipping", "Warnings",
                                                                     "Errors"};
    static const char *const kCaptions[LogDisplayColours::PairCount] = {
        "General messages:", "Processed files:", "Skipped files:", "Warnings:", "Errors:"};
    auto *colours = new QGroupBox(QStringLiteral("Colors"), this);
    colours->setObjectName(QStringLiteral("LogDisplayColorsGroupBox"));
    auto *grid = new QGridLayout(colours);
    auto *bgHead = new QLabel(QStringLiteral("Background"), colours);
    bgHead->setObjectName(QStringLiteral("LogDisplayBackgroundLabel"));
    auto *fgHead = new QLabel(QStringLiteral("Text"), colours);
    fgHead->setObjectName(QStringLiteral("LogDisplayTextLabel"));
    grid->addWidget(bgHead, 0, 1, Qt::AlignHCenter);
    grid->addWidget(fgHead, 0, 2, Qt::AlignHCenter);
    for (int i = 0; i < LogDisplayColours::PairCount; ++i) {
        auto *label = new QLabel(QString::fromLatin1(kCaptions[i]), colours);
        label->setObjectName(QStringLiteral("LogDisplay%1Label").arg(QLatin1String(kPairs[i])));
        m_bg[i] = new TColorButton(colours);
        setUpColourButton(m_bg[i]);
        m_bg[i]->setObjectName(QStringLiteral("LogDisplay%1ColorBG").arg(QLatin1String(kPairs[i])));
        m_fg[i] = new TColorButton(colours);
        setUpColourButton(m_fg[i]);
        m_fg[i]->setObjectName(QStringLiteral("LogDisplay%1ColorFG").arg(QLatin1String(kPairs[i])));
        grid->addWidget(label, i + 1, 0);
        grid->addWidget(m_bg[i], i + 1, 1);
        grid->addWidget(m_fg[i], i + 1, 2);
        m_bg[i]->OnColorChange = [this](TColorButton *) { LogDisplayUpdateSample(); };
        m_fg[i]->OnColorChange = [this](TColorButton *) { LogDisplayUpdateSample(); };
    }
    LogDisplaySummaryColorBG = m_bg[0];
    LogDisplaySummaryColorFG = m_fg[0];
    LogDisplayFilesColorBG = m_bg[1];
    LogDisplayFilesColorFG = m_fg[1];
    LogDisplaySkippingColorBG = m_bg[2];
    LogDisplaySkippingColorFG = m_fg[2];
    LogDisplayWarningsColorBG = m_bg[3];
    LogDisplayWarningsColorFG = m_fg[3];
    LogDisplayErrorsColorBG = m_bg[4];
    LogDisplayErrorsColorFG = m_fg[4];

    auto *font = new QGroupBox(QStringLiteral("Font"), this);
    font->setObjectName(QStringLiteral("LogDisplayFontGroupBox"));
    LogDisplayFontNameLabel = new QLabel(font);
    LogDisplayFontNameLabel->setObjectName(QStringLiteral("LogDisplayFontNameLabel"));
    LogDisplayFontSizeLabel = new QLabel(font);
    LogDisplayFontSizeLabel->setObjectName(QStringLiteral("LogDisplayFontSizeLabel"));
    LogDisplayFontButton = new QPushButton(QStringLiteral("Change Font..."), font);
    LogDisplayFontButton->setObjectName(QStringLiteral("LogDisplayFontButton"));
    auto *f = new QGridLayout(font);
    auto *nameCaption = new QLabel(QStringLiteral("Name:"), font);
    nameCaption->setObjectName(QStringLiteral("LogDisplayFontNameCaptionLabel"));
    auto *sizeCaption = new QLabel(QStringLiteral("Size:"), font);
    sizeCaption->setObjectName(QStringLiteral("LogDisplayFontSizeCaptionLabel"));
    f->addWidget(nameCaption, 0, 0);
    f->addWidget(LogDisplayFontNameLabel, 0, 1);
    f->addWidget(sizeCaption, 1, 0);
    f->addWidget(LogDisplayFontSizeLabel, 1, 1);
    f->addWidget(LogDisplayFontButton, 2, 0, 1, 2);
    f->setRowStretch(3, 1);
    connect(LogDisplayFontButton, &QPushButton::clicked, this, &PrefsLogDisplayPage::LogDisplayFontButtonClick);

    LogDisplaySampleLogView = new QTreeView(this);
    LogDisplaySampleLogView->setObjectName(QStringLiteral("LogDisplaySampleLogView"));
    LogDisplaySampleLogView->setRootIsDecorated(false);
    LogDisplaySampleLogView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LogDisplaySampleLogView->setSelectionMode(QAbstractItemView::NoSelection);
    LogDisplaySampleLogView->setItemDelegate(new GridLineDelegate(LogDisplaySampleLogView));
    m_sample = new QStandardItemModel(7, ActivityLogModel::ColumnCount, this);
    m_sample->setHorizontalHeaderLabels(
        {QStringLiteral(" "), QStringLiteral("N"), QStringLiteral("Date"), QStringLiteral("Time"), QStringLiteral("Event")});
    const QDateTime when(QDate(2026, 3, 14), QTime(10, 15, 0));
    for (int r = 0; r < 7; ++r) {
        const QDateTime at = when.addSecs(r * 7);
        m_sample->setItem(r, ActivityLogModel::ColNumber, new QStandardItem(QString::number(r + 1)));
        m_sample->setItem(r, ActivityLogModel::ColDate, new QStandardItem(QString::fromStdString(shortDateText(at.date()))));
        m_sample->setItem(r, ActivityLogModel::ColTime, new QStandardItem(QString::fromStdString(longTimeText(at.time()))));
        m_sample->setItem(r, ActivityLogModel::ColEvent, new QStandardItem(QString::fromUtf8(kSampleRows[r].text)));
        m_sample->setItem(r, ActivityLogModel::ColIcon, new QStandardItem(QStringLiteral(" ")));
    }
    LogDisplaySampleLogView->setModel(m_sample);
    LogDisplaySampleLogView->setColumnWidth(ActivityLogModel::ColIcon, 22);
    LogDisplaySampleLogView->setColumnWidth(ActivityLogModel::ColNumber, 30);

    auto *top = new QHBoxLayout;
    top->addWidget(colours, 3);
    top->addWidget(font, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(LogDisplaySampleLogView, 1);
}

void PrefsLogDisplayPage::load()
{
    const LogDisplayColours c = logDisplayColoursFromSettings();
    for (int i = 0; i < LogDisplayColours::PairCount; ++i) {
        m_fg[i]->SetColor(c.fg[i]);
        m_bg[i]->SetColor(c.bg[i]);
    }
    LogDisplayFontNameLabel->setText(QString::fromStdString(LogFontName));
    LogDisplayFontSizeLabel->setText(QString::number(LogFontSize));
    LogDisplayUpdateSample();
}

void PrefsLogDisplayPage::store() const
{
    TColor *fg[] = {&LogSummaryColorFg, &LogFilesColorFg, &LogSkippingColorFg, &LogWarningsColorFg, &LogErrorsColorFg};
    TColor *bg[] = {&LogSummaryColorBg, &LogFilesColorBg, &LogSkippingColorBg, &LogWarningsColorBg, &LogErrorsColorBg};
    for (int i = 0; i < LogDisplayColours::PairCount; ++i) {
        *fg[i] = m_fg[i]->Color();
        *bg[i] = m_bg[i]->Color();
    }
    LogFontName = LogDisplayFontNameLabel->text().toStdString();
    bool ok = false;
    const int size = LogDisplayFontSizeLabel->text().toInt(&ok);
    if (ok) {
        LogFontSize = size;
    }
}

LogDisplayColours PrefsLogDisplayPage::colours() const
{
    LogDisplayColours c{};
    for (int i = 0; i < LogDisplayColours::PairCount; ++i) {
        c.fg[i] = m_fg[i]->Color();
        c.bg[i] = m_bg[i]->Color();
    }
    return c;
}

QFont PrefsLogDisplayPage::sampleFont() const
{
    // An empty name shows as the desktop's font; OK stores it (Cancel leaves the setting alone).
    if (LogDisplayFontNameLabel->text().isEmpty()) {
        LogDisplayFontNameLabel->setText(
            QString::fromStdString(LogFontName.empty() ? desktopFontFamily() : LogFontName));
    }
    QFont font(LogDisplayFontNameLabel->text());
    const int size = LogDisplayFontSizeLabel->text().toInt();
    if (size > 0) {
        font.setPointSize(size);
    }
    return font;
}

void PrefsLogDisplayPage::LogDisplayUpdateSample()
{
    const LogDisplayColours c = colours();
    const QFont font = sampleFont();
    LogDisplaySampleLogView->setFont(font);
    for (int r = 0; r < 7; ++r) {
        const LogRowColours row = logRowColours(c, kSampleRows[r].kind, LogDisplaySampleLogView->palette());
        for (int col = 0; col < ActivityLogModel::ColumnCount; ++col) {
            QStandardItem *item = m_sample->item(r, col);
            item->setFont(font);
            item->setData(row.bg ? QVariant(QBrush(*row.bg)) : QVariant(), Qt::BackgroundRole);
            item->setData(row.fg ? QVariant(QBrush(*row.fg)) : QVariant(), Qt::ForegroundRole);
        }
    }
}

void PrefsLogDisplayPage::LogDisplayFontButtonClick()
{
    QFontDialog dialog(sampleFont(), this);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QFont chosen = dialog.selectedFont();
    LogDisplayFontNameLabel->setText(chosen.family());
    LogDisplayFontSizeLabel->setText(QString::number(chosen.pointSize()));
    LogDisplayUpdateSample();
}

void PrefsLogDisplayPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    LogDisplayUpdateSample();
}

} // namespace qv
