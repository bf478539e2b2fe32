// TTrayIcon over TrayService.
#include "components/TrayIcon.h"

#include "components/AlphaImageList.h"
#include "platform/gui/ForegroundWindow.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace qv {

TTrayIcon::TTrayIcon(QWidget *owner, std::unique_ptr<TrayService> service)
    : QObject(owner), m_owner(owner), m_service(service ? std::move(service) : createSystemTrayService())
{
    m_cycleTimer.setInterval(0);
    connect(&m_cycleTimer, &QTimer::timeout, this, &TTrayIcon::cycle);
    connect(m_service.get(), &TrayService::activated, this, &TTrayIcon::onActivated);
    connect(m_service.get(), &TrayService::availabilityChanged, this, &TTrayIcon::onAvailabilityChanged);
    if (owner != nullptr) {
        owner->installEventFilter(this);
    }
}

TTrayIcon::~TTrayIcon()
{
    m_service->hideIcon();
}

QString TTrayIcon::effectiveHint() const
{
    return (m_showHint && !m_hint.isEmpty()) ? m_hint.left(kMaxHint) : QString();
}

QIcon TTrayIcon::currentIcon() const
{
    return m_icon;
}

void TTrayIcon::setHint(const QString &hint)
{
    m_hint = hint;
    ModifyIcon();
}

void TTrayIcon::setShowHint(bool on)
{
    m_showHint = on;
    ModifyIcon();
}

void TTrayIcon::setIcon(const QIcon &icon)
{
    m_icon = icon;
    ModifyIcon();
}

void TTrayIcon::setIconVisible(bool visible)
{
    if (visible) {
        ShowIcon();
    } else {
        HideIcon();
    }
}

void TTrayIcon::setIconList(TAlphaImageList *list)
{
    m_iconList = list;
    setIconIndex(0);
}

void TTrayIcon::setIconIndex(int index)
{
    if (m_iconList && m_iconList->Count() > 0) {
        m_iconIndex = std::clamp(index, 0, m_iconList->Count() - 1);
        m_icon = m_iconList->icon(m_iconIndex);
    } else {
        m_iconIndex = 0;
    }
    ModifyIcon();
}

void TTrayIcon::setCycleIcons(bool on)
{
    m_cycleIcons = on;
    if (on) {
        setIconIndex(0);
        m_cycleTimer.start();
    } else {
        m_cycleTimer.stop();
    }
}

void TTrayIcon::setPopupMenu(QMenu *menu)
{
    m_popupMenu = menu;
    m_service->setContextMenu(menu);
}

bool TTrayIcon::ShowIcon()
{
    m_iconVisible = true;
    return m_service->showIcon(currentIcon(), effectiveHint());
}

bool TTrayIcon::HideIcon()
{
    m_iconVisible = false;
    bool ok = m_service->hideIcon();
    // With the icon gone a hidden window would be out of reach.
    if (m_owner && m_owner->isHidden() && m_owner->property("qvHiddenToTray").toBool()) {
        m_owner->setProperty("qvHiddenToTray", false);
        m_owner->showMinimized();
    }
    return ok;
}

bool TTrayIcon::ModifyIcon()
{
    return m_service->modifyIcon(currentIcon(), effectiveHint());
}

bool TTrayIcon::ShowBalloonHint(const QString &title, const QString &text, int iconType, int timeoutSeconds)
{
    if (!m_enabled) {
        return true;
    }
    int icon = (iconType >= 0 && iconType <= 3) ? iconType : 0;
    // A text over its limit is cut with an ellipsis, so a long task name shows that it goes on.
    auto cut = [](const QString &s, int limit) {
        if (s.size() <= limit) {
            return s;
        }
        QString head = s.left(limit - 1);
        if (head.back().isHighSurrogate()) {
            head.chop(1); // never half a character
        }
        return head + QChar(0x2026);
    };
    return m_service->showMessage(cut(title, kMaxBalloonTitle), cut(text, kMaxBalloonText), icon,
                                  timeoutSeconds * 1000);
}

void TTrayIcon::PopupAtCursor()
{
    if (!m_popupMenu) {
        return;
    }
    QApplication::processEvents();
    m_popupMenu->popup(QCursor::pos());
}

bool TTrayIcon::canHideToTray() const
{
    return m_service->isAvailable() && m_service->isIconShown();
}

void TTrayIcon::Loaded()
{
    // Qt shows no window by itself: one that is not to start in the tray is shown here.
    if (!StartMinimized && m_owner) {
        QTimer::singleShot(0, m_owner, [owner = m_owner] {
            if (owner) {
                owner->show();
            }
        });
    }
}

