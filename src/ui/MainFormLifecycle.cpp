// TMainForm: the stored layout, the timers, closing, the end of the session and the way out.
#include "ui/MainForm.h"
#include "ui/LastColumnFill.h"

#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/ScreenPlacement.h"
#include "components/TrayIcon.h"
#include "core/mail/MailQueue.h"
#include "core/runs/ShutdownStarts.h"
#include "core/runs/BackupData.h"
#include "core/text/Language.h"
#include "core/settings/SafeRegistry.h"
#include "core/settings/Settings.h"
#include "platform/Registry.h"
#include "platform/SessionEvents.h"
#include "ui/AlertsForm.h"
#include "ui/TaskListModel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QWindow>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace qv {
namespace {

std::string mainKey()
{
    std::string key(RegKeyRoot);
    return key.append(RegKeyMain);
}

// Window placement show commands, as stored.
constexpr std::int32_t kShowNormal = 1;
constexpr std::int32_t kShowMinimized = 2;
constexpr std::int32_t kShowMaximized = 3;

// Keeps the main thread's events flowing for at most `ms`, or until `done` says so.
template <typename Done> void pumpUntil(Done done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace

void TMainForm::ApplyWindowSettings()
{
    setViewStyle(checkedViewStyle());
    m_proxy->setOrder(checkedSortColumn(), SortOrderAZ);
    const std::int32_t widths[6] = {ViewSizeName, ViewSizeType, ViewSizeLastRun, ViewSizeNextRun, ViewSizeSource,
                                    ViewSizeDestination};
    for (int i = 0; i < 5; ++i) {
        m_reportView->setColumnWidth(i, widths[i] > 0 ? widths[i] : 100);
    }
    m_reportFill->setWidth(widths[5] > 0 ? widths[5] : 100);
    applyLogColumnWidths();
    m_tray->Refresh();
    m_tray->setIconVisible(!StartupHideTrayIcon);
}

bool TMainForm::applyStoredPlacement()
{
    TSafeRegistry reg;
    if (!reg.OpenKeyReadOnly(mainKey()) || !reg.ValueExists("WindowNormalPositionLeft")) {
        return false;
    }
    const int left = reg.ReadInteger("WindowNormalPositionLeft", x());
    const int top = reg.ReadInteger("WindowNormalPositionTop", y());
    const int right = reg.ReadInteger("WindowNormalPositionRight", x() + width());
    const int bottom = reg.ReadInteger("WindowNormalPositionBottom", y() + height());
    std::int32_t show = kShowNormal;
    reg.ReadBinaryData("WindowShowCmd", &show, 4);
    if (show == kShowMaximized) {
        // A window that is maximised already keeps its size: a new geometry would fight the
        // window manager's.
        if (!isMaximized()) {
            if (right > left && bottom > top) {
                placeWhollyOnScreen(this, QRect(left, top, right - left, bottom - top), this);
            }
            setWindowState(windowState() | Qt::WindowMaximized);
        }
    } else {
        if (isMaximized()) {
            setWindowState(windowState() & ~Qt::WindowMaximized);
        }
        // Wholly on a screen, also when the stored place was on one that is gone.
        if (right > left && bottom > top) {
            placeWhollyOnScreen(this, QRect(left, top, right - left, bottom - top), this);
        }
    }
    return true;
}

void TMainForm::placeAtStart()
{
    if (applyStoredPlacement()) {
        return;
    }
    // Nothing stored: the middle of the screen the pointer is on.
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TMainForm::LoadWindowSettings()
{
    m_layoutLoaded = true;
    TSafeRegistry reg;
    if (reg.OpenKeyReadOnly(mainKey()) && reg.ValueExists("WindowNormalPositionLeft")) {
        applyStoredPlacement();
        std::int32_t show = kShowNormal;
        reg.ReadBinaryData("WindowShowCmd", &show, 4);
        // The panel sizes were stored from the window as it was then, maximised or not: they are
        // applied as they stand, and again once the window manager has maximised the window,
        // instead of being scaled to the new height.
        m_storedGroupsWidth = reg.ReadInteger("GroupsPanelWidth", 185);
        m_storedLogHeight = reg.ReadInteger("LogPanelHeight", m_logPanel->height());
        m_splitPendingMaximize = show == kShowMaximized;
        // Each element's visibility is set as stored, not toggled, and before the split: a panel
        // hidden after it would hand its room to the panes, which then grew on every start.
        m_groupsPanel->setVisible(reg.ReadBool("GroupsPanelVisible", true));
        m_toolBar->setVisible(reg.ReadBool("ToolbarVisible", true));
        m_logPanel->setVisible(reg.ReadBool("LogPanelVisible", true));
        statusBar()->setVisible(reg.ReadBool("StatusBarVisible", true));
        setTipsVisible(reg.ReadBool("TipsPanelVisible", true));
        layout()->activate();
        centralWidget()->layout()->activate();
        applyStoredSplit();
    }
    ApplyWindowSettings();
}

void TMainForm::SaveWindowSettings()
{
    // A window that never took the stored layout (started into the tray or minimised, a
    // command-line run) has only the sizes of a layout never made: the stored layout stays as it is.
    // The pane sizes come only from a window that was shown, since a splitter never laid out
    // reports its panes a few pixels wide.
    if (!m_layoutLoaded) {
        return;
    }
    TSafeRegistry reg;
    if (!reg.OpenKey(mainKey(), true)) {
        return;
    }
    const std::int32_t flags = 0;
    const std::int32_t show = isMaximized() ? kShowMaximized : (isMinimized() ? kShowMinimized : kShowNormal);
    reg.WriteBinaryData("WindowFlags", &flags, 4);
    reg.WriteBinaryData("WindowShowCmd", &show, 4);
    const QRect normal = isMaximized() && m_trayReturn.normal.isValid() ? m_trayReturn.normal
                         : normalGeometry().isValid()                   ? normalGeometry()
                                                                        : geometry();
    reg.WriteInteger("WindowMinPositionX", -1);
    reg.WriteInteger("WindowMinPositionY", -1);
    reg.WriteInteger("WindowMaxPositionX", -1);
    reg.WriteInteger("WindowMaxPositionY", -1);
    reg.WriteInteger("WindowNormalPositionLeft", normal.left());
    reg.WriteInteger("WindowNormalPositionTop", normal.top());
    reg.WriteInteger("WindowNormalPositionRight", normal.left() + normal.width());
    reg.WriteInteger("WindowNormalPositionBottom", normal.top() + normal.height());
    if (m_shownOnce) {
        const bool settling = m_trayReturn.settling || m_trayReturn.pending;
        const QList<int> h = settling ? m_trayReturn.groups : m_horizontal->sizes();
        reg.WriteInteger("GroupsPanelWidth", h.isEmpty() || h[0] <= 0 ? m_groupsPanel->width() : h[0]);
        const QList<int> v = settling ? m_trayReturn.log : m_vertical->sizes();
        reg.WriteInteger("LogPanelHeight", v.size() < 2 || v[1] <= 0 ? m_logPanel->height() : v[1]);
    }
    reg.WriteBool("GroupsPanelVisible", !m_groupsPanel->isHidden());
    reg.WriteBool("LogPanelVisible", !m_logPanel->isHidden());
    reg.WriteBool("ToolbarVisible", !m_toolBar->isHidden());
    reg.WriteBool("TipsPanelVisible", !m_bottomPanel->isHidden());
    reg.WriteBool("StatusBarVisible", !statusBar()->isHidden());
    // The column widths as the user left them.
    std::int32_t *widths[6] = {&ViewSizeName, &ViewSizeType, &ViewSizeLastRun, &ViewSizeNextRun, &ViewSizeSource,
                               &ViewSizeDestination};
    for (int i = 0; i < 6; ++i) {
        // The destination column's own width, not the one it fills in a wide window.
        const int width = i == 5 ? m_reportFill->width() : m_reportView->columnWidth(i);
        if (width > 0) {
            *widths[i] = width;
        }
    }
}

void TMainForm::SaveAllSettings()
{
    // While the program leaves, a failed save is written to standard error: a dialog would hold a
    // session's end or a signal's exit until someone answered it.
    auto report = [this](const std::string &text) {
        if (m_exiting || m_sessionEnding) {
            std::fprintf(stderr, "quorvellant: %s\n", text.c_str());
        } else {
            ShowError(this, QString::fromStdString(text));
        }
    };
    // A store found damaged is never written to: a write could spread the damage over what it
    // still holds. The settings the program holds then go, whole, into a store of their own beside
    // it, and one message names both files.
    const std::string path = RegistryStore::storePath();
    std::string damage;
    try {
        RegistryStore::checkStore(path);
    } catch (const RegistryDamaged &e) {
        damage = e.what();
    } catch (const RegistryError &) {
        // Not readable just now: the save says why.
    }
    if (damage.empty()) {
        saveAllInto(report);
        return;
    }
    const bool first = m_besideStore.empty();
    if (first) {
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        m_besideStore = path + ".saved-" + stamp.toStdString();
    }
    try {
        RegistryStore beside(m_besideStore);
        RegistryStoreRedirect redirect(beside);
        saveAllInto(report);
    } catch (const std::exception &e) {
        report(damage + "\n" + e.what());
        return;
    }
    if (first) {
        report(formatLangString("%s\nNothing was written to it. The settings were saved in \"%s\"; to go "
                                "on with them, quit the program and put that file in the place of the "
                                "damaged one.",
                                "strMainStoreDamagedSavedBeside", {damage, m_besideStore}));
    }
}

void TMainForm::saveAllInto(const std::function<void(const std::string &)> &report)
{
    SaveWindowSettings();
    if (m_data != nullptr) {
        try {
            m_data->SaveToRegistry();
        } catch (const std::exception &e) {
            report(formatLangString("The tasks could not be saved: %s", "strMainSaveTasksError", {e.what()}));
        }
    }
    if (m_groupsTree->currentItem() != nullptr) {
        CurrentGroup = m_groupsTree->currentItem()->text(0).toStdString();
    }
    if (m_currentTask != nullptr) {
        CurrentProject = m_currentTask->ID;
    }
    try {
        SaveSettings();
    } catch (const std::exception &e) {
        report(formatLangString("The program settings could not be saved: %s", "strMainSaveSettingsError",
                                {e.what()}));
    }
    // Both were set to be stored only: left set, the next refresh of the tree or the list would
    // select them again, whatever the user selected since.
    CurrentGroup.clear();
    CurrentProject.clear();
}

void TMainForm::UpdateAll()
{
    UpdateTreeView();
    UpdateListView();
    CheckState();
}

void TMainForm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange && !isMaximized()) {
        m_splitPendingMaximize = false; // the user restored the window: sizes scale from here on
        if (!isMinimized() && !m_trayReturn.settling) {
            m_trayReturn.normal = QRect(); // its normal placement is its own again
        }
    }
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        // The stored layout is applied once, at the first activation.
        if (!m_layoutLoaded) {
            LoadWindowSettings();
        }
        action("actOtherTipsNext")->trigger();
        m_focusTimer.start();
    }
    QMainWindow::changeEvent(event);
}

