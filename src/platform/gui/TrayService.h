// TrayService: the notification-area icon of the desktop, behind an interface with a fake.
//
// The Linux backend is QSystemTrayIcon (StatusNotifierItem or XEmbed, whichever the desktop
// offers). A desktop without a tray host reports isAvailable() false; callers then never hide a
// window into a tray that cannot bring it back.
#pragma once

#include <QIcon>
#include <QObject>
#include <QRect>
#include <QString>

#include <memory>

class QMenu;

namespace qv {

class TrayService : public QObject
{
    Q_OBJECT
public:
    enum class Activation { Click, DoubleClick, Context, Middle };
    // 0 none, 1 information, 2 warning, 3 error.
    enum BalloonIcon { BalloonNone = 0, BalloonInfo = 1, BalloonWarning = 2, BalloonError = 3 };

    using QObject::QObject;

    virtual bool isAvailable() const = 0;
    virtual bool supportsMessages() const = 0;
    // Adds, removes or updates the icon. Each returns false when the desktop refused.
    virtual bool showIcon(const QIcon &icon, const QString &toolTip) = 0;
    virtual bool hideIcon() = 0;
    virtual bool modifyIcon(const QIcon &icon, const QString &toolTip) = 0;
    virtual bool isIconShown() const = 0;
    virtual bool showMessage(const QString &title, const QString &text, int icon, int timeoutMs) = 0;
    virtual void setContextMenu(QMenu *menu) = 0;
    // Where the desktop shows the icon (empty when it shows none or does not say).
    virtual QRect iconGeometry() const { return {}; }

signals:
    void activated(qv::TrayService::Activation how);
    // The tray host appeared, vanished or restarted.
    void availabilityChanged(bool available);
};

// The desktop's tray through QSystemTrayIcon.
std::unique_ptr<TrayService> createSystemTrayService(QObject *parent = nullptr);
// No tray at all (a program without a display): nothing is shown and every call says so.
std::unique_ptr<TrayService> createNoTrayService(QObject *parent = nullptr);

} // namespace qv