void TTrayIcon::ShowMainForm()
{
    if (!m_owner) {
        return;
    }
    m_owner->setProperty("qvHiddenToTray", false);
    if (m_owner->isHidden() && m_owner->isMinimized() && m_owner->isMaximized()) {
        m_returning.start();
        m_remaximized = false;
    }
    if (m_owner->isMinimized()) {
        // Back as it was before the minimise: a maximised window comes back maximised, its panes
        // as they were (showNormal would shrink it to its normal size).
        m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMinimized);
    }
    m_owner->show();
    m_owner->raise();
    m_owner->activateWindow();
}

void TTrayIcon::HideMainForm()
{
    if (!m_owner) {
        return;
    }
    if (canHideToTray()) {
        m_owner->setProperty("qvHiddenToTray", true);
        m_owner->hide();
    } else {
        m_owner->showMinimized();
    }
}

bool TTrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    const bool returning = m_returning.isValid() && m_returning.elapsed() < kReturnMs;
    if (watched == m_owner && event->type() == QEvent::WindowStateChange && returning && !m_remaximized &&
        !m_owner->isMinimized() && !m_owner->isMaximized()) {
        m_remaximized = true;
        QTimer::singleShot(0, this, [this] {
            if (m_owner && m_owner->isVisible() && !m_owner->isMinimized() && !m_owner->isMaximized()) {
                RequestMaximized(m_owner);
            }
        });
    }
    if (watched == m_owner && event->type() == QEvent::WindowStateChange && MinimizeToTray && !returning &&
        m_owner->isMinimized() && canHideToTray()) {
        // Hide once the state change has been handled, not from inside it.
        QTimer::singleShot(0, this, [this] {
            if (m_owner && m_owner->isMinimized() && canHideToTray()) {
                m_owner->setProperty("qvHiddenToTray", true);
                m_owner->hide();
            }
        });
    }
    return QObject::eventFilter(watched, event);
}

void TTrayIcon::onActivated(TrayService::Activation how)
{
    if (!m_enabled) {
        return;
    }
    const Qt::KeyboardModifiers mods = QApplication::queryKeyboardModifiers();
    const QPoint pos = QCursor::pos();
    switch (how) {
    case TrayService::Activation::Click:
        if (OnMouseDown) {
            OnMouseDown(Qt::LeftButton, mods, pos);
        }
        if (LeftPopup) {
            PopupAtCursor();
        }
        if (OnClick) {
            OnClick();
        }
        if (OnMouseUp) {
            OnMouseUp(Qt::LeftButton, mods, pos);
        }
        break;
    case TrayService::Activation::DoubleClick:
        if (OnDblClick) {
            OnDblClick();
        }
        if (m_popupMenu && !LeftPopup) {
            if (QAction *def = m_popupMenu->defaultAction(); def != nullptr && def->isEnabled()) {
                def->trigger();
            }
        }
        break;
    case TrayService::Activation::Context:
        if (OnMouseDown) {
            OnMouseDown(Qt::RightButton, mods, pos);
        }
        if (OnMouseUp) {
            OnMouseUp(Qt::RightButton, mods, pos);
        }
        break;
    case TrayService::Activation::Middle:
        if (OnMouseDown) {
            OnMouseDown(Qt::MiddleButton, mods, pos);
        }
        if (OnMouseUp) {
            OnMouseUp(Qt::MiddleButton, mods, pos);
        }
        break;
    }
}

void TTrayIcon::onAvailabilityChanged(bool available)
{
    if (available) {
        // The tray host (re)started: put a visible icon back, leave a hidden one away.
        if (m_iconVisible) {
            m_service->showIcon(currentIcon(), effectiveHint());
        }
        return;
    }
    // The tray host went away: never leave the window hidden without a way back.
    if (m_owner && m_owner->isHidden() && m_owner->property("qvHiddenToTray").toBool()) {
        m_owner->setProperty("qvHiddenToTray", false);
        m_owner->showMinimized();
    }
}

void TTrayIcon::cycle()
{
    if (!m_iconList || m_iconList->Count() == 0) {
        return;
    }
    m_icon = m_iconList->icon(m_iconIndex);
    int next = m_iconIndex + 1 < m_iconList->Count() ? m_iconIndex + 1 : 0;
    if (OnCycle) {
        OnCycle(next);
    }
    ModifyIcon();
    m_iconIndex = next;
}

} // namespace qv
