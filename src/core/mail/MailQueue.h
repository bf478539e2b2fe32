// The program's one mail worker: alert e-mails raised on the main thread are sent here, in order.
//
// The main thread never waits on a mail server: it queues the mail and goes on; the worker thread
// sends one mail after the other, and a failure comes back to the main thread as a call of the
// caller's handler. The exit path waits (bounded) until the queue is empty, so that a mail raised
// at the end of the last run still leaves.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace qv {

class MailQueue
{
public:
    // Sends a mail and returns the line to log when it failed, "" when it was sent.
    using Job = std::function<std::string()>;
    // Main thread: the failure line of a job.
    using FailureHandler = std::function<void(const std::string &line)>;

    static MailQueue &instance();

    // Main thread. `job` runs on the worker; `failed` runs on the main thread when it failed.
    void post(Job job, FailureHandler failed);
    // Mails queued or being sent; failures not yet handed back count too.
    int pending() const;

    MailQueue(const MailQueue &) = delete;
    MailQueue &operator=(const MailQueue &) = delete;

private:
    MailQueue() = default;
    void work();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<Job, FailureHandler>> m_jobs;
    int m_pending = 0;
    bool m_started = false;
};

} // namespace qv
