// The program's dial-up manager: brings entries up for runs and down after them, over dialer().
#include "core/engine/RASManager.h"

#include "platform/Dialer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <climits>

namespace qv {

// The connection clock and the events: touched on the main thread only.
struct TRASManager::Clock {
    TRASManager *owner = nullptr; // null once the manager is gone
    std::shared_ptr<std::atomic<int>> timeout;
    QPointer<QTimer> timer; // owned by the application object, so it may be gone first
    int elapsed = 0;

    ~Clock()
    {
        if (!timer.isNull()) {
            timer->deleteLater();
        }
    }
};

namespace {

// Runs `fn` on the main thread: at once when called there, else queued to the application object.
void onMainThread(std::function<void()> fn)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    if (QThread::currentThread() == app->thread()) {
        fn();
    } else {
        QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
    }
}

} // namespace

TRASManager::TRASManager()
    : m_timeout(std::make_shared<std::atomic<int>>(0)), m_clock(std::make_shared<Clock>())
{
    m_clock->owner = this;
    m_clock->timeout = m_timeout;
}

TRASManager::~TRASManager()
{
    m_clock->owner = nullptr;
    if (!m_clock->timer.isNull() && QThread::currentThread() == m_clock->timer->thread()) {
        m_clock->timer->stop();
    }
}

std::vector<std::string> TRASManager::phonebookEntries() const
{
    return dialer().phonebookEntries();
}

std::vector<std::string> TRASManager::activeConnections() const
{
    return dialer().activeConnections();
}

bool TRASManager::isEntryConnected(const std::string &entry) const
{
    return dialer().isEntryConnected(entry);
}

TRASManager::DialResult TRASManager::Dial(const std::string &entry, const std::function<void()> &connecting,
                                          const std::atomic<bool> *stop)
{
    std::unique_lock<std::timed_mutex> lock(m_dialLock, std::defer_lock);
    while (!lock.try_lock_for(std::chrono::milliseconds(50))) {
        if (stop != nullptr && stop->load()) {
            return {DialState::Failed, Dialer::kStopped};
        }
    }
    Dialer &d = dialer();
    if (d.isEntryConnected(entry)) {
        const auto it = m_uses.find(entry);
        if (it == m_uses.end()) {
            return {DialState::ConnectedByOthers, 0};
        }
        ++it->second.runs;
        return {DialState::Shared, 0};
    }
    if (connecting) {
        connecting();
    }
    const int code = d.dial(entry, stop);
    if (d.isEntryConnected(entry)) {
        ++m_uses[entry].runs; // a use whose connection dropped meanwhile keeps its runs
        postStart();
        return {DialState::Dialled, 0};
    }
    postError(code);
    return {DialState::Failed, code};
}

TRASManager::HangUpResult TRASManager::HangUp(const std::string &entry, bool dialled, bool disconnectAfter,
                                              const std::function<void()> &disconnecting)
{
    std::lock_guard<std::timed_mutex> lock(m_dialLock);
    const auto it = m_uses.find(entry);
    if (it == m_uses.end()) {
        return {HangUpState::NotOurs, 0};
    }
    if (dialled) {
        it->second.disconnectAfter = disconnectAfter;
    }
    if (--it->second.runs > 0) {
        return {HangUpState::StillInUse, 0};
    }
    const bool wanted = it->second.disconnectAfter;
    m_uses.erase(it);
    if (!wanted) {
        return {HangUpState::KeptUp, 0};
    }
    if (m_uses.empty()) {
        postStop();
    }
    Dialer &d = dialer();
    if (!d.isEntryConnected(entry)) {
        return {HangUpState::NotConnected, 0};
    }
    if (disconnecting) {
        disconnecting();
    }
    return {HangUpState::HungUp, d.hangUp(entry)};
}

bool TRASManager::SetTimeout(int seconds)
{
    if (seconds < 0) {
        return false;
    }
    m_timeout->store(seconds);
    return true;
}

int TRASManager::Elapsed() const
{
    return m_clock->elapsed;
}

void TRASManager::postStart()
{
    onMainThread([clock = m_clock] {
        if (clock->timer.isNull()) {
            clock->timer = new QTimer(QCoreApplication::instance());
            clock->timer->setInterval(1000);
            std::weak_ptr<Clock> weak = clock;
            QObject::connect(clock->timer, &QTimer::timeout, clock->timer, [weak] {
                const std::shared_ptr<Clock> c = weak.lock();
                if (!c) {
                    return;
                }
                if (c->elapsed < INT_MAX) {
                    ++c->elapsed;
                }
                const int limit = c->timeout->load();
                if (limit > 0 && c->elapsed >= limit) {
                    c->timeout->store(0); // the event comes once
                    if (c->owner != nullptr && c->owner->OnTimeout) {
                        c->owner->OnTimeout();
                    }
                }
            });
        }
        clock->elapsed = 0;
        clock->timer->start();
    });
}

void TRASManager::postStop()
{
    onMainThread([clock = m_clock] {
        if (!clock->timer.isNull()) {
            clock->timer->stop();
        }
    });
}

void TRASManager::postError(int code)
{
    onMainThread([clock = m_clock, code] {
        if (clock->owner != nullptr && clock->owner->OnError) {
            clock->owner->OnError(code);
        }
    });
}

TRASManager &RASManagerInstance()
{
    static TRASManager instance;
    return instance;
}

} // namespace qv
