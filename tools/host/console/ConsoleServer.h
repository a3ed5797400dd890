// The web server of the console (libmicrohttpd, one thread per connection):
// serves the page with its style and script from the binary, the event
// stream (Server-Sent Events from the EventHub), each camera's live picture
// as multipart/x-mixed-replace JPEG and a snapshot, and takes the page's
// commands as POST requests with a JSON body: a camera's own commands, and
// adding, changing and removing cameras (through the CameraRoster). The
// wall's tiles fetch each camera's newest picture as a snapshot, answered
// with 304 while it is the one the tile shows.
//
// Safe by default: listening on a loopback address, requests must name a
// loopback host (a page from another site cannot reach the console through a
// name that resolves to 127.0.0.1); any other address needs a password, asked
// for with HTTP Digest authentication. A POST is refused unless its Origin
// is the host it was sent to.
//
// Bounded against floods: a connection limit per address and in total, a
// cap on the long-lived streams (events and live pictures, 503 beyond it) well
// below the total so that ordinary requests always find room, and a deadline
// for a request's headers, so a client that trickles them in (or sends
// nothing) does not hold its connection past kHeaderDeadline.
//
// Owned by the console command, which calls Start and Stop from its thread;
// the roster and the hub outlive the server. The connection threads call
// the roster, the cameras and the hub; a stream holds its camera.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/CameraRoster.h"
#include "console/ConsoleCamera.h"
#include "console/EventHub.h"
#include "console/ListenAddress.h"
#include "core/Mutex.h"

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

class ConsoleServer {
   public:
    // Connections at once, and from one address. The console listens on
    // 127.0.0.1 by default, where every client shares one address, so the
    // per-address limit leaves room below the total rather than being small.
    static constexpr unsigned kMaxConnections = 512;
    static constexpr unsigned kMaxConnectionsPerAddress = 384;
    // Event and picture streams at once; a page holds one event stream and
    // one picture stream for the camera it shows whole (the wall's tiles
    // fetch snapshots instead).
    static constexpr int kMaxStreams = 32;
    // From a connection's start (or the end of its previous request) to the
    // end of the next request's headers.
    static constexpr std::chrono::seconds kHeaderDeadline{10};

    ConsoleServer(CameraRoster& cameras, EventHub& events, ServerOptions options);
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
    // The page's event stream, and a camera's live picture stream; a 503
    // when kMaxStreams are open.
    int OpenEventStream(MHD_Connection* connection);
    int OpenPictureStream(MHD_Connection* connection, std::shared_ptr<ConsoleCamera> camera);
    // The camera's newest picture; 304 when it is still the one the client
    // names in If-None-Match.
    int SendSnapshot(MHD_Connection* connection, ConsoleCamera& camera);
    // POST /api/cameras (add) and /api/cameras/N/{remove,change}.
    int HandleRosterPost(MHD_Connection* connection, int id, const std::string& verb, const nlohmann::json& body);
    std::shared_ptr<ConsoleCamera> FindCamera(const std::string& text) const;
    bool HostAllowed(MHD_Connection* connection) const;
    int AskForPassword(MHD_Connection* connection, bool stale);
    // Takes one of the kMaxStreams places; false when none is free.
    bool TakeStream();
    // The header deadline: connections still waiting for a request's
    // headers, by when they must have them.
    void AwaitHeaders(MHD_Connection* connection);
    void HeadersArrived(MHD_Connection* connection);
    void Forget(MHD_Connection* connection);
    void EnforceDeadlines();

    struct Pending {
        int socket = -1;
        std::chrono::steady_clock::time_point deadline;
    };

    CameraRoster& m_cameras;
    EventHub& m_events;
    ServerOptions m_options;
    std::array<unsigned char, 32> m_nonceSecret{};  // read by libmicrohttpd's threads
    MHD_Daemon* m_daemon = nullptr;
    std::uint16_t m_port = 0;
    bool m_loopback = true;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_pictureStreams{0};
    std::atomic<int> m_eventStreams{0};
    std::atomic<int> m_streams{0};  // both kinds

    // Written by libmicrohttpd's threads, read by the deadline thread, which
    // shuts a late connection's socket down; an entry is removed before
    // libmicrohttpd closes the socket, so a reused descriptor is never hit.
    brevane::Mutex m_pendingMutex;
    std::condition_variable m_pendingWake;
    std::map<MHD_Connection*, Pending> m_pending GUARDED_BY(m_pendingMutex);
    bool m_deadlinesStop GUARDED_BY(m_pendingMutex) = false;
    std::thread m_deadlines;
};

}  // namespace darvik::console
