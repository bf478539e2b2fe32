// A scripted SMTP server on 127.0.0.1 for tests: it checks the exact exchange a client makes.
//
// One connection: it sends the greeting, then answers every line it receives with the next reply
// of its script; after a 354 answer to DATA it collects the message up to the "." line. When the
// script runs out it stays silent (a stalled server). The destructor waits for the connection to
// end (at most 20 s of silence from the client).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvtest {

class ScriptedSmtpServer
{
public:
    ScriptedSmtpServer(std::string greeting, std::deque<std::string> replies)
        : m_greeting(std::move(greeting)), m_replies(std::move(replies))
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        ::listen(m_listen, 1);
        socklen_t len = sizeof addr;
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedSmtpServer()
    {
        m_thread.join();
        ::close(m_listen);
    }
    int port() const { return m_port; }
    std::vector<std::string> lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    std::string message()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_message;
    }
    bool clientClosed() const { return m_closed; }

private:
    bool readLine(int fd, std::string &line)
    {
        line.clear();
        for (;;) {
            auto nl = m_buffer.find("\r\n");
            if (nl != std::string::npos) {
                line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 2);
                return true;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) {
                return false;
            }
            char buf[4096];
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) {
                m_closed = n == 0;
                return false;
            }
            m_buffer.append(buf, static_cast<std::size_t>(n));
        }
    }
    void send(int fd, const std::string &s)
    {
        std::string wire = s + "\r\n";
        (void)!::write(fd, wire.data(), wire.size());
    }
    void serve()
    {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) {
            return;
        }
        int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        if (!m_greeting.empty()) {
            send(fd, m_greeting);
        }
        std::string line;
        bool inData = false;
        while (readLine(fd, line)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (inData) {
                if (line == ".") {
                    inData = false;
                    m_lines.push_back(".");
                } else {
                    m_message += line + "\r\n";
                    continue;
                }
            } else {
                m_lines.push_back(line);
            }
            if (m_replies.empty()) {
                continue; // a silent server from here on
            }
            std::string reply = m_replies.front();
            m_replies.pop_front();
            inData = line == "DATA" && reply.rfind("354", 0) == 0;
            send(fd, reply);
        }
        ::close(fd);
    }

    std::string m_greeting;
    std::deque<std::string> m_replies;
    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::string m_message;
    std::string m_buffer;
    std::atomic<bool> m_closed{false};
};

} // namespace qvtest
