// The task list's model and sort.
#include "ui/TaskListModel.h"

#include <QMimeData>

namespace qv {

QStringList TaskItemModel::mimeTypes() const
{
    return {QString::fromLatin1(kTaskMimeType)};
}

QMimeData *TaskItemModel::mimeData(const QModelIndexList &indexes) const
{
    if (indexes.isEmpty()) {
        return nullptr;
    }
    auto *mime = new QMimeData;
    mime->setData(QString::fromLatin1(kTaskMimeType), index(indexes.first().row(), 0).data(kTaskIdRole).toByteArray());
    return mime;
}

void TaskListProxy::setOrder(int column, bool ascending)
{
    m_column = column < 0 || column > 5 ? 0 : column;
    m_ascending = ascending;
    invalidate();
    // The comparison already honours the direction; the view always sorts "ascending".
    sort(0, Qt::AscendingOrder);
}

TaskRowKey TaskListProxy::rowKey(int row) const
{
    TaskRowKey key;
    const QAbstractItemModel *src = sourceModel();
    for (int c = 0; c < 6; ++c) {
        key.texts[c] = src->index(row, c).data(Qt::DisplayRole).toString().toStdString();
    }
    const QVariantList dates = src->index(row, 0).data(kTaskSortKeyRole).toList();
    if (dates.size() == 2) {
        key.lastRun = dates[0].toDouble();
        if (dates[1].isValid()) {
            key.nextRun = dates[1].toDouble();
        }
    }
    return key;
}

bool TaskListProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    int c = compareTaskRows(rowKey(left.row()), rowKey(right.row()), m_column);
    return m_ascending ? c < 0 : c > 0;
}

} // namespace qv
