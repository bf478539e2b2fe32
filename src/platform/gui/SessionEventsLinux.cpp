// SessionEvents on Linux: Qt's commit-data request, logind's PrepareForShutdown with a delay
// inhibitor, and termination signals through a self-pipe.
#include "platform/gui/DesktopLayers.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qv {
namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    if (g_signalPipe[1] >= 0) {
        unsigned char b = static_cast<unsigned char>(sig);
        [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &b, 1);
    }
}

const char *kLogindService = "org.freedesktop.login1";
const char *kLogindPath = "/org/freedesktop/login1";
const char *kLogindManager = "org.freedesktop.login1.Manager";

class LinuxSessionEvents : public SessionEvents
{
    Q_OBJECT
public:
    explicit LinuxSessionEvents(QObject *parent) : SessionEvents(parent)
    {
        if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
            connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) {
                emit sessionEnding(0);
            });
        }
        installSignalHandlers();
        QDBusConnection bus = QDBusConnection::systemBus();
        if (bus.isConnected()) {
            bus.connect(kLogindService, kLogindPath, kLogindManager, QStringLiteral("PrepareForShutdown"), this,
                        SLOT(onPrepareForShutdown(bool)));
            takeDelay();
        }
    }

    ~LinuxSessionEvents() override
    {
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
            ::signal(sig, SIG_DFL);
        }
    }

    bool hasShutdownDelay() const override { return m_delay.isValid(); }
    void releaseShutdownDelay() override { m_delay = QDBusUnixFileDescriptor(); }

private slots:
    void onPrepareForShutdown(bool starting)
    {
        if (starting) {
            emit sessionEnding(delayMaxMs());
        } else {
            takeDelay(); // the shutdown was cancelled: be ready for the next one
        }
    }

private:
    void takeDelay()
    {
        QDBusInterface logind(kLogindService, kLogindPath, kLogindManager, QDBusConnection::systemBus());
        QDBusReply<QDBusUnixFileDescriptor> reply =
            logind.call(QStringLiteral("Inhibit"), QStringLiteral("shutdown"), QStringLiteral("Quorvellant"),
                        QStringLiteral("Running the tasks scheduled at shutdown"), QStringLiteral("delay"));
        if (reply.isValid()) {
            m_delay = reply.value();
        }
    }

    int delayMaxMs() const
    {
        QDBusInterface logind(kLogindService, kLogindPath, kLogindManager, QDBusConnection::systemBus());
        QVariant v = logind.property("InhibitDelayMaxUSec");
        bool ok = false;
        qulonglong us = v.toULongLong(&ok);
        return ok ? static_cast<int>(us / 1000) : 5000;
    }

    void installSignalHandlers()
    {
        static std::atomic<bool> installed{false};
        if (installed.exchange(true)) {
            return;
        }
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
            return;
        }
        m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            unsigned char b = 0;
            if (::read(g_signalPipe[0], &b, 1) == 1) {
                emit terminateRequested(b);
            }
        });
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
            ::sigaction(sig, &sa, nullptr);
        }
    }

    QDBusUnixFileDescriptor m_delay;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace

std::unique_ptr<SessionEvents> createSessionEvents(QObject *parent)
{
    return std::make_unique<LinuxSessionEvents>(parent);
}

} // namespace qv

#include "SessionEventsLinux.moc"
