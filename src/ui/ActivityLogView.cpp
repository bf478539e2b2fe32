// The activity log panel's list.
#include "ui/ActivityLogView.h"

#include "components/LangText.h"
#include "components/MessageBox.h"
#include "core/runs/Task.h"
#include "ui/FileDialogs.h"
#include "ui/LogFindDialog.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>

namespace qv {

ActivityLogView::ActivityLogView(QWidget *parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("LogView"));
    m_model = new ActivityLogModel(this);
    setModel(m_model);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    header()->setStretchLastSection(true);
    const int widths[] = {25, 50, 80, 80, 440};
    for (int i = 0; i < ActivityLogModel::ColumnCount; ++i) {
        setColumnWidth(i, widths[i]);
    }
    m_scroll.setSingleShot(true);
    m_scroll.setInterval(100);
    connect(&m_scroll, &QTimer::timeout, this, [this] { scrollToBottom(); });
    connect(m_model, &ActivityLogModel::rowsAppended, this, [this] {
        if (!m_scroll.isActive()) {
            m_scroll.start();
        }
    });

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("LogPopupMenu"));
    addCommand("actOtherLogSearch", QStringLiteral("Search..."), [this] { search(); });
    m_searchAgainInMenu = m_menu->addAction(QStringLiteral("Search Again..."));
    addCommand("actOtherLogSaveAs", QStringLiteral("Save as..."), [this] { saveAs(); });
    addCommand("actOtherLogClear", QStringLiteral("Clear"), [this] { clear(); });
    m_menu->addSeparator();
    m_optionsAction = addCommand("actOtherLogOptions", QStringLiteral("Options..."), [this] {
        if (m_hooks.openOptions) {
            m_hooks.openOptions();
        }
    });
    addCommand("actOtherLogHide", QStringLiteral("Hide"), [this] {
        if (m_hooks.hideLog) {
            m_hooks.hideLog();
        }
    });
    refreshAppearance();
    updateActions();
}

QAction *ActivityLogView::addCommand(const char *name, const QString &text, const std::function<void()> &run)
{
    auto *a = new QAction(text, this);
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, run);
    m_menu->addAction(a);
    return a;
}

void ActivityLogView::setHooks(Hooks hooks)
{
    m_hooks = std::move(hooks);
    if (m_hooks.searchAgain != nullptr) {
        // The menu shows the window's action itself, with its F3 shortcut and its enabled state.
        m_menu->insertAction(m_searchAgainInMenu, m_hooks.searchAgain);
        m_menu->removeAction(m_searchAgainInMenu);
        delete m_searchAgainInMenu;
        m_searchAgainInMenu = nullptr;
        connect(m_hooks.searchAgain, &QAction::triggered, this, [this] { searchAgain(); });
    }
    updateActions();
}

void ActivityLogView::updateActions()
{
    m_optionsAction->setEnabled(static_cast<bool>(m_hooks.openOptions));
    if (m_searchAgainInMenu != nullptr) {
        m_searchAgainInMenu->setEnabled(!m_search.text.isEmpty());
    }
    for (const char *name : {"actOtherLogSaveAs", "actOtherLogClear", "actOtherLogSearch"}) {
        if (auto *a = findChild<QAction *>(QString::fromLatin1(name))) {
            a->setEnabled(m_task != nullptr);
        }
    }
}

void ActivityLogView::setTask(TTask *task)
{
    m_task = task;
    m_model->setLogger(task != nullptr && task->Logger ? task->Logger.get() : nullptr);
    scrollToBottom();
    updateActions();
}

void ActivityLogView::loggerChanged(const TTaskLogger &logger, LogChange change)
{
    const bool shown = &logger == m_model->logger();
    m_model->loggerChanged(logger, change);
    if (shown && change == LogChange::Destroyed) {
        m_task = nullptr; // its task is going too
        updateActions();
    }
}

void ActivityLogView::refreshAppearance()
{
    m_model->refreshAppearance(palette());
    setFont(m_model->logFont());
}

LogFindDialog *ActivityLogView::findDialog()
{
    if (m_find == nullptr) {
        m_find = new LogFindDialog(this);
        connect(m_find, &LogFindDialog::findNext, this, [this](const LogFindRequest &r) { find(r); });
    }
    return m_find;
}

void ActivityLogView::search()
{
    LogFindDialog *dialog = findDialog();
    dialog->setRequest(m_search);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void ActivityLogView::searchAgain()
{
    if (!m_search.text.isEmpty()) {
        find(m_search);
    }
}

void ActivityLogView::find(const LogFindRequest &request)
{
    m_search = request;
    updateActions();
    if (m_hooks.stateChanged) {
        m_hooks.stateChanged();
    }
    const int count = m_model->rowCount();
    const QModelIndex current = currentIndex();
    // With no line selected, down starts before the first line and up after the last.
    const int start = current.isValid() ? current.row() : (request.down ? -1 : count);
    const LogFindResult result =
        DoFindText([this](int row) { return m_model->eventText(row); }, count, start, request);
    if (result.outcome == LogFindOutcome::Found) {
        const QModelIndex at = m_model->index(result.index, 0);
        setCurrentIndex(at);
        scrollTo(at);
    } else if (result.outcome == LogFindOutcome::Finished) {
        ShowInformation(window(), langText("Search finished.", "strLogSearchFinished"));
    }
}

void ActivityLogView::saveAs()
{
    if (m_task == nullptr || !m_task->Logger) {
        return;
    }
    FileDialogRequest request;
    request.caption = langText("Save Activity Log", "strLogSaveTitle");
    request.folder = defaultDialogFolder(); // the program's own folder is not writable here
    request.fileName = QStringLiteral("quorvellant.log");
    request.filters = {QStringLiteral("Log files (*.log)"), QStringLiteral("Text files (*.txt)"),
                       QStringLiteral("All files (*)")};
    request.defaultSuffix = QStringLiteral("log");
    const QString path = fileDialogs().saveFileName(window(), request);
    if (path.isEmpty()) {
        return;
    }
    const QString failure = saveActivityLog(*m_task->Logger, path);
    if (!failure.isEmpty()) {
        QString text = langText("Cannot save the activity log to \"%s\": %s", "strLogSaveFailed");
        for (const QString &part : {path, failure}) {
            const qsizetype at = text.indexOf(QStringLiteral("%s"));
            if (at >= 0) {
                text.replace(at, 2, part);
            }
        }
        ShowError(window(), text);
    }
}

void ActivityLogView::clear()
{
    if (m_task != nullptr && m_task->Logger) {
        m_task->Logger->Clear(); // the logger tells the list
    }
}

void ActivityLogView::contextMenuEvent(QContextMenuEvent *event)
{
    updateActions();
    m_menu->popup(event->globalPos());
}

void ActivityLogView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTreeView::currentChanged(current, previous);
    if (m_hooks.stateChanged) {
        m_hooks.stateChanged();
    }
}

} // namespace qv
