// TMainForm: the widths of the log columns and the limits of the two splitters.
//
// A column width the user sets is kept in its setting at once, so it survives a restart however
// the program ends. The splitters never let the group panel shrink to 3 px or less nor the log
// panel below 10 px, for every drag (a panel dragged away would otherwise vanish into the handle).
#include "ui/MainForm.h"

#include "core/settings/Settings.h"
#include "ui/ActivityLogView.h"
#include "ui/LastColumnFill.h"

#include <QHeaderView>
#include <QSplitter>
#include <QTreeView>

namespace qv {
namespace {

// The setting of a log column: the number, date, time and event columns (1 to 4; column 0 holds
// the event's image and keeps its own width).
std::int32_t *logWidthSetting(int column)
{
    std::int32_t *widths[4] = {&LogViewSizeNum, &LogViewSizeDate, &LogViewSizeTime, &LogViewSizeEvent};
    return column >= 1 && column <= 4 ? widths[column - 1] : nullptr;
}

} // namespace

void TMainForm::applyLogColumnWidths()
{
    m_applyingLayout = true;
    for (int i = 1; i <= 3; ++i) {
        if (*logWidthSetting(i) > 0) {
            m_logView->header()->resizeSection(i, *logWidthSetting(i));
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
