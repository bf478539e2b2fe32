// SingleInstance over a lock file and a Unix-domain socket.
#include "platform/SingleInstance.h"

#include "platform/UserAccount.h"

#include <QLockFile>
#include <QSocketNotifier>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace qv {
namespace {

constexpr int kLockRetryMs = 5000;

std::string errnoText(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

bool sendAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads one line ending in "\n" (without it); false on time-out, error or end of stream.
bool readLine(int fd, std::string &line, int timeoutMs)
{
    line.clear();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int left = timeoutMs < 0 ? -1
                                 : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                        deadline - std::chrono::steady_clock::now())
                                                        .count());
        if (timeoutMs >= 0 && left <= 0) {
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, left);
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            return false;
        }
        char c = 0;
        ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        if (c == '\n') {
            return true;
        }
        if (line.size() > 256) {
            return false;
        }
        line += c;
    }
}

bool readExact(int fd, std::string &out, std::size_t size, int timeoutMs)
{
    out.clear();
    out.reserve(size);
    char buf[65536];
    while (out.size() < size) {
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            return false;
        }
        ssize_t n = ::recv(fd, buf, std::min(sizeof buf, size - out.size()), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

sockaddr_un socketAddress(const std::string &path, bool &ok)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ok = path.size() < sizeof addr.sun_path;
    if (ok) {
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    }
    return addr;
}

int connectTo(const std::string &path)
{
    bool ok = false;
    sockaddr_un addr = socketAddress(path, ok);
    if (!ok) {
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool peerIsUs(int fd)
{
    ucred cred{};
    socklen_t len = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::getuid();
}

} // namespace

SingleInstance::SingleInstance(std::string folder, QObject *parent) : QObject(parent), m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance()
{
    m_notifier.reset();
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        ::unlink((m_folder + "/socket").c_str());
    }
    delete static_cast<QLockFile *>(m_lock);
}

SingleInstance::Role SingleInstance::start(const std::vector<std::string> &args, bool restore, bool headless,
                                           std::string &error)
{
    m_headless = headless;
    if (m_folder.empty()) {
        m_folder = privateRuntimeFolder(error);
        if (m_folder.empty()) {
            return Role::Failed;
        }
    }
    auto *lock = new QLockFile(QString::fromStdString(m_folder + "/instance.lock"));
    m_lock = lock;
    lock->setStaleLockTime(0); // only a dead owner makes the lock stale
    bool waitedForHeadless = false;
    auto begin = std::chrono::steady_clock::now();
    for (;;) {
        if (lock->tryLock(0)) {
            return listen(error) ? Role::Primary : Role::Failed;
        }
        if (lock->error() == QLockFile::PermissionError) {
            error = "cannot write the lock file in " + m_folder;
            return Role::Failed;
        }
        if (int fd = connectTo(m_folder + "/socket"); fd >= 0) {
            std::string answer;
            if (sendAll(fd, "PING\n", 5) && readLine(fd, answer, 2000) &&
                answer.rfind(std::to_string(kInstancePingAnswer), 0) == 0) {
                const bool instanceHeadless = answer.find("headless") != std::string::npos;
                if (instanceHeadless && !headless) {
                    ::close(fd);
                    if (!waitedForHeadless) {
                        std::fprintf(stderr, "quorvellant: a copy without a display is running; waiting for it to "
                                             "end before starting on this display\n");
                        waitedForHeadless = true;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    continue;
                }
                return handOver(fd, args, restore, error);
            }
            ::close(fd);
        }
        if (!waitedForHeadless &&
            std::chrono::steady_clock::now() - begin > std::chrono::milliseconds(kLockRetryMs)) {
            error = "another Quorvellant holds " + m_folder + "/instance.lock but does not answer";
            return Role::Failed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

SingleInstance::Role SingleInstance::handOver(int fd, const std::vector<std::string> &args, bool restore,
                                              std::string &error)
{
    std::string payload;
    for (const std::string &a : args) {
        payload += a;
        payload += '\0';
    }
    if (payload.size() > kMaxHandOverBytes) {
        ::close(fd);
        error = "the command line is longer than 1 MiB and was not handed over";
        return Role::Failed;
    }
    std::string header = std::string("RUN ") + (restore ? "1 " : "0 ") + std::to_string(payload.size()) + "\n";
    std::string done;
    bool ok = sendAll(fd, header.data(), header.size()) && sendAll(fd, payload.data(), payload.size()) &&
              readLine(fd, done, -1);
    while (ok && done.rfind("PROBLEM ", 0) == 0) {
        m_reported.push_back(done.substr(8));
        ok = readLine(fd, done, -1);
    }
    ::close(fd);
    if (!ok || done != "DONE") {
        error = done.rfind("REFUSED", 0) == 0 ? done.substr(8) : "the running Quorvellant did not take the command line";
        return Role::Failed;
    }
    return Role::HandedOver;
}

bool SingleInstance::listen(std::string &error)
{
    const std::string path = m_folder + "/socket";
    ::unlink(path.c_str()); // ours: we hold the lock
    bool ok = false;
    sockaddr_un addr = socketAddress(path, ok);
    if (!ok) {
        error = "the runtime folder's path is too long for a socket: " + path;
        return false;
    }
    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(m_listenFd, 64) != 0) {
        error = errnoText("cannot listen on " + path);
        return false;
    }
    return true;
}

void SingleInstance::setReady(std::function<std::vector<std::string>(const HandOver &)> handler)
{
    m_handler = std::move(handler);
    if (m_listenFd < 0 || m_notifier) {
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_listenFd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { acceptOne(); });
}

void SingleInstance::acceptOne()
{
    int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    if (!peerIsUs(fd)) {
        ::close(fd);
        return;
    }
    serve(fd);
    ::close(fd);
}

void SingleInstance::serve(int fd)
{
    std::string line;
    while (readLine(fd, line, 2000)) {
        if (line == "PING") {
            const std::string answer =
                std::to_string(kInstancePingAnswer) + (m_headless ? " headless\n" : " display\n");
            if (!sendAll(fd, answer.data(), answer.size())) {
                return;
            }
            continue;
        }
        if (line.rfind("RUN ", 0) == 0) {
            char *rest = nullptr;
            const bool restore = std::strtoul(line.c_str() + 4, &rest, 10) == 1;
            const unsigned long long size = std::strtoull(rest, nullptr, 10);
            if (size > kMaxHandOverBytes) {
                const std::string refuse = "REFUSED the command line is longer than 1 MiB\n";
                sendAll(fd, refuse.data(), refuse.size());
                return;
            }
            std::string payload;
            if (!readExact(fd, payload, static_cast<std::size_t>(size), 5000)) {
                return;
            }
            HandOver h;
            h.restore = restore;
            std::size_t start = 0;
            for (std::size_t i = 0; i < payload.size(); ++i) {
                if (payload[i] == '\0') {
                    h.args.push_back(payload.substr(start, i - start));
                    start = i + 1;
                }
            }
            if (m_handler) {
                for (std::string problem : m_handler(h)) {
                    std::replace(problem.begin(), problem.end(), '\n', ' ');
                    problem = "PROBLEM " + problem + "\n";
                    if (!sendAll(fd, problem.data(), problem.size())) {
                        return;
                    }
                }
            }
            sendAll(fd, "DONE\n", 5);
            return;
        }
        return;
    }
}

} // namespace qv
