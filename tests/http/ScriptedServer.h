// A tiny HTTP/1.1 server on 127.0.0.1 for transport tests that need exact
// control of the wire: the test's handler answers each request with raw
// bytes, may stall, stream endlessly or drop the connection, and the server
// records every request it received.
//
// One thread accepts, one thread serves each connection. Stopping (the
// destructor) unblocks every handler: Stopped() turns true and sends fail.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "http/TestSocket.h"

namespace brevane::test {

class ScriptedServer {
   public:
    struct Request {
        std::string method;
        std::string target;
        std::string authorization;  // value of the Authorization header, empty when absent
        int connection = 0;         // 1-based number of the connection it came on
    };

    class Exchange {
       public:
        const Request& request() const { return m_request; }
        // Sends raw bytes; false once the peer is gone or the server stops.
        bool Send(std::string_view bytes);
        // Sends a complete response with the given status line and body.
        bool Reply(int status, std::string_view body, std::string_view extraHeaders = {});
        // Waits until the server stops or `ms` pass; true when stopped.
        bool WaitStopped(std::uint32_t ms);

       private:
        friend class ScriptedServer;
        Exchange(ScriptedServer& server, sock::Handle fd, Request request)
            : m_server(server), m_fd(fd), m_request(std::move(request)) {}
        ScriptedServer& m_server;
        sock::Handle m_fd;
        Request m_request;
    };

    // The handler answers one request; returning false closes the connection.
    using Handler = std::function<bool(Exchange&)>;

    explicit ScriptedServer(Handler handler, std::uint16_t port = 0);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    bool Listening() const { return m_listenFd != sock::kInvalid; }
    std::vector<Request> Requests() const;
    int Connections() const { return m_connections.load(); }
    bool Stopped() const { return m_stopping.load(); }

    // A port on 127.0.0.1 that nothing listens on right now.
    static std::uint16_t UnusedPort();

   private:
    void AcceptLoop();
    void Serve(sock::Handle fd, int connection);

    Handler m_handler;
    sock::Handle m_listenFd = sock::kInvalid;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};

    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    std::vector<Request> m_requests;   // guarded by m_mutex
    std::vector<sock::Handle> m_clientFds;  // guarded by m_mutex
    std::vector<std::thread> m_threads;  // guarded by m_mutex
    std::thread m_acceptThread;
};

}  // namespace brevane::test
