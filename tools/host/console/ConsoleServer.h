// The web server of the console (libmicrohttpd, one thread per connection):
// serves the page with its style and script from the binary, the event
// stream (Server-Sent Events from the EventHub), each camera's live picture
// as multipart/x-mixed-replace JPEG and a snapshot, and takes the page's
// commands as POST requests with a JSON body.
//
// Safe by default: listening on a loopback address, requests must name a
// loopback host (a page from another site cannot reach the console through a
// name that resolves to 127.0.0.1); any other address needs a password, asked
// for with HTTP Digest authentication. A POST is refused unless its Origin
// is the host it was sent to.
//
// Owned by the console command, which calls Start and Stop from its thread;
// the cameras and the hub outlive the server. The connection threads call
// the cameras and the hub.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/ConsoleCamera.h"
#include "console/EventHub.h"

struct MHD_Daemon;
struct MHD_Connection;
struct MHD_Response;

namespace darvik::console {

struct ServerOptions {
    std::string address = "127.0.0.1";
    std::uint16_t port = 8088;  // 0: an ephemeral port
    std::string user = "admin";
    std::string password;       // empty: no authentication
};

// "ADDR:PORT", "[V6]:PORT", "ADDR" (port 8088) or ":PORT" (127.0.0.1); port
// 0 asks for an ephemeral port. False with a reason in error.
bool ParseListenAddress(const std::string& text, std::string& address, std::uint16_t& port, std::string& error);
// True for 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackAddress(const std::string& address);

class ConsoleServer {
   public:
    ConsoleServer(std::vector<ConsoleCamera*> cameras, EventHub& events, ServerOptions options);
    ~ConsoleServer();
    ConsoleServer(const ConsoleServer&) = delete;
    ConsoleServer& operator=(const ConsoleServer&) = delete;

    // False with a reason when the address is not usable, not loopback
    // without a password, or taken.
    bool Start(std::string& error);
    // Ends every stream and waits for the connection threads.
    void Stop();
    std::uint16_t Port() const { return m_port; }
    std::string Url() const;

    struct Request;
    struct PictureStream;
    struct EventStream;

   private:
    friend struct ServerHooks;  // libmicrohttpd's callbacks

    int Respond(MHD_Connection* connection, const std::string& url, const std::string& method, Request& request);
    int HandlePost(MHD_Connection* connection, const std::string& url, Request& request);
    int HandleGet(MHD_Connection* connection, const std::string& url);
    ConsoleCamera* FindCamera(const std::string& text) const;
    bool HostAllowed(MHD_Connection* connection) const;
    int AskForPassword(MHD_Connection* connection, bool stale);

    std::vector<ConsoleCamera*> m_cameras;
    EventHub& m_events;
    ServerOptions m_options;
    std::array<unsigned char, 32> m_nonceSecret{};  // read by libmicrohttpd's threads
    MHD_Daemon* m_daemon = nullptr;
    std::uint16_t m_port = 0;
    bool m_loopback = true;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_pictureStreams{0};
    std::atomic<int> m_eventStreams{0};
};

}  // namespace darvik::console
