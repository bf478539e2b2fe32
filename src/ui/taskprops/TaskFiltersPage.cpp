// TaskFiltersPage: the "File Filters" page of the task properties dialog.
#include "ui/taskprops/TaskFiltersPage.h"

#include "components/LangText.h"
#include "components/MessageBox.h"
#include "core/runs/Task.h"
#include "core/text/Language.h"
#include "ui/FileDialogs.h"
#include "ui/FilterForm.h"
#include "ui/taskprops/TaskListRules.h"

#include <QAction>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QPushButton>
#include <QTreeWidget>

#include <unistd.h>

namespace qv {

namespace {

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QIcon filterIcon(TFilterType type)
{
    // Image 0 of the list for an include filter, image 1 for an exclude filter.
    QIcon icon;
    const QString name = type == fitExclude ? QStringLiteral("ICON_FilesFilterImageList_1.png")
                                            : QStringLiteral("ICON_FilesFilterImageList_0.png");
    icon.addFile(QStringLiteral(":/icons/16/") + name, QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/32/") + name, QSize(32, 32));
    return icon;
}

// The red arrow the page's text points the user to, up or down, in the sizes a button may ask for.
QIcon redArrowIcon(bool up)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(120, 0, 0), size / 16.0));
        painter.setBrush(QColor(220, 30, 30));
        const qreal m = size * 0.15;
        const qreal top = up ? m : size - m;
        const qreal bottom = up ? size - m : m;
        painter.drawPolygon(
            QPolygonF({QPointF(size / 2.0, top), QPointF(size - m, bottom), QPointF(m, bottom)}));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A folder the report may be written into: it exists and this user may create files in it.
bool writableFolder(const QString &file)
{
    const QFileInfo folder(QFileInfo(file).absolutePath());
    return folder.isDir() && ::access(folder.absoluteFilePath().toLocal8Bit().constData(), W_OK | X_OK) == 0;
}

} // namespace

