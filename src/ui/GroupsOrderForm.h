// GroupsOrderForm: the dialog that changes the order of the groups.
#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace qv {

class GroupsOrderForm : public QDialog
{
    Q_OBJECT
public:
    explicit GroupsOrderForm(QWidget *parent = nullptr);

    void setGroups(const QStringList &groups);
    QStringList groups() const;

    QListWidget *groupsListBox() const { return m_list; }
    QPushButton *moveUpButton() const { return m_up; }
    QPushButton *moveDownButton() const { return m_down; }

    // Exchanges the selected line with its neighbour (-1 up, +1 down); the selection follows it.
    void moveSelected(int direction);

private:
    void updateButtons();

    QListWidget *m_list;
    QPushButton *m_up;
    QPushButton *m_down;
};

// The group order dialog: the names in and out; true on OK.
bool ShowGroupsOrder(QWidget *parent, QStringList &groups);

} // namespace qv
