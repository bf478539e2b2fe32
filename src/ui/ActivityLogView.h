// The activity log panel's list: the current task's events, coloured by kind, with its pop-up menu
// (search, search again, save as, clear, options, hide) and its find dialog.
//
// The list scrolls to the newest line at most every 100 ms, so a run copying many small files does
// not redraw per line. The window gives it the "search again" action (F3 is a window shortcut), a
// way to hide the panel, an optional way to open the log display options (absent: disabled), and a
// hook called when its state changes (the window's action rules read searchText()).
#pragma once

#include "ui/ActivityLogModel.h"
#include "ui/LogFind.h"

#include <QTimer>
#include <QTreeView>

#include <functional>

class QAction;
class QMenu;

namespace qv {

class LogFindDialog;
class TTask;

class ActivityLogView : public QTreeView
{
    Q_OBJECT
public:
    struct Hooks {
        QAction *searchAgain = nullptr;    // the window's F3 action
        std::function<void()> hideLog;     // the panel toggle
        std::function<void()> openOptions; // the log display options; empty: not available
        std::function<void()> stateChanged;
    };

    explicit ActivityLogView(QWidget *parent = nullptr);
    void setHooks(Hooks hooks);

    // The task whose events are shown (null: none); shows them at once, scrolled to the end.
    void setTask(TTask *task);
    TTask *task() const { return m_task; }
    void loggerChanged(const TTaskLogger &logger, LogChange change);
    // Re-reads the colours and the font of the log display settings.
    void refreshAppearance();

    ActivityLogModel *logModel() const { return m_model; }
    QMenu *popupMenu() const { return m_menu; }
    LogFindDialog *findDialog();
    const LogFindRequest &lastSearch() const { return m_search; }
    QString searchText() const { return m_search.text; }

    // The commands of the pop-up menu.
    void search();
    void searchAgain();
    void find(const LogFindRequest &request);
    void saveAs();
    void clear();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    QAction *addCommand(const char *name, const QString &text, const std::function<void()> &run);
    void updateActions();

    ActivityLogModel *m_model = nullptr;
    TTask *m_task = nullptr;
    Hooks m_hooks;
    QMenu *m_menu = nullptr;
    QAction *m_optionsAction = nullptr;
    QAction *m_searchAgainInMenu = nullptr;
    LogFindDialog *m_find = nullptr;
    LogFindRequest m_search;
    QTimer m_scroll;
};

} // namespace qv