TaskFiltersPage::TaskFiltersPage(QWidget *parent) : TaskPropertiesPage(parent)
{
    setObjectName(QStringLiteral("FileFilterTabSheet"));
    auto *grid = new QGridLayout(this);
    FilesFilterLabel = new QLabel(tr("Use red arrows on the right of the list to change Filter item priority. Upper "
                                     "items have more priority than items on the bottom. Press F1 button for more "
                                     "information."),
                                  this);
    FilesFilterLabel->setObjectName(QStringLiteral("FilesFilterLabel"));
    FilesFilterLabel->setWordWrap(true);
    grid->addWidget(FilesFilterLabel, 0, 0, 1, 3);

    FilesFilterListView = new QTreeWidget(this);
    FilesFilterListView->setObjectName(QStringLiteral("FilesFilterListView"));
    FilesFilterListView->setColumnCount(1);
    FilesFilterListView->setHeaderLabels({tr("Filters List:")});
    FilesFilterListView->setRootIsDecorated(false);
    FilesFilterListView->setUniformRowHeights(true);
    FilesFilterListView->setSelectionMode(QAbstractItemView::SingleSelection);
    FilesFilterListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FilesFilterListView->setContextMenuPolicy(Qt::CustomContextMenu);
    FilesFilterListView->setMinimumWidth(440);
    grid->addWidget(FilesFilterListView, 1, 0, 6, 1);

    FilesFilterAddButton = button(this, "FilesFilterAddButton", tr("Add..."));
    FilesFilterModifyButton = button(this, "FilesFilterModifyButton", tr("Modify..."));
    FilesFilterRemoveButton = button(this, "FilesFilterRemoveButton", tr("Remove..."));
    FilesFilterMoveUpButton = button(this, "FilesFilterMoveUpButton", QString());
    FilesFilterMoveUpButton->setIcon(redArrowIcon(true));
    FilesFilterMoveUpButton->setToolTip(tr("Move Up"));
    FilesFilterMoveDownButton = button(this, "FilesFilterMoveDownButton", QString());
    FilesFilterMoveDownButton->setIcon(redArrowIcon(false));
    FilesFilterMoveDownButton->setToolTip(tr("Move Down"));
    FilesFilterTestButton = button(this, "FilesFilterTestButton", tr("Test Current Filters..."));
    grid->addWidget(FilesFilterAddButton, 1, 1);
    grid->addWidget(FilesFilterModifyButton, 2, 1);
    grid->addWidget(FilesFilterRemoveButton, 3, 1);
    grid->addWidget(FilesFilterMoveUpButton, 1, 2);
    grid->addWidget(FilesFilterMoveDownButton, 2, 2);
    grid->setRowStretch(5, 1);
    grid->addWidget(FilesFilterTestButton, 7, 0, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(0, 1);

    FilesFilterPopupMenu = new QMenu(this);
    FilesFilterPopupMenu->setObjectName(QStringLiteral("FilesFilterPopupMenu"));
    QAction *menuAdd = FilesFilterPopupMenu->addAction(tr("Add.."));
    menuAdd->setObjectName(QStringLiteral("FilesFilterPopupAdd"));
    m_menuModify = FilesFilterPopupMenu->addAction(tr("Modify..."));
    m_menuModify->setObjectName(QStringLiteral("FilesFilterPopupModify"));
    m_menuRemove = FilesFilterPopupMenu->addAction(tr("Remove..."));
    m_menuRemove->setObjectName(QStringLiteral("FilesFilterPopupRemove"));
    FilesFilterPopupMenu->addSeparator();
    m_menuUp = FilesFilterPopupMenu->addAction(tr("Move Up"));
    m_menuUp->setObjectName(QStringLiteral("FilesFilterPopupMoveUp"));
    m_menuDown = FilesFilterPopupMenu->addAction(tr("Move Down"));
    m_menuDown->setObjectName(QStringLiteral("FilesFilterPopupMoveDown"));

    connect(FilesFilterAddButton, &QPushButton::clicked, this, &TaskFiltersPage::addFilter);
    connect(FilesFilterModifyButton, &QPushButton::clicked, this, &TaskFiltersPage::modifyFilter);
    connect(FilesFilterRemoveButton, &QPushButton::clicked, this, &TaskFiltersPage::removeFilter);
    connect(FilesFilterMoveUpButton, &QPushButton::clicked, this, [this] { moveFilter(-1); });
    connect(FilesFilterMoveDownButton, &QPushButton::clicked, this, [this] { moveFilter(+1); });
    connect(FilesFilterTestButton, &QPushButton::clicked, this, &TaskFiltersPage::testFilters);
    connect(menuAdd, &QAction::triggered, this, &TaskFiltersPage::addFilter);
    connect(m_menuModify, &QAction::triggered, this, &TaskFiltersPage::modifyFilter);
    connect(m_menuRemove, &QAction::triggered, this, &TaskFiltersPage::removeFilter);
    connect(m_menuUp, &QAction::triggered, this, [this] { moveFilter(-1); });
    connect(m_menuDown, &QAction::triggered, this, [this] { moveFilter(+1); });
    connect(FilesFilterListView, &QTreeWidget::itemSelectionChanged, this, &TaskFiltersPage::updateButtons);
    connect(FilesFilterListView, &QTreeWidget::itemDoubleClicked, this, [this] { modifyFilter(); });
    connect(FilesFilterListView, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item) {
        rowToggled(FilesFilterListView->indexOfTopLevelItem(item), item->checkState(0) == Qt::Checked);
    });
    connect(FilesFilterListView, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        updateButtons();
        FilesFilterPopupMenu->popup(FilesFilterListView->viewport()->mapToGlobal(pos));
    });

    m_editFilter = [this](TTaskFilterItem &item) {
        TTask scratch; // the filter dialog needs no task of its own; the stored one stays untouched
        TTask *task = context() != nullptr && context()->task() != nullptr ? context()->task() : &scratch;
        return EditFilter(*task, item);
    };
    updateButtons();
}

void TaskFiltersPage::load(const TaskSettings &s)
{
    m_filters = s.Filters;
    updateFiltersListView();
    selectRow(-1);
}

void TaskFiltersPage::store(TaskSettings &s) const
{
    s.Filters = m_filters;
}

void TaskFiltersPage::changed()
{
    if (context() != nullptr) {
        context()->draft().Filters = m_filters;
    }
    emit stateChanged();
}

int TaskFiltersPage::selectedRow() const
{
    const QList<QTreeWidgetItem *> items = FilesFilterListView->selectedItems();
    return items.isEmpty() ? -1 : FilesFilterListView->indexOfTopLevelItem(items.first());
}

void TaskFiltersPage::selectRow(int row)
{
    FilesFilterListView->clearSelection();
    if (QTreeWidgetItem *item = row >= 0 ? FilesFilterListView->topLevelItem(row) : nullptr) {
        FilesFilterListView->setCurrentItem(item);
        item->setSelected(true);
    }
    updateButtons();
}

void TaskFiltersPage::updateFiltersListView()
{
    const int selected = selectedRow();
    m_filling = true;
    FilesFilterListView->setUpdatesEnabled(false);
    FilesFilterListView->clear();
    for (const TTaskFilterItem &f : m_filters.Items) {
        auto *item = new QTreeWidgetItem(FilesFilterListView);
        item->setText(0, QString::fromStdString(f.GetStrCaption()));
        item->setIcon(0, filterIcon(f.FilterType));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, f.Enabled ? Qt::Checked : Qt::Unchecked);
    }
    FilesFilterListView->setUpdatesEnabled(true);
    m_filling = false;
    selectRow(selected < m_filters.Count() ? selected : -1);
}