void TMainForm::applyStoredSplit()
{
    const QList<int> h = m_horizontal->sizes();
    if (h.size() == 2 && m_storedGroupsWidth > 3) {
        const int total = h[0] + h[1];
        m_horizontal->setSizes({m_storedGroupsWidth, std::max(1, total - m_storedGroupsWidth)});
    }
    const QList<int> v = m_vertical->sizes();
    if (v.size() == 2 && m_storedLogHeight >= 10) {
        const int total = v[0] + v[1];
        const int log = std::min(m_storedLogHeight, std::max(10, total - 1));
        m_vertical->setSizes({std::max(1, total - log), log});
    }
}

void TMainForm::resizeEvent(QResizeEvent *event)
{
    const int newHeight = height();
    if (m_trayReturn.settling) {
        m_lastHeight = newHeight;
        QMainWindow::resizeEvent(event);
        if (isMaximized() && newHeight == m_trayReturn.height) {
            putBackTrayReturnPanes();
        }
        return;
    }
    if (m_splitPendingMaximize && (windowState() & Qt::WindowMaximized) != 0 && newHeight != m_lastHeight) {
        // The stored maximised layout, now that the window has its maximised size.
        m_splitPendingMaximize = false;
        applyStoredSplit();
    } else if (m_lastHeight > 0 && newHeight != m_lastHeight && !m_logPanel->isHidden()) {
        QList<int> v = m_vertical->sizes();
        if (v.size() == 2) {
            const int total = v[0] + v[1];
            const int log = std::min(total - 1, scaledLogPanelHeight(v[1], m_lastHeight, newHeight));
            m_vertical->setSizes({std::max(1, total - log), log});
        }
    }
    m_lastHeight = newHeight;
    QMainWindow::resizeEvent(event);
}

