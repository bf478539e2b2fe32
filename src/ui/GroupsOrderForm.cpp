// GroupsOrderForm: the dialog that changes the order of the groups.
#include "ui/GroupsOrderForm.h"

#include "components/TranslateForm.h"
#include "ui/HelpTopics.h"
#include "ui/SmallDialogButtons.h"
#include "ui/SmallDialogRules.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

namespace qv {

GroupsOrderForm::GroupsOrderForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("GroupsOrderForm"));
    setWindowTitle(QStringLiteral("Change order of the groups in list"));
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kTaskGroups));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("GroupsListBox"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_up = new QPushButton(QStringLiteral("Move up"), this);
    m_up->setObjectName(QStringLiteral("MoveUpButton"));
    m_down = new QPushButton(QStringLiteral("Move down"), this);
    m_down->setObjectName(QStringLiteral("MoveDownButton"));
    for (QPushButton *b : {m_up, m_down}) {
        b->setAutoDefault(false);
    }
    auto *side = new QVBoxLayout;
    side->addWidget(m_up);
    side->addWidget(m_down);
    side->addStretch(1);
    auto *row = new QHBoxLayout;
    row->addWidget(m_list, 1);
    row->addLayout(side);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row, 1);
    layout->addWidget(addDialogButtons(this, true, true, true));
    connect(m_list, &QListWidget::currentRowChanged, this, &GroupsOrderForm::updateButtons);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &GroupsOrderForm::updateButtons);
    connect(m_up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveSelected(+1); });
    updateButtons();
    TranslateForm(this);
}

void GroupsOrderForm::setGroups(const QStringList &groups)
{
    m_list->clear();
    m_list->addItems(groups);
    updateButtons();
}

QStringList GroupsOrderForm::groups() const
{
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i) {
        out << m_list->item(i)->text();
    }
    return out;
}

void GroupsOrderForm::moveSelected(int direction)
{
    const int row = m_list->selectedItems().isEmpty() ? -1 : m_list->currentRow();
    const int target = row + direction;
    if (row < 0 || target < 0 || target >= m_list->count()) {
        return;
    }
    QListWidgetItem *item = m_list->takeItem(row);
    m_list->insertItem(target, item);
    m_list->setCurrentRow(target);
    updateButtons();
}

void GroupsOrderForm::updateButtons()
{
    const int row = m_list->selectedItems().isEmpty() ? -1 : m_list->currentRow();
    const GroupsOrderButtons b = groupsOrderButtons(m_list->count(), row);
    m_up->setEnabled(b.moveUp);
    m_down->setEnabled(b.moveDown);
}

bool ShowGroupsOrder(QWidget *parent, QStringList &groups)
{
    GroupsOrderForm form(parent);
    form.setGroups(groups);
    if (form.exec() != QDialog::Accepted) {
        return false;
    }
    groups = form.groups();
    return true;
}

} // namespace qv
