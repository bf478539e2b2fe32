// The program's one mail worker.
#include "core/mail/MailQueue.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace qv {

MailQueue &MailQueue::instance()
{
    // Never destroyed: a mail still in the hands of a slow server at exit must not meet a dead queue.
    static MailQueue *queue = new MailQueue;
    return *queue;
}

void MailQueue::post(Job job, FailureHandler failed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.emplace_back(std::move(job), std::move(failed));
    ++m_pending;
    if (!m_started) {
        m_started = true;
        std::thread([this] { work(); }).detach();
    }
    m_wake.notify_one();
}

int MailQueue::pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending;
}

void MailQueue::work()
{
    for (;;) {
        std::pair<Job, FailureHandler> next;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_jobs.empty(); });
            next = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        std::string failure;
        try {
            failure = next.first ? next.first() : std::string();
        } catch (const std::exception &e) {
            failure = e.what();
        } catch (...) {
            failure = "unknown error";
        }
        auto done = [this, failure, handler = std::move(next.second)] {
            if (!failure.empty() && handler) {
                handler(failure);
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_pending;
        };
        if (QCoreApplication *app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(app, done, Qt::QueuedConnection);
        } else {
            done();
        }
    }
}

} // namespace qv
