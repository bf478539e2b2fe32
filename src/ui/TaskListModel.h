// The task list's model: one row per listed task, six columns, sorted by the window's rules, and
// dragged onto the group tree by task ID.
#pragma once

#include "ui/MainFormRules.h"

#include <QSortFilterProxyModel>
#include <QStandardItemModel>

namespace qv {

inline constexpr int kTaskIdRole = Qt::UserRole + 1;
inline constexpr int kTaskSortKeyRole = Qt::UserRole + 2; // the row's dates: "lastRun;nextRun"
inline constexpr const char *kTaskMimeType = "application/x-quorvellant-task-id";

class TaskItemModel : public QStandardItemModel
{
    Q_OBJECT
public:
    using QStandardItemModel::QStandardItemModel;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction | Qt::CopyAction; }
};

class TaskListProxy : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setOrder(int column, bool ascending);
    int orderColumn() const { return m_column; }
    bool ascending() const { return m_ascending; }
    // The sort key of a source row.
    TaskRowKey rowKey(int sourceRow) const;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    int m_column = 0;
    bool m_ascending = true;
};

} // namespace qv
