// TTrayIcon: the program's icon in the notification area, its balloons, menu and minimise to tray.
//
// A thin component over TrayService. The window is hidden into the tray only while an icon is
// actually shown by a tray host; otherwise "hide" minimises it, so the user can always get back to
// the program. When the tray host restarts, a visible icon comes back and a hidden one stays away.
#pragma once

#include "components/AlphaImageList.h"
#include "platform/gui/TrayService.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace qv {

class TTrayIcon : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxHint = 127;
    static constexpr int kMaxBalloonText = 255;
    // How long a window shown again from the tray takes to settle with the window manager.
    static constexpr int kReturnMs = 3000;
    static constexpr int kMaxBalloonTitle = 63;

    // `owner` is the main window; `service` defaults to the desktop's tray.
    explicit TTrayIcon(QWidget *owner, std::unique_ptr<TrayService> service = {});
    ~TTrayIcon() override;

    // Properties.
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool on) { m_enabled = on; }
    QString Hint() const { return m_hint; }
    void setHint(const QString &hint);
    bool ShowHint() const { return m_showHint; }
    void setShowHint(bool on);
    QIcon Icon() const { return m_icon; }
    void setIcon(const QIcon &icon);
    bool IconVisible() const { return m_iconVisible; }
    void setIconVisible(bool visible);
    TAlphaImageList *IconList() const { return m_iconList.data(); }
    void setIconList(TAlphaImageList *list);
    int IconIndex() const { return m_iconIndex; }
    void setIconIndex(int index);
    bool CycleIcons() const { return m_cycleIcons; }
    void setCycleIcons(bool on);
    unsigned CycleInterval() const { return static_cast<unsigned>(m_cycleTimer.interval()); }
    void setCycleInterval(unsigned ms) { m_cycleTimer.setInterval(static_cast<int>(ms)); }
    QMenu *PopupMenu() const { return m_popupMenu.data(); }
    void setPopupMenu(QMenu *menu);
    bool LeftPopup = false;
    // Off: Loaded() shows the owner window as soon as the event loop runs. On: the window starts
    // hidden and its owner decides when to show it (the main window does so from its tray timer,
    // unless it is to start minimised).
    bool StartMinimized = false;
    bool MinimizeToTray = false;

    // Events. There is no OnMouseMove: the desktop's tray (a StatusNotifierItem host, or an XEmbed
    // tray through QSystemTrayIcon) reports clicks, double clicks and the context menu of the
    // icon, never the pointer moving over it, so such an event could never be raised.
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, QPoint)> OnMouseDown;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, QPoint)> OnMouseUp;
    std::function<void(int nextIndex)> OnCycle;

    // Called by the owner once it is built: applies StartMinimized.
    void Loaded();

    bool ShowIcon();
    bool HideIcon();
    bool ModifyIcon();
    bool Refresh() { return ModifyIcon(); }
    // Returns true without showing anything while the icon is disabled.
    bool ShowBalloonHint(const QString &title, const QString &text, int iconType, int timeoutSeconds);
    void PopupAtCursor();
    void ShowMainForm();
    void HideMainForm();

    // Whether hiding the window leaves a way back (a tray host shows our icon).
    bool canHideToTray() const;
    TrayService *service() const { return m_service.get(); }
    // The tip text given to the tray (at most 127 characters, empty without ShowHint).
    QString effectiveHint() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onActivated(TrayService::Activation how);
    void onAvailabilityChanged(bool available);
    void cycle();
    QIcon currentIcon() const;

    QPointer<QWidget> m_owner;
    std::unique_ptr<TrayService> m_service;
    bool m_enabled = true;
    QString m_hint;
    bool m_showHint = true;
    QIcon m_icon;
    bool m_iconVisible = true;
    QPointer<TAlphaImageList> m_iconList;
    int m_iconIndex = 0;
    bool m_cycleIcons = false;
    QTimer m_cycleTimer;
    QPointer<QMenu> m_popupMenu;
    // A window minimised from maximised and hidden into the tray, being shown again. Qt maps it before
    // it tells the window manager it is maximised, and for a moment still counts it as minimised: in
    // that time a report of "minimised" is not the user's (the window is not hidden again), and one
    // of "normal" means the window manager took it as normal (it is asked once to maximise it).
    QElapsedTimer m_returning;
    bool m_remaximized = false;
};

} // namespace qv