void TMainForm::showEvent(QShowEvent *event)
{
    m_shownOnce = true;
    if (m_trayReturn.pending && !event->spontaneous()) {
        m_trayReturn.pending = false;
        m_trayReturn.settling = true;
        m_trayReturnTimer.start();
    }
    QMainWindow::showEvent(event);
}

void TMainForm::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous() && m_shownOnce && isMinimized() && isMaximized() && !m_trayReturn.settling) {
        m_trayReturn.groups = m_horizontal->sizes();
        m_trayReturn.log = m_vertical->sizes();
        m_trayReturn.height = m_lastHeight;
        m_trayReturn.normal = normalGeometry();
        m_trayReturn.pending = true;
    }
    QMainWindow::hideEvent(event);
}

void TMainForm::endTrayReturn()
{
    if (!m_trayReturn.settling) {
        return;
    }
    m_trayReturn.settling = false;
    m_trayReturnTimer.stop();
    if (isMaximized() && height() == m_trayReturn.height) {
        putBackTrayReturnPanes();
    }
}

void TMainForm::putBackTrayReturnPanes()
{
    m_horizontal->setSizes(m_trayReturn.groups);
    m_vertical->setSizes(m_trayReturn.log);
}

std::vector<std::string> TMainForm::runningTaskNames() const
{
    std::vector<std::string> names;
    for (int i = 0; m_data != nullptr && i < m_data->Tasks.Count(); ++i) {
        if (m_data->Tasks[i]->Running) {
            names.push_back(m_data->Tasks[i]->Name);
        }
    }
    return names;
}

