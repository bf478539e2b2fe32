// The backup thread's one way to the main thread.
#include "core/engine/HostBridge.h"

#include <QMetaObject>
#include <QThread>

#include <exception>

namespace qv {

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
}

HostBridge::HostBridge(BackupHost *host, QObject *context) : m_host(host), m_context(context)
{
    for (int kind = 0; kind < 8; ++kind) {
        m_logs[kind] = host != nullptr && host->logsKind(kind);
        m_alerts[kind] = host != nullptr && host->alertsKind(kind);
    }
}

bool HostBridge::direct() const
{
    return m_context.isNull() || m_context->thread() == QThread::currentThread();
}

void HostBridge::log(int kind, const std::string &text)
{
    if (m_host == nullptr) {
        return;
    }
    if (direct()) {
        m_host->log(kind, text);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.emplace_back(kind, text);
        if (m_linesPending) {
            return;
        }
        m_linesPending = true;
    }
    QMetaObject::invokeMethod(m_context.data(), [this] { drainLines(); }, Qt::QueuedConnection);
}

void HostBridge::openReport(const std::string &path)
{
    if (m_host == nullptr) {
        return;
    }
    if (direct()) {
        m_host->openReport(path);
        return;
    }
    QMetaObject::invokeMethod(
        m_context.data(),
        [this, path] {
            drainLines();
            m_host->openReport(path);
        },
        Qt::QueuedConnection);
}

// Main thread: hands every queued line to the host, in order.
void HostBridge::drainLines()
{
    if (m_host == nullptr) {
        return;
    }
    std::vector<std::pair<int, std::string>> lines;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        lines.swap(m_lines);
        m_linesPending = false;
    }
    for (const auto &[kind, text] : lines) {
        m_host->log(kind, text);
    }
}

AlertReply HostBridge::alert(int kind, const std::string &buttons, const std::string &text)
{
    AlertReply reply;
    if (m_host == nullptr) {
        return reply;
    }
    auto call = [&] {
        try {
            AlertAnswer answer = m_host->alert(kind, buttons, text);
            reply.answer = answer.answer;
            reply.mail = std::move(answer.mail);
        } catch (const std::exception &e) {
            reply.error = e.what();
            if (reply.error.empty()) {
                reply.error = "unknown error";
            }
        } catch (...) {
            reply.error = "unknown error";
        }
    };
    if (direct()) {
        call();
    } else {
        // Lines logged before the alert reach the host before it.
        QMetaObject::invokeMethod(
            m_context.data(),
            [&] {
                drainLines();
                call();
            },
            Qt::BlockingQueuedConnection);
    }
    return reply;
}

bool HostBridge::progressDue(bool force)
{
    auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastSent < kProgressInterval) {
        return false;
    }
    m_lastSent = now;
    return true;
}

void HostBridge::setProgressPhase(const std::string &caption, std::int64_t maximum)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (caption == m_progress.caption && maximum == m_progress.maximum && m_progress.position == 0) {
            return;
        }
        const bool phaseChange = maximum != m_progress.maximum || maximum != 0;
        m_progress = ProgressState{caption, 0, maximum};
        if (!progressDue(phaseChange)) {
            return;
        }
    }
    sendProgress();
}

void HostBridge::setProgressPosition(std::int64_t position)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (position == m_progress.position) {
            return;
        }
        m_progress.position = position;
        if (!progressDue(false)) {
            return;
        }
    }
    sendProgress();
}

void HostBridge::addProgress(std::int64_t delta)
{
    if (delta == 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.position += delta;
        if (!progressDue(false)) {
            return;
        }
    }
    sendProgress();
}

void HostBridge::sendProgressNow()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        progressDue(true);
    }
    sendProgress();
}

ProgressState HostBridge::progress() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_progress;
}

void HostBridge::sendProgress()
{
    if (m_host == nullptr) {
        return;
    }
    if (direct()) {
        m_host->progress(progress());
        return;
    }
    // One update in flight at a time; it reads the latest state when it arrives.
    if (m_progressPending.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(
        m_context.data(),
        [this] {
            m_progressPending.store(false);
            m_host->progress(progress());
        },
        Qt::QueuedConnection);
}

} // namespace qv
