// LastColumnFill: the last column of a list fills the width the other columns leave free.
#include "ui/LastColumnFill.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTreeView>

#include <algorithm>

namespace qv {

LastColumnFill::LastColumnFill(QTreeView *view) : QObject(view), m_view(view)
{
    QHeaderView *header = view->header();
    header->setStretchLastSection(false);
    m_width = header->count() > 0 ? header->sectionSize(header->count() - 1) : 0;
    view->viewport()->installEventFilter(this);
    connect(header, &QHeaderView::sectionResized, this, [this, header](int column, int, int size) {
        if (m_fitting) {
            return;
        }
        if (column == header->count() - 1) {
            m_width = size; // the user's (or the program's) own width: no refit while it is dragged
        } else {
            fit();
        }
    });
}

void LastColumnFill::setWidth(int width)
{
    m_width = width;
    fit();
}

void LastColumnFill::fit()
{
    QHeaderView *header = m_view->header();
    const int last = header->count() - 1;
    if (last < 0 || m_width <= 0) {
        return;
    }
    int others = 0;
    for (int i = 0; i < last; ++i) {
        others += header->isSectionHidden(i) ? 0 : header->sectionSize(i);
    }
    const int wanted = std::max(m_width, m_view->viewport()->width() - others);
    if (header->sectionSize(last) != wanted) {
        m_fitting = true;
        header->resizeSection(last, wanted);
        m_fitting = false;
    }
}

bool LastColumnFill::eventFilter(QObject *watched, QEvent *event)
{
    // The kind first: the viewport's last events come while the list is being destroyed, when
    // the list can no longer be asked for anything.
    if (event->type() == QEvent::Resize && watched == m_view->viewport()) {
        fit();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace qv
