// TaskSourcesPage: the "Source" page of the task properties dialog.
#include "ui/taskprops/TaskSourcesPage.h"
#include "ui/taskprops/LinkLabel.h"

#include "components/FolderField.h"
#include "components/FolderPicker.h"
#include "core/runs/Task.h"
#include "core/text/Language.h"
#include "platform/PathText.h"
#include "ui/taskprops/TaskListRules.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace qv {

namespace {

QString yesText()
{
    return QString::fromStdString(GetLangString("Yes", "strYes"));
}

QString noText()
{
    return QString::fromStdString(GetLangString("No", "strNo"));
}

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

TaskSourcesPage::TaskSourcesPage(QWidget *parent) : TaskPropertiesPage(parent)
{
    setObjectName(QStringLiteral("SourceTabSheet"));
    auto *grid = new QGridLayout(this);
    SourceFolderEdit = new QLineEdit(this);
    SourceFolderEdit->setObjectName(QStringLiteral("SourceFolderEdit"));
    SourceFolderBrowseButton = button(this, "SourceFolderBrowseButton", tr("Browse..."));
    SourceMultiAddButton = button(this, "SourceMultiAddButton", tr("Add"));
    auto *row = new QHBoxLayout;
    row->addWidget(SourceFolderEdit, 1);
    row->addWidget(SourceFolderBrowseButton);
    row->addWidget(SourceMultiAddButton);
    grid->addLayout(row, 0, 0, 1, 2);
    SourceFolderLabelExpandTest = new QLabel(this);
    SourceFolderLabelExpandTest->setObjectName(QStringLiteral("SourceFolderLabelExpandTest"));
    grid->addWidget(SourceFolderLabelExpandTest, 1, 0, 1, 2);
    SourceIncSubfoldersCheckBox = new QCheckBox(tr("Include Sub Folders"), this);
    SourceIncSubfoldersCheckBox->setObjectName(QStringLiteral("SourceIncSubfoldersCheckBox"));
    grid->addWidget(SourceIncSubfoldersCheckBox, 2, 0);
    SourceMultiSwitchLabel = new LinkLabel(tr("Multiple Source Folders"), LinkLabel::Weight::Normal, this);
    SourceMultiSwitchLabel->setObjectName(QStringLiteral("SourceMultiSwitchLabel"));
    grid->addWidget(SourceMultiSwitchLabel, 2, 1, Qt::AlignRight);

    SourceMultiFoldersList = new QTreeWidget(this);
    SourceMultiFoldersList->setObjectName(QStringLiteral("SourceMultiFoldersList"));
    SourceMultiFoldersList->setColumnCount(2);
    SourceMultiFoldersList->setHeaderLabels({tr("Source Folder(s)"), tr("Inc. Sub Folders")});
    SourceMultiFoldersList->setRootIsDecorated(false);
    SourceMultiFoldersList->setSelectionMode(QAbstractItemView::SingleSelection);
    SourceMultiFoldersList->setColumnWidth(0, 330);
    SourceMultiFoldersList->setColumnWidth(1, 90);
    grid->addWidget(SourceMultiFoldersList, 3, 0, 3, 1);
    SourceMultiEditButton = button(this, "SourceMultiEditButton", tr("Edit"));
    SourceMultiRemoveButton = button(this, "SourceMultiRemoveButton", tr("Remove"));
    grid->addWidget(SourceMultiEditButton, 3, 1);
    grid->addWidget(SourceMultiRemoveButton, 4, 1);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(0, 1);

    connect(SourceMultiSwitchLabel, &LinkLabel::clicked, this, [this] { switchMode(); });
    connect(SourceMultiAddButton, &QPushButton::clicked, this, &TaskSourcesPage::addRow);
    connect(SourceMultiEditButton, &QPushButton::clicked, this, &TaskSourcesPage::editRow);
    connect(SourceMultiRemoveButton, &QPushButton::clicked, this, &TaskSourcesPage::removeRow);
    connect(SourceMultiFoldersList, &QTreeWidget::itemSelectionChanged, this, &TaskSourcesPage::updateSourceButtons);
    connect(SourceFolderEdit, &QLineEdit::textChanged, this, [this] {
        SourceMultiAddButton->setEnabled(!SourceFolderEdit->text().isEmpty());
        updateExpandTest();
    });
    acceptFolderUris(SourceFolderEdit);
    connect(SourceFolderBrowseButton, &QPushButton::clicked, this, [this] {
        if (auto chosen = FolderPicker::instance().pickFolder(this, SourceFolderEdit->text())) {
            SourceFolderEdit->setText(*chosen);
        }
    });

    m_synchronizeChosen = [this] {
        auto *radio = window()->findChild<QRadioButton *>(QStringLiteral("BackupTypeSynchronizeRadioButton"));
        return radio != nullptr && radio->isChecked();
    };
    setMultiMode(false);
}

void TaskSourcesPage::load(const TaskSettings &s)
{
    SourceMultiFoldersList->clear();
    SourceFolderEdit->clear();
    SourceIncSubfoldersCheckBox->setChecked(s.SourceIncludeSubfolders);
    const std::vector<SourceFolderItem> items = decodeSourceList(s.Source, s.SourceIncludeSubfolders);
    if (!s.Source.empty() && s.Source[0] == '!' && items.size() >= 2) {
        for (const SourceFolderItem &item : items) {
            appendRow(item.folder, item.includeSubfolders);
        }
        setMultiMode(true);
    } else {
        // A one-folder list opens as the single folder with that folder's own flag.
        if (!items.empty()) {
            SourceFolderEdit->setText(QString::fromStdString(items.front().folder));
            SourceIncSubfoldersCheckBox->setChecked(items.front().includeSubfolders);
        }
        setMultiMode(false);
    }
    updateSourceButtons();
}

void TaskSourcesPage::store(TaskSettings &s) const
{
    const std::vector<SourceFolderItem> items = rows();
    s.Source = items.empty() ? SourceFolderEdit->text().toStdString() : encodeSourceList(items);
    s.SourceIncludeSubfolders = SourceIncSubfoldersCheckBox->isChecked();
}

std::vector<SourceFolderItem> TaskSourcesPage::rows() const
{
    std::vector<SourceFolderItem> items;
    for (int i = 0; i < SourceMultiFoldersList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = SourceMultiFoldersList->topLevelItem(i);
        items.push_back({row->text(0).toStdString(), row->data(1, Qt::UserRole).toBool()});
    }
    return items;
}

void TaskSourcesPage::appendRow(const std::string &folder, bool includeSubfolders)
{
    auto *row = new QTreeWidgetItem(SourceMultiFoldersList);
    row->setText(0, QString::fromStdString(folder));
    row->setText(1, includeSubfolders ? yesText() : noText());
    row->setData(1, Qt::UserRole, includeSubfolders);
}

int TaskSourcesPage::selectedRow() const
{
    const QList<QTreeWidgetItem *> items = SourceMultiFoldersList->selectedItems();
    return items.isEmpty() ? -1 : SourceMultiFoldersList->indexOfTopLevelItem(items.first());
}

void TaskSourcesPage::selectRow(int row)
{
    SourceMultiFoldersList->clearSelection();
    if (QTreeWidgetItem *item = row >= 0 ? SourceMultiFoldersList->topLevelItem(row) : nullptr) {
        SourceMultiFoldersList->setCurrentItem(item);
        item->setSelected(true);
    }
    updateSourceButtons();
}

void TaskSourcesPage::setMultiMode(bool multi)
{
    m_multi = multi;
    SourceMultiFoldersList->setVisible(multi);
    SourceMultiAddButton->setVisible(multi);
    SourceMultiEditButton->setVisible(multi);
    SourceMultiRemoveButton->setVisible(multi);
    setSynchronizeEnabled(!multi);
}

bool TaskSourcesPage::synchronizeChosen() const
{
    return m_synchronizeChosen && m_synchronizeChosen();
}

// The dialog's Synchronize choice and its label follow the mode (when the dialog has them).
void TaskSourcesPage::setSynchronizeEnabled(bool enabled)
{
    for (const char *name : {"BackupTypeSynchronizeRadioButton", "BackupTypeSynchronizeLabel"}) {
        if (auto *w = window()->findChild<QWidget *>(QString::fromLatin1(name))) {
            w->setEnabled(enabled);
        }
    }
    emit stateChanged();
}

void TaskSourcesPage::switchMode()
{
    if (!m_multi) {
        if (synchronizeChosen()) {
            return;
        }
        setMultiMode(true);
        if (!SourceFolderEdit->text().isEmpty()) {
            appendRow(SourceFolderEdit->text().toStdString(), SourceIncSubfoldersCheckBox->isChecked());
            SourceFolderEdit->clear();
        }
        SourceFolderEdit->setFocus();
    } else {
        if (SourceMultiFoldersList->topLevelItemCount() >= 2) {
            return;
        }
        if (SourceMultiFoldersList->topLevelItemCount() == 1) {
            QTreeWidgetItem *only = SourceMultiFoldersList->topLevelItem(0);
            SourceFolderEdit->setText(only->text(0));
            SourceIncSubfoldersCheckBox->setChecked(only->data(1, Qt::UserRole).toBool());
            delete only;
        }
        setMultiMode(false);
        SourceFolderEdit->setFocus();
    }
    updateSourceButtons();
}

void TaskSourcesPage::addRow()
{
    if (SourceFolderEdit->text().isEmpty()) {
        return;
    }
    appendRow(SourceFolderEdit->text().toStdString(), SourceIncSubfoldersCheckBox->isChecked());
    SourceFolderEdit->clear();
    SourceFolderEdit->setFocus();
    updateSourceButtons();
}

void TaskSourcesPage::editRow()
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    QTreeWidgetItem *item = SourceMultiFoldersList->topLevelItem(row);
    SourceFolderEdit->setText(item->text(0));
    SourceIncSubfoldersCheckBox->setChecked(item->data(1, Qt::UserRole).toBool());
    delete item;
    SourceFolderEdit->setFocus();
    updateSourceButtons();
}

void TaskSourcesPage::removeRow()
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    delete SourceMultiFoldersList->topLevelItem(row);
    const int remaining = SourceMultiFoldersList->topLevelItemCount();
    selectRow(selectionAfterSourceRemove(row, remaining));
    SourceMultiFoldersList->setFocus();
}

void TaskSourcesPage::updateSourceButtons()
{
    const bool any = selectedRow() >= 0;
    SourceMultiEditButton->setEnabled(any);
    SourceMultiRemoveButton->setEnabled(any);
    SourceMultiSwitchLabel->setEnabled(!synchronizeChosen() && SourceMultiFoldersList->topLevelItemCount() < 2);
    SourceMultiAddButton->setEnabled(!SourceFolderEdit->text().isEmpty());
}

// The folder as a run would see it, shown when it differs from what was typed.
void TaskSourcesPage::updateExpandTest()
{
    const std::string typed = SourceFolderEdit->text().toStdString();
    std::string expanded;
    if (context() != nullptr && !typed.empty()) {
        expanded = withSlash(context()->expand(typed));
    }
    SourceFolderLabelExpandTest->setText(expanded.empty() || expanded == typed ? QString()
                                                                                : QString::fromStdString(expanded));
}

} // namespace qv
