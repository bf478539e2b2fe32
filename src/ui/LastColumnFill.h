// LastColumnFill: the last column of a list fills the width the other columns leave free.
//
// The column's own width (the one the user set, and the one stored) is the least it takes: in a
// wide or maximised window it grows to the right edge, so its texts are not cut while space is
// left; in a narrow one it keeps its width and the list scrolls. Resizes it makes itself are marked
// (fitting()), so that they are not taken for the user's.
#pragma once

#include <QObject>

class QTreeView;

namespace qv {

class LastColumnFill : public QObject
{
    Q_OBJECT
public:
    explicit LastColumnFill(QTreeView *view);

    // The user's width of the last column; fits at once.
    void setWidth(int width);
    int width() const { return m_width; }
    bool fitting() const { return m_fitting; }
    void fit();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTreeView *m_view;
    int m_width = 0;
    bool m_fitting = false;
};

} // namespace qv
