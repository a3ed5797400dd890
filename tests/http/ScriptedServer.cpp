#include "http/ScriptedServer.h"

#include <cctype>
#include <chrono>
#include <cstring>

namespace brevane::test {

namespace {

bool EqualsNoCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
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
            EqualsNoCase(head.substr(start, nameLength), name)) {
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
        if (!sock::WaitWritable(m_fd, 50)) {
            continue;  // re-check the stop flag while the peer does not read
        }
        const long sent = sock::Send(m_fd, bytes.data(), bytes.size());
        if (sent == sock::kWouldBlock) {
            continue;
        }
        if (sent < 0) {
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
    m_listenFd = sock::Listen(port, &m_port);
    if (m_listenFd != sock::kInvalid) {
        m_acceptThread = std::thread([this] { AcceptLoop(); });
    }
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        for (const sock::Handle fd : m_clientFds) {
            sock::Shutdown(fd);
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
    if (m_listenFd != sock::kInvalid) {
        sock::Close(m_listenFd);
    }
}

std::vector<ScriptedServer::Request> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::uint16_t ScriptedServer::UnusedPort() {
    std::uint16_t port = 0;
    const sock::Handle fd = sock::Listen(0, &port);
    if (fd != sock::kInvalid) {
        sock::Close(fd);
    }
    return port;
}

void ScriptedServer::AcceptLoop() {
    while (!m_stopping) {
        if (!sock::WaitReadable(m_listenFd, 50)) {
            continue;
        }
        const sock::Handle fd = sock::Accept(m_listenFd);
        if (fd == sock::kInvalid) {
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) {
            sock::Close(fd);
            break;
        }
        const int connection = ++m_connections;
        m_clientFds.push_back(fd);
        m_threads.emplace_back([this, fd, connection] { Serve(fd, connection); });
    }
}

void ScriptedServer::Serve(sock::Handle fd, int connection) {
    std::string pending;
    char chunk[4096];
    bool open = true;
    while (open && !m_stopping) {
        const std::size_t headEnd = pending.find("\r\n\r\n");
        if (headEnd == std::string::npos) {
            if (!sock::WaitReadable(fd, 50)) {
                continue;
            }
            const long got = sock::Receive(fd, chunk, sizeof chunk);
            if (got == sock::kWouldBlock) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            pending.append(chunk, static_cast<std::size_t>(got));
            // A request begins with its method; anything else (a TLS
            // handshake, say) is no HTTP, and the connection is closed as a
            // plain HTTP server would.
            if (!pending.empty() && (pending[0] < 'A' || pending[0] > 'Z')) {
                break;
            }
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
    sock::Close(fd);
}

}  // namespace brevane::test