bool TMainForm::confirmExit()
{
    // Leaving stops every run: asked about by name whatever the usual question's setting, and
    // asked no more once those runs have ended on their own.
    const std::vector<std::string> running = runningTaskNames();
    if (!running.empty()) {
        std::string names;
        for (const std::string &name : running) {
            names += (names.empty() ? "\"" : ", \"") + name + "\"";
        }
        const QString text = QString::fromStdString(
            running.size() == 1
                ? formatLangString(
                      "Task %s is running. Exiting stops it, and some or all of its Source files may "
                      "not be copied to Destination. Do you really want to exit?",
                      "strShutdownRunningTask", {FormatArg(names)})
                : formatLangString(
                      "Tasks %s are running. Exiting stops them, and some or all of their Source "
                      "files may not be copied to Destination. Do you really want to exit?",
                      "strShutdownRunningTasks", {FormatArg(names)}));
        const int answer = ShowMessageBoxWhile(
            this, text, langText("Quorvellant Shutdown", "strShutdownTitle"),
            MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, [this] { return !runningTaskNames().empty(); });
        if (answer != IDCANCEL || !runningTaskNames().empty()) {
            return answer == IDYES;
        }
    }
    if (!StartupConfirmShutdown) {
        return true;
    }
    if (m_services.dialogs.hasConfirmExit()) {
        return m_services.dialogs.confirmExit(this);
    }
    const QString text =
        langText("If you exit Quorvellant it will not run any scheduled backups, except backups scheduled as "
                 "systemd user timers.",
             "strShutdownText") +
        QStringLiteral("\n\n") + langText("Are you sure you want to exit?", "strShutdownQuestion");
    return ShowMessageBox(this, text, langText("Quorvellant Shutdown", "strShutdownTitle"), MB_YESNO | MB_ICONQUESTION) ==
           IDYES;
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (m_exiting) {
        event->accept();
        return;
    }
    event->ignore();
    const bool mayClose = StartupShutDownAtClose || m_explicitExit;
    if (!mayClose) {
        m_tray->HideMainForm();
        return;
    }
    if (!confirmExit()) {
        m_explicitExit = false; // a refused exit leaves the program as it was
        return;
    }
    m_explicitExit = true;
    exitProgram();
}

