// TrayService over QSystemTrayIcon.
#include "platform/gui/TrayService.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace qv {
namespace {

class SystemTrayService : public TrayService
{
public:
    explicit SystemTrayService(QObject *parent) : TrayService(parent), m_icon(this), m_available(probe())
    {
        connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            switch (r) {
            case QSystemTrayIcon::Trigger:
                emit activated(Activation::Click);
                break;
            case QSystemTrayIcon::DoubleClick:
                emit activated(Activation::DoubleClick);
                break;
            case QSystemTrayIcon::Context:
                emit activated(Activation::Context);
                break;
            case QSystemTrayIcon::MiddleClick:
                emit activated(Activation::Middle);
                break;
            default:
                break;
            }
        });
        // Qt re-docks a visible icon by itself when the tray host restarts; watching the
        // availability lets the window know whether hiding into the tray is safe.
        m_watch.setInterval(2000);
        connect(&m_watch, &QTimer::timeout, this, [this] {
            bool now = probe();
            if (now != m_available) {
                m_available = now;
                emit availabilityChanged(now);
            }
        });
        m_watch.start();
    }

    bool isAvailable() const override { return m_available; }
    bool supportsMessages() const override { return QSystemTrayIcon::supportsMessages(); }

    bool showIcon(const QIcon &icon, const QString &toolTip) override
    {
        m_icon.setIcon(icon);
        m_icon.setToolTip(toolTip);
        m_icon.show();
        return m_available;
    }

    bool hideIcon() override
    {
        m_icon.hide();
        return true;
    }

    bool modifyIcon(const QIcon &icon, const QString &toolTip) override
    {
        m_icon.setIcon(icon);
        m_icon.setToolTip(toolTip);
        return true;
    }

    bool isIconShown() const override { return m_icon.isVisible(); }

    bool showMessage(const QString &title, const QString &text, int icon, int timeoutMs) override
    {
        if (!m_icon.isVisible() || !m_available) {
            return false;
        }
        QSystemTrayIcon::MessageIcon qicon = QSystemTrayIcon::NoIcon;
        switch (icon) {
        case BalloonInfo:
            qicon = QSystemTrayIcon::Information;
            break;
        case BalloonWarning:
            qicon = QSystemTrayIcon::Warning;
            break;
        case BalloonError:
            qicon = QSystemTrayIcon::Critical;
            break;
        default:
            break;
        }
        m_icon.showMessage(title, text, qicon, timeoutMs);
        return true;
    }

    void setContextMenu(QMenu *menu) override { m_icon.setContextMenu(menu); }
    QRect iconGeometry() const override { return m_icon.isVisible() ? m_icon.geometry() : QRect(); }

private:
    static bool probe() { return QSystemTrayIcon::isSystemTrayAvailable(); }

    QSystemTrayIcon m_icon;
    QTimer m_watch;
    bool m_available;
};

class NoTrayService : public TrayService
{
public:
    using TrayService::TrayService;
    bool isAvailable() const override { return false; }
    bool supportsMessages() const override { return false; }
    bool showIcon(const QIcon &, const QString &) override { return false; }
    bool hideIcon() override { return true; }
    bool modifyIcon(const QIcon &, const QString &) override { return false; }
    bool isIconShown() const override { return false; }
    bool showMessage(const QString &, const QString &, int, int) override { return false; }
    void setContextMenu(QMenu *) override {}
};

} // namespace

std::unique_ptr<TrayService> createNoTrayService(QObject *parent)
{
    return std::make_unique<NoTrayService>(parent);
}

std::unique_ptr<TrayService> createSystemTrayService(QObject *parent)
{
    return std::make_unique<SystemTrayService>(parent);
}

} // namespace qv
