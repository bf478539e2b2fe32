// Helpers for the folder-watch tests: recorders of deliveries and waiting with the event loop running.
#pragma once

#include "platform/FolderWatcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace watchtest {

struct Recorder
{
    int changes = 0;
    std::vector<std::string> problems;
    qv::FolderWatcher::Callbacks callbacks()
    {
        return {[this] { ++changes; }, [this](const std::string &text) { problems.push_back(text); }};
    }
};

// Runs the event loop until `done` holds or `ms` pass; returns whether it held.
inline bool waitUntil(const std::function<bool()> &done, int ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Runs the event loop for `ms`, so that late deliveries would arrive.
inline void settle(int ms = 200)
{
    waitUntil([] { return false; }, ms);
}

inline void writeBytes(const std::string &path, const std::string &data, bool append = false)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
    if (fd >= 0) {
        [[maybe_unused]] ssize_t n = ::write(fd, data.data(), data.size());
        ::close(fd);
    }
}

} // namespace watchtest