void TMainForm::trayExit()
{
    m_explicitExit = true;
    close();
}

void TMainForm::scheduleTick()
{
    if (m_data == nullptr || m_exiting) {
        return;
    }
    m_data->CheckSchedules();
    if (ExitWhenIdle && m_idle.tick(m_data->RunningCount() > 0)) {
        exitProgram();
    }
}

void TMainForm::sessionEnding(int deadlineMs)
{
    if (m_exiting) {
        return;
    }
    m_sessionEnding = true;
    SaveAllSettings();
    if (m_shutdownStarts != nullptr) {
        // The shutdown runs start and are waited for there; its done() leaves through the exit path.
        return;
    }
    (void)deadlineMs;
    m_explicitExit = true;
    exitProgram();
    if (m_services.sessionEvents != nullptr) {
        m_services.sessionEvents->releaseShutdownDelay();
    }
}

void TMainForm::exitProgram()
{
    if (m_exiting) {
        return;
    }
    m_exiting = true;
    m_scheduleTimer.stop();
    if (m_shutdownStarts != nullptr && !m_shutdownStarts->waiting()) {
        // Leaving already: a session end from now on starts no shutdown runs.
        QObject::disconnect(m_services.sessionEvents, nullptr, m_shutdownStarts.get(), nullptr);
    }
    if (m_data != nullptr) {
        m_data->StopGroup(TBackupData::AllTasksGroupName());
        TAlertsForm::closeAll(); // a run waiting on an alert gets its Esc answer and can end
        auto busy = [this] {
            if (m_data->RunningCount() > 0 || MailQueue::instance().pending() > 0) {
                return true;
            }
            for (int i = 0; i < m_data->Tasks.Count(); ++i) {
                if (m_data->Tasks[i]->TestRunning()) {
                    return true;
                }
            }
            return false;
        };
        pumpUntil([&] { return !busy(); }, m_services.exitDrainMs);
        if (busy()) {
            // A thread that did not stop is never destroyed under its feet: save and end here.
            SaveAllSettings();
            for (int i = 0; i < m_data->Tasks.Count(); ++i) {
                if (m_data->Tasks[i]->Logger) {
                    m_data->Tasks[i]->Logger->Flush();
                }
            }
            std::fflush(nullptr);
            if (m_services.hardExit) {
                m_services.hardExit();
                return;
            }
            ::_exit(1); // the runs that did not stop were cut short
        }
    }
    SaveAllSettings();
    hide();
    m_tray->HideIcon();
    QCoreApplication::quit();
}

} // namespace qv
