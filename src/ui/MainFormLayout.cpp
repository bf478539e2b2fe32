// TMainForm: the widths of the log columns and the limits of the two splitters.
//
// A column width the user sets is kept in its setting at once, so it survives a restart however
// the program ends. The number, date and time columns are shown at least as wide as their texts in
// the log's font, so a larger font never cuts them; what is stored stays the user's width. The
// splitters never let the group panel shrink to 3 px or less nor the log panel below 10 px, for
// every drag (a panel dragged away would otherwise vanish into the handle).
#include "ui/MainForm.h"

#include "core/settings/Settings.h"
#include "core/text/LocaleText.h"
#include "ui/ActivityLogView.h"
#include "ui/LastColumnFill.h"

#include <QDate>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSplitter>
#include <QTime>
#include <QTreeView>

#include <algorithm>

namespace qv {
namespace {

// The setting of a log column: the number, date, time and event columns (1 to 4; column 0 holds
// the event's image and keeps its own width).
std::int32_t *logWidthSetting(int column)
{
    std::int32_t *widths[4] = {&LogViewSizeNum, &LogViewSizeDate, &LogViewSizeTime, &LogViewSizeEvent};
    return column >= 1 && column <= 4 ? widths[column - 1] : nullptr;
}

// The width the number, date or time column needs for its widest text (wide digits, two-digit
// day and month, an afternoon time) in the log's font, and for its caption in the header's.
int fittingLogColumnWidth(const ActivityLogView *view, int column)
{
    QString sample;
    switch (column) {
    case ActivityLogModel::ColNumber:
        sample = QStringLiteral("0000");
        break;
    case ActivityLogModel::ColDate:
        sample = QString::fromStdString(shortDateText(QDate(2000, 12, 28)));
        break;
    case ActivityLogModel::ColTime:
        sample = QString::fromStdString(longTimeText(QTime(20, 58, 58)));
        break;
    default:
        return 0;
    }
    constexpr int kPadding = 16; // the cell's margins and a little air
    const int text = QFontMetrics(view->logModel()->logFont()).horizontalAdvance(sample);
    const QString caption = view->model()->headerData(column, Qt::Horizontal).toString();
    const int header = QFontMetrics(view->header()->font()).horizontalAdvance(caption);
    return std::max(text, header) + kPadding;
}

} // namespace

void TMainForm::applyLogColumnWidths()
{
    m_applyingLayout = true;
    for (int i = 1; i <= 3; ++i) {
        const int stored = *logWidthSetting(i);
        const int width = std::max(stored, fittingLogColumnWidth(m_logView, i));
        if (stored > 0 || width > m_logView->header()->sectionSize(i)) {
            m_logView->header()->resizeSection(i, width);
        }
    }
    if (LogViewSizeEvent > 0) {
        m_logFill->setWidth(LogViewSizeEvent);
    }
    m_applyingLayout = false;
}

void TMainForm::createLayoutRules()
{
    m_horizontal->setChildrenCollapsible(false);
    m_vertical->setChildrenCollapsible(false);
    m_groupsPanel->setMinimumWidth(4);
    m_logPanel->setMinimumHeight(10);

    // The last columns fill a wide window; their stored widths are what they keep in a narrow one.
    m_logFill = new LastColumnFill(m_logView);
    m_reportFill = new LastColumnFill(m_reportView);
    QHeaderView *log = m_logView->header();
    connect(log, &QHeaderView::sectionResized, this, [this, log](int column, int, int size) {
        // Only what the user set: not the layout being applied, a hidden list's changes, nor the
        // event column following the window's width.
        if (!m_applyingLayout && !m_logFill->fitting() && log->isVisible() && size > 0 &&
            logWidthSetting(column) != nullptr) {
            *logWidthSetting(column) = size;
        }
    });
}

} // namespace qv