void TaskFiltersPage::updateButtons()
{
    const ListButtons b = filterListButtons(selectedRow(), m_filters.Count());
    FilesFilterModifyButton->setEnabled(b.modify);
    FilesFilterRemoveButton->setEnabled(b.remove);
    FilesFilterMoveUpButton->setEnabled(b.moveUp);
    FilesFilterMoveDownButton->setEnabled(b.moveDown);
    m_menuModify->setEnabled(b.modify);
    m_menuRemove->setEnabled(b.remove);
    m_menuUp->setEnabled(b.moveUp);
    m_menuDown->setEnabled(b.moveDown);
}

// A check box takes effect when it is toggled, by mouse or by keyboard.
void TaskFiltersPage::rowToggled(int row, bool checked)
{
    if (m_filling || row < 0 || row >= m_filters.Count() || m_filters[row].Enabled == checked) {
        return;
    }
    m_filters[row].Enabled = checked;
    changed();
}

void TaskFiltersPage::addFilter()
{
    TTaskFilterItem item;
    if (!m_editFilter(item)) {
        return;
    }
    m_filters.Items.insert(m_filters.Items.begin(), std::move(item));
    updateFiltersListView();
    selectRow(0);
    changed();
}

void TaskFiltersPage::modifyFilter()
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    TTaskFilterItem item = m_filters[row];
    if (!m_editFilter(item)) {
        return;
    }
    m_filters[row] = std::move(item);
    updateFiltersListView();
    changed();
}

void TaskFiltersPage::removeFilter()
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    const std::string text = formatLangString("Remove this filter (%s) from the list?",
                                              "strProgectPropFilterRemoveConfirm", {m_filters[row].GetStrCaption()});
    if (!AskQuestion(this, QString::fromStdString(text))) {
        return;
    }
    m_filters.Items.erase(m_filters.Items.begin() + row);
    updateFiltersListView();
    selectRow(selectionAfterFilterRemove(row));
    changed();
}

void TaskFiltersPage::moveFilter(int delta)
{
    const int row = selectedRow();
    const int target = rowAfterMove(row, delta, m_filters.Count());
    if (target < 0) {
        return;
    }
    std::swap(m_filters[row], m_filters[target]);
    updateFiltersListView();
    selectRow(target);
    FilesFilterListView->setFocus();
    changed();
}

// The destination as the dialog shows it now: the local folder field when the dialog has one.
std::string TaskFiltersPage::currentDestLocal() const
{
    if (auto *edit = window()->findChild<QLineEdit *>(QStringLiteral("DestLocalFolderEdit"))) {
        return edit->text().toStdString();
    }
    return context() != nullptr ? context()->draft().DestLocal : std::string();
}

// Asks for the report file until the user picks a folder that can take it, or cancels.
QString TaskFiltersPage::reportPath(const std::string &taskName)
{
    FileDialogRequest request;
    request.caption = langText("Save Files Filter Test Output", "strProgectPropFilterTestSave");
    request.folder = defaultDialogFolder();
    request.fileName = QString::fromStdString(taskName) + tr(" files list (filter test).txt");
    request.filters = {tr("Text files (*.txt)"), tr("Any files (*)")};
    request.defaultSuffix = QStringLiteral("txt");
    for (;;) {
        const QString chosen = fileDialogs().saveFileName(this, request);
        if (chosen.isEmpty() || writableFolder(chosen)) {
            return chosen;
        }
        ShowError(this, QString::fromStdString(formatLangString(
                            "The folder of %s does not exist or cannot be written to. Please choose another one.",
                            "strFilterTestFolderNotWritable", {chosen.toStdString()})));
        request.folder = QFileInfo(chosen).absolutePath();
        request.fileName = QFileInfo(chosen).fileName();
    }
}

void TaskFiltersPage::testFilters()
{
    TTask *task = context() != nullptr ? context()->task() : nullptr;
    if (task == nullptr) {
        return;
    }
    const QString path = reportPath(context()->draft().Name);
    if (path.isEmpty()) {
        return;
    }
    if (!task->RunTest(path.toStdString(), FilterTestDraft{m_filters, currentDestLocal()})) {
        ShowInformation(this, QString::fromStdString(GetLangString(
                                  "A filter test of this task is still running.", "strFilterTestRunning")));
    }
}

} // namespace qv
