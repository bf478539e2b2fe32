// GroupPropForm: the group name dialog.
#pragma once

#include <QDialog>

class QLineEdit;

namespace qv {

class GroupPropForm : public QDialog
{
    Q_OBJECT
public:
    explicit GroupPropForm(QWidget *parent = nullptr);

    QLineEdit *nameEdit() const { return m_name; }

    // OK with a blank name shows an error and keeps the dialog open.
    void accept() override;

private:
    QLineEdit *m_name;
};

// The group name dialog: `name` in and out (as typed, not trimmed); true on OK.
bool ShowGroupProperties(QWidget *parent, QString &name);

} // namespace qv
