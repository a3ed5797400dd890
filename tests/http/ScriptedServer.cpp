#include "http/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <strings.h>

namespace brevane::test {

namespace {

int ListenOn(std::uint16_t port, std::uint16_t* bound) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    *bound = ntohs(address.sin_port);
    return fd;
}

std::string HeaderValue(const std::string& head, const char* name) {
    const std::size_t nameLength = std::strlen(name);
    std::size_t position = head.find("\r\n");
    while (position != std::string::npos && position + 2 < head.size()) {
        const std::size_t start = position + 2;
        const std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos) {
            break;
        }
        if (end - start > nameLength && head[start + nameLength] == ':' &&
            ::strncasecmp(head.c_str() + start, name, nameLength) == 0) {
            std::size_t value = start + nameLength + 1;
            while (value < end && head[value] == ' ') {
                ++value;
            }
            return head.substr(value, end - value);
        }
        position = end;
    }
    return {};
}

}  // namespace

bool ScriptedServer::Exchange::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        if (m_server.Stopped()) {
            return false;
        }
        pollfd entry{m_fd, POLLOUT, 0};
        if (::poll(&entry, 1, 50) <= 0) {
            continue;  // re-check the stop flag while the peer does not read
        }
        const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool ScriptedServer::Exchange::Reply(int status, std::string_view body,
                                     std::string_view extraHeaders) {
    std::string response = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\n";
    response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    response.append(extraHeaders);
    response += "\r\n";
    response.append(body);
    return Send(response);
}

bool ScriptedServer::Exchange::WaitStopped(std::uint32_t ms) {
    std::unique_lock<std::mutex> lock(m_server.m_mutex);
    return m_server.m_stopped.wait_for(lock, std::chrono::milliseconds(ms),
                                       [&] { return m_server.Stopped(); });
}

ScriptedServer::ScriptedServer(Handler handler, std::uint16_t port)
    : m_handler(std::move(handler)) {
    m_listenFd = ListenOn(port, &m_port);
    if (m_listenFd >= 0) {
        m_acceptThread = std::thread([this] { AcceptLoop(); });
    }
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        for (const int fd : m_clientFds) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    m_stopped.notify_all();
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        threads.swap(m_threads);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
    }
}

std::vector<ScriptedServer::Request> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::uint16_t ScriptedServer::UnusedPort() {
    std::uint16_t port = 0;
    const int fd = ListenOn(0, &port);
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

void ScriptedServer::AcceptLoop() {
    while (!m_stopping) {
        pollfd entry{m_listenFd, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) {
            continue;
        }
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) {
            ::close(fd);
            break;
        }
        const int connection = ++m_connections;
        m_clientFds.push_back(fd);
        m_threads.emplace_back([this, fd, connection] { Serve(fd, connection); });
    }
}

void ScriptedServer::Serve(int fd, int connection) {
    std::string pending;
    char chunk[4096];
    bool open = true;
    while (open && !m_stopping) {
        const std::size_t headEnd = pending.find("\r\n\r\n");
        if (headEnd == std::string::npos) {
            pollfd entry{fd, POLLIN, 0};
            if (::poll(&entry, 1, 50) <= 0) {
                continue;
            }
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0) {
                break;
            }
            pending.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        const std::string head = pending.substr(0, headEnd + 2);
        pending.erase(0, headEnd + 4);
        Request request;
        const std::size_t firstBlank = head.find(' ');
        const std::size_t secondBlank = head.find(' ', firstBlank + 1);
        if (firstBlank != std::string::npos && secondBlank != std::string::npos) {
            request.method = head.substr(0, firstBlank);
            request.target = head.substr(firstBlank + 1, secondBlank - firstBlank - 1);
        }
        request.authorization = HeaderValue(head, "Authorization");
        request.connection = connection;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request);
        }
        Exchange exchange(*this, fd, std::move(request));
        open = m_handler(exchange);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_clientFds.begin(); it != m_clientFds.end(); ++it) {
        if (*it == fd) {
            m_clientFds.erase(it);
            break;
        }
    }
    ::close(fd);
}

}  // namespace brevane::test
