// TMainForm: the group tree, the task list, the status bar and CheckState.
//
// The current task is the one selected in the list: every change of either view's selection (a
// click, a key, the program's own) makes the other view select it too and runs CheckState, which
// takes the current task, the commands' states and the log from it. The commands act on the
// current task, so on the task selected when they are invoked.
#include "ui/MainForm.h"

#include "ui/ActivityLogView.h"

#include "components/LangText.h"
#include "components/AlphaImageList.h"
#include "components/MessageBox.h"
#include "components/TrayIcon.h"
#include "core/runs/BackupData.h"
#include "core/text/Language.h"
#include "core/text/LocaleText.h"
#include "core/schedule/ScheduleNextRun.h"
#include "core/settings/Settings.h"
#include "platform/gui/ForegroundWindow.h"
#include "ui/TaskListModel.h"
#include "ui/TipsPanel.h"

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace qv {
namespace {

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

std::string sourceText(const TTask &task)
{
    std::string text;
    for (const SourceFolderItem &item : decodeSourceList(task.Source)) {
        text += (text.empty() ? "" : ", ") + item.folder;
    }
    return text;
}

// The earliest next run of the task's timed entries, if any.
std::optional<double> earliestNextRun(const TTask &task)
{
    std::optional<double> best;
    const TDateTime now = Now();
    for (const TTaskScheduleItem &item : task.Schedules.Items) {
        if (countsForNextRun(item, task.LastRun, now)) {
            double next = item.GetNextRun(task);
            if (next < kNeverRun && (!best || next < *best)) {
                best = next;
            }
        }
    }
    return best;
}

const int kColumnWidthDefaults[6] = {130, 90, 120, 120, 250, 250};

} // namespace

QString TMainForm::selectedGroupText() const
{
    QTreeWidgetItem *node = m_groupsTree->currentItem();
    if (node == nullptr || !node->isSelected()) {
        return {};
    }
    return node->text(0);
}

bool TMainForm::rootSelected() const
{
    QTreeWidgetItem *node = m_groupsTree->currentItem();
    return node != nullptr && node->isSelected() && node->parent() == nullptr;
}

void TMainForm::UpdateTreeView()
{
    if (m_data == nullptr) {
        return;
    }
    const QString allTasks = qs(TBackupData::AllTasksGroupName());
    QString keep = !CurrentGroup.empty() ? qs(CurrentGroup) : allTasks;
    // The root is kept as the root: its caption may have changed with the language.
    if (CurrentGroup.empty() && m_groupsTree->currentItem() != nullptr &&
        m_groupsTree->currentItem()->parent() != nullptr) {
        keep = m_groupsTree->currentItem()->text(0);
    }
    const QSignalBlocker block(m_groupsTree);
    m_groupsTree->clear();
    auto *root = new QTreeWidgetItem(m_groupsTree, {allTasks});
    root->setIcon(0, m_groupsImages->icon(0));
    for (const std::string &group : m_data->Groups) {
        auto *node = new QTreeWidgetItem(root, {qs(group)});
        node->setIcon(0, m_groupsImages->icon(2));
    }
    m_groupsTree->expandAll();
    const auto found = m_groupsTree->findItems(keep, Qt::MatchExactly | Qt::MatchRecursive);
    if (!found.isEmpty()) {
        m_groupsTree->setCurrentItem(found.first());
        found.first()->setSelected(true);
    }
    for (QTreeWidgetItemIterator it(m_groupsTree); *it; ++it) {
        const bool isRoot = (*it)->parent() == nullptr;
        (*it)->setIcon(0, m_groupsImages->icon((isRoot ? 0 : 2) + ((*it)->isSelected() ? 1 : 0)));
    }
    CurrentGroup.clear();
}

void TMainForm::UpdateListView()
{
    if (m_data == nullptr) {
        return;
    }
    // The row selected stays selected: its ID is read from the row, so a task freed since is never
    // touched.
    std::string keep = CurrentProject;
    if (keep.empty()) {
        keep = selectedTaskId();
    }
    const QString group = selectedGroupText();
    const bool filter = !group.isEmpty() && !rootSelected();
    // The selection changes below are one change: the current task follows once, at the end.
    m_rebuildingList = true;
    // Only the rows are rebuilt: the column captions (perhaps translated) stay.
    m_model->removeRows(0, m_model->rowCount());
    const QIcon taskIcon = [this] {
        QIcon icon = m_tasksSmall->icon(0);
        icon.addPixmap(QPixmap::fromImage(m_tasksLarge->image(0)));
        return icon;
    }();
    for (int i = 0; i < m_data->Tasks.Count(); ++i) {
        TTask &task = *m_data->Tasks[i];
        if (filter && qs(task.BelongToGroup) != group) {
            continue;
        }
        QList<QStandardItem *> row;
        for (const std::string &text : {task.Name, task.GetStrTaskType(), task.GetStrLastRun(), task.GetStrNextRun(),
                                        sourceText(task), task.DestLocal}) {
            auto *item = new QStandardItem(qs(text));
            item->setEditable(false);
            row.append(item);
        }
        row[0]->setIcon(taskIcon);
        row[0]->setData(qs(task.ID), kTaskIdRole);
        const auto next = earliestNextRun(task);
        row[0]->setData(QVariantList{task.LastRun, next ? QVariant(*next) : QVariant()}, kTaskSortKeyRole);
        row[0]->setDragEnabled(true);
        m_model->appendRow(row);
    }
    m_proxy->setOrder(checkedSortColumn(), SortOrderAZ);
    m_reportView->header()->setSortIndicator(checkedSortColumn(), SortOrderAZ ? Qt::AscendingOrder
                                                                             : Qt::DescendingOrder);
    m_rebuildingList = false;
    CurrentProject.clear();
    if (keep.empty() || !selectTask(keep)) {
        CheckState();
    }
}

std::string TMainForm::selectedTaskId() const
{
    const QAbstractItemView *view = m_taskViews->currentWidget() == m_reportView
                                        ? static_cast<QAbstractItemView *>(m_reportView)
                                        : static_cast<QAbstractItemView *>(m_iconView);
    const QModelIndexList sel = view->selectionModel()->selectedRows(0);
    return sel.isEmpty() ? std::string() : sel.first().data(kTaskIdRole).toString().toStdString();
}

void TMainForm::taskSelectionChanged(QAbstractItemView *from)
{
    if (m_rebuildingList || m_mirroringSelection) {
        return;
    }
    m_mirroringSelection = true;
    QAbstractItemView *other = from == m_reportView ? static_cast<QAbstractItemView *>(m_iconView)
                                                    : static_cast<QAbstractItemView *>(m_reportView);
    const QModelIndexList sel = from->selectionModel()->selectedRows(0);
    if (sel.isEmpty()) {
        other->selectionModel()->clearSelection();
    } else {
        other->selectionModel()->setCurrentIndex(sel.first(), QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
    }
    m_mirroringSelection = false;
    CheckState();
}

bool TMainForm::selectTask(const std::string &id)
{
    for (int r = 0; r < m_proxy->rowCount(); ++r) {
        QModelIndex idx = m_proxy->index(r, 0);
        if (idx.data(kTaskIdRole).toString().toStdString() == id) {
            for (QAbstractItemView *v : std::initializer_list<QAbstractItemView *>{m_iconView, m_reportView}) {
                v->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
            }
            CheckState();
            return true;
        }
    }
    return false;
}

bool TMainForm::selectGroup(const std::string &name)
{
    const auto found = m_groupsTree->findItems(qs(name), Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) {
        return false;
    }
    m_groupsTree->setCurrentItem(found.first());
    return true;
}

void TMainForm::dropTaskOnGroup(const std::string &taskId, QTreeWidgetItem *node)
{
    TTask *task = m_data ? m_data->FindTaskByID(taskId) : nullptr;
    if (task == nullptr || node == nullptr) {
        return;
    }
    task->BelongToGroup = node->parent() == nullptr ? std::string() : node->text(0).toStdString();
    UpdateListView();
    CheckState();
    SaveAllSettings(); // task data changed: stored at once, as by every command
}

int TMainForm::viewStyle() const
{
    if (m_taskViews->currentWidget() == m_reportView) {
        return 3;
    }
    if (m_iconView->viewMode() == QListView::IconMode) {
        return 0;
    }
    return m_iconView->flow() == QListView::LeftToRight ? 1 : 2;
}

void TMainForm::setViewStyle(int style)
{
    style = style < 0 || style > 3 ? 3 : style;
    ViewStyle = static_cast<std::uint8_t>(style);
    if (style == 3) {
        m_taskViews->setCurrentWidget(m_reportView);
    } else {
        m_taskViews->setCurrentWidget(m_iconView);
        m_iconView->setViewMode(style == 0 ? QListView::IconMode : QListView::ListMode);
        m_iconView->setIconSize(style == 0 ? QSize(32, 32) : QSize(16, 16));
        m_iconView->setFlow(style == 2 ? QListView::TopToBottom : QListView::LeftToRight);
        m_iconView->setWrapping(true);
        m_iconView->setResizeMode(QListView::Adjust);
        m_iconView->setGridSize(style == 0 ? QSize(110, 72) : QSize());
        m_iconView->setWordWrap(style == 0);
        m_iconView->setMovement(QListView::Static);
    }
    action(std::array{"actViewLargeIcons", "actViewSmallIcons", "actViewList", "actViewReport"}[style])
        ->setChecked(true);
}

void TMainForm::columnClicked(int column)
{
    SortState next = clickColumn({checkedSortColumn(), SortOrderAZ}, column);
    SortColumn = next.column;
    SortOrderAZ = next.ascending;
    m_proxy->setOrder(next.column, next.ascending);
    m_reportView->header()->setSortIndicator(next.column, next.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    CheckState();
}

void TMainForm::moveLastRun(int days)
{
    if (m_currentTask == nullptr) {
        return;
    }
    m_currentTask->LastRun += days;
    UpdateListView();
    SaveAllSettings();
}

void TMainForm::CheckState()
{
    const std::string selected = selectedTaskId();
    m_currentTask = m_data != nullptr && !selected.empty() ? m_data->FindTaskByID(selected) : nullptr;
    if (m_logView->task() != m_currentTask) {
        refreshLogView();
    }

    MainFormStateInput in;
    in.hasTask = m_currentTask != nullptr;
    if (m_currentTask != nullptr) {
        in.taskRunning = m_currentTask->Running;
        in.taskHasThread = m_currentTask->Thread() != nullptr;
        in.taskSuspended = m_currentTask->GetSuspended();
    }
    const QString group = selectedGroupText();
    in.hasGroup = m_groupsTree->currentItem() != nullptr && m_groupsTree->currentItem()->isSelected();
    in.groupIsRoot = rootSelected();
    if (m_data != nullptr && in.hasGroup) {
        const std::string g = group.toStdString();
        in.groupTaskCount = m_data->GetGroupTaskCount(g);
        in.groupHasIdleTask = m_data->HasIdleTaskInGroup(g);
        in.groupRunning = m_data->IsGroupRunning(g);
    }
    in.suspend = Suspend;
    in.disableScheduler = DisableScheduler;
    in.toolBarVisible = !m_toolBar->isHidden();
    in.groupsVisible = !m_groupsPanel->isHidden();
    in.logVisible = !m_logPanel->isHidden();
    in.logSearchTextEmpty = m_logView->searchText().isEmpty();
    in.tipsVisible = !m_bottomPanel->isHidden();
    in.tipTopicEmpty = m_tips->tipTopic().isEmpty();
    in.statusBarVisible = !statusBar()->isHidden();
    in.viewStyle = viewStyle();
    in.sortColumn = checkedSortColumn();
    in.sortAZ = SortOrderAZ;
    const MainFormDialogs &d = m_services.dialogs;
    in.hasEditTask = d.hasEditTask();
    in.hasCheckTaskPassword = d.hasCheckTaskPassword();
    in.hasGroupProperties = d.hasGroupProperties();
    in.hasGroupsOrder = d.hasGroupsOrder();
    in.hasShortcutDialog = d.hasShortcutDialog();
    in.hasAbout = d.hasAbout();
    in.hasPreferencesPage = d.hasPreferencesPage();
    in.hasMaintenanceWizard = d.hasMaintenanceWizard();
    applyActionStates(computeActionStates(in));
    UpdateStatusBar();
}

void TMainForm::applyActionStates(const std::map<std::string, ActionState> &states)
{
    for (const auto &[name, st] : states) {
        if (QAction *a = action(name.c_str())) {
            a->setEnabled(st.enabled);
            if (a->isCheckable()) {
                a->setChecked(st.checked);
            }
        }
    }
}

void TMainForm::UpdateStatusBar()
{
    if (m_data == nullptr) {
        return;
    }
    QString texts[3];
    if (m_groupsTree->currentItem() != nullptr && m_groupsTree->currentItem()->isSelected()) {
        const std::string g = selectedGroupText().toStdString();
        texts[0] = qs(formatLangString("%d Task(s)", "strMainStatusTotalProjects",
                                       {FormatArg(m_data->GetGroupTaskCount(g))}));
        texts[1] = qs(formatLangString("%d Task(s) Running", "strMainStatusRunningProjects",
                                       {FormatArg(m_data->GetGroupRunningCount(g))}));
    }
    if (m_currentTask != nullptr && m_currentTask->Running) {
        const int p = m_currentTask->GetProgressPercent();
        const std::string progress = GetLangString("task progress", "strMainStatusProjectProgress");
        const std::string caption = m_currentTask->GetProgressCaption();
        // A long name is elided so that the progress itself stays in view.
        const QString name = QFontMetrics(statusBar()->font())
                                 .elidedText(qs(m_currentTask->Name), Qt::ElideRight, std::max(120, width() / 3));
        texts[2] = p <= 0 ? QStringLiteral("\"%1\" %2: %3!...").arg(name, qs(progress), qs(caption))
                          : QStringLiteral("\"%1\" %2: %3: %4%").arg(name, qs(progress), qs(caption)).arg(p);
    }
    for (int i = 0; i < 3; ++i) {
        if (m_status[i]->text() != texts[i]) {
            m_status[i]->setText(texts[i]);
            if (i < 2) {
                m_status[i]->setMinimumWidth(QFontMetrics(statusBar()->font()).horizontalAdvance(texts[i]) + 20);
            }
        }
    }
}

void TMainForm::refreshLogView()
{
    m_logView->setTask(m_currentTask);
}

void TMainForm::ActivityLogAddEvent(const TTaskLogger &logger, LogChange change)
{
    // A task being freed takes its logger with it: the window forgets the task, the log lets go of
    // its lines; the next CheckState takes the task selected then.
    if (change == LogChange::Destroyed && &logger == m_logView->logModel()->logger() &&
        m_logView->task() == m_currentTask) {
        m_currentTask = nullptr;
    }
    m_logView->loggerChanged(logger, change);
}

void TMainForm::ShowAndRaise()
{
    m_tray->ShowMainForm();
    // A second start or a hot key asks for the window: it must reach the front even where the
    // window manager keeps a program from taking the focus on its own.
    ForceForegroundWindow(this);
}

void TMainForm::showAtStart()
{
    m_showAtStart = true;
    if (m_shownByTrayTimer) {
        ShowAndRaise();
    }
}

void TMainForm::ShowMessage(CoreMessageKind kind, const std::string &text)
{
    if (kind == CoreMessageKind::Error) {
        ShowError(this, qs(text));
    } else {
        ShowInformation(this, qs(text));
    }
}

} // namespace qv
