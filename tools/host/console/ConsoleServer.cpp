#include "console/ConsoleServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <random>

#include "console/Assets.h"

namespace darvik::console {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxBody = 16 * 1024;
// Each connection has a thread of its own; none needs the default 8 MiB.
constexpr std::size_t kThreadStack = 1024 * 1024;
constexpr auto kKeepAlive = std::chrono::milliseconds(1000);
constexpr const char* kRealm = "darvik-host console";
constexpr const char* kBoundary = "darvikframe";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string Header(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value != nullptr ? value : "";
}

// Headers every answer carries: nothing is cached, nothing framed, and the
// page may load nothing but its own files.
void Harden(MHD_Response* response) {
    MHD_add_response_header(response, "Cache-Control", "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    // No other site may embed the pictures (or anything else) in its page.
    MHD_add_response_header(response, "Cross-Origin-Resource-Policy", "same-origin");
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'self'; img-src 'self' data: blob:; frame-ancestors 'none'");
}

MHD_Result Send(MHD_Connection* connection, unsigned status, const std::string& body, const char* type) {
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, "Content-Type", type);
    Harden(response);
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result SendJson(MHD_Connection* connection, unsigned status, const json& body) {
    return Send(connection, status, body.dump(), "application/json");
}

MHD_Result SendError(MHD_Connection* connection, unsigned status, const std::string& reason) {
    return SendJson(connection, status, json{{"ok", false}, {"error", reason}});
}

// A 503 that also ends the connection, so that a refused stream does not
// keep a connection alive.
MHD_Result SendBusy(MHD_Connection* connection, const std::string& reason) {
    const std::string body = json{{"ok", false}, {"error", reason}}.dump();
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, "Content-Type", "application/json");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, "5");
    Harden(response);
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_SERVICE_UNAVAILABLE, response);
    MHD_destroy_response(response);
    return result;
}

// An exception that reached the top of one of libmicrohttpd's threads.
void ReportEscaped(const char* where, const std::exception& error) {
    std::fprintf(stderr, "darvik-host console: %s: %s (caught; the console goes on)\n", where, error.what());
}

// The host name of a Host header value ("127.0.0.1:8088", "[::1]:8088").
std::string HostName(const std::string& host) {
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        return close == std::string::npos ? host : host.substr(1, close - 1);
    }
    return host.substr(0, host.find(':'));
}

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
    if (Lower(address) == "localhost") {
        return true;
    }
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool ParseListenAddress(const std::string& text, std::string& address, std::uint16_t& port, std::string& error) {
    std::string host = text;
    std::string portText;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
            error = "--listen wants ADDR:PORT or [V6]:PORT, not \"" + text + "\"";
            return false;
        }
        host = text.substr(1, close - 1);
        portText = close + 2 <= text.size() ? text.substr(close + 2) : "";
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.find(':') != std::string::npos) {
            error = "write an IPv6 address in brackets: [" + host + "]:PORT";
            return false;
        }
    }
    if (host.empty()) {
        host = "127.0.0.1";
    }
    if (Lower(host) == "localhost") {
        host = "127.0.0.1";
    }
    long value = 8088;
    if (!portText.empty()) {
        char* end = nullptr;
        value = std::strtol(portText.c_str(), &end, 10);
        if (*end != '\0' || value < 0 || value > 65535) {
            error = "invalid port \"" + portText + "\" in --listen";
            return false;
        }
    }
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, host.c_str(), &v4) != 1 && inet_pton(AF_INET6, host.c_str(), &v6) != 1) {
        error = "--listen wants a numeric address, not \"" + host + "\"";
        return false;
    }
    address = host;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// What one request collected before it is answered.
struct ConsoleServer::Request {
    std::string body;
    bool tooLarge = false;
};

// One viewer of a camera's live picture: the part being sent, never more.
struct ConsoleServer::PictureStream {
    ConsoleServer* server = nullptr;
    ConsoleCamera* camera = nullptr;
    std::uint64_t serial = 0;  // of the picture last sent
    std::string part;          // boundary, headers, JPEG
    std::size_t offset = 0;
};

// One page's event stream: the events taken from the hub and not yet sent.
struct ConsoleServer::EventStream {
    ConsoleServer* server = nullptr;
    std::uint64_t seq = 0;
    std::string pending;
    std::size_t offset = 0;
};

struct ServerHooks {
    static MHD_Result Dispatch(void* cls, MHD_Connection* connection, const char* url, const char* method,
                               const char* /*version*/, const char* upload, std::size_t* uploadSize, void** state) {
        auto* server = static_cast<ConsoleServer*>(cls);
        try {
            return Handle(server, connection, url, method, upload, uploadSize, state);
        } catch (const std::exception& error) {
            ReportEscaped("a request", error);
            return MHD_NO;  // ends the connection; the console goes on
        }
    }

    static MHD_Result Handle(ConsoleServer* server, MHD_Connection* connection, const char* url, const char* method,
                             const char* upload, std::size_t* uploadSize, void** state) {
        if (*state == nullptr) {
            server->HeadersArrived(connection);
            *state = new ConsoleServer::Request;
            return MHD_YES;
        }
        auto* request = static_cast<ConsoleServer::Request*>(*state);
        if (*uploadSize != 0) {
            if (request->body.size() + *uploadSize > kMaxBody) {
                request->tooLarge = true;
            } else {
                request->body.append(upload, *uploadSize);
            }
            *uploadSize = 0;
            return MHD_YES;
        }
        return static_cast<MHD_Result>(server->Respond(connection, url, method, *request));
    }

    static void Completed(void* cls, MHD_Connection* connection, void** state, MHD_RequestTerminationCode reason) {
        delete static_cast<ConsoleServer::Request*>(*state);
        *state = nullptr;
        // A kept-alive connection waits for its next request's headers.
        if (reason == MHD_REQUEST_TERMINATED_COMPLETED_OK) {
            static_cast<ConsoleServer*>(cls)->AwaitHeaders(connection);
        }
    }

    static void Connection(void* cls, MHD_Connection* connection, void** /*socketContext*/,
                           MHD_ConnectionNotificationCode code) {
        auto* server = static_cast<ConsoleServer*>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            server->AwaitHeaders(connection);
        } else {
            server->Forget(connection);
        }
    }

    // Sends the newest picture each time the viewer took the previous one
    // whole; waits for a newer one, and after a second without one sends the
    // same again, which also finds out about a viewer that left.
    static ssize_t ReadPictures(void* cls, std::uint64_t position, char* buffer, std::size_t max) {
        try {
            return NextPictures(cls, position, buffer, max);
        } catch (const std::exception& error) {
            ReportEscaped("a picture stream", error);
            return MHD_CONTENT_READER_END_WITH_ERROR;
        }
    }

    static ssize_t ReadEvents(void* cls, std::uint64_t position, char* buffer, std::size_t max) {
        try {
            return NextEvents(cls, position, buffer, max);
        } catch (const std::exception& error) {
            ReportEscaped("an event stream", error);
            return MHD_CONTENT_READER_END_WITH_ERROR;
        }
    }

    static ssize_t NextPictures(void* cls, std::uint64_t /*position*/, char* buffer, std::size_t max) {
        auto* stream = static_cast<ConsoleServer::PictureStream*>(cls);
        if (stream->offset == stream->part.size()) {
            auto picture = stream->camera->Pictures().WaitNewer(stream->serial, kKeepAlive);
            if (stream->server->m_stopping.load()) {
                return MHD_CONTENT_READER_END_OF_STREAM;
            }
            if (!picture) {
                // No picture yet: blank lines before the first part are allowed.
                stream->part = "\r\n";
            } else {
                stream->serial = picture->serial;
                stream->part = std::string("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                               std::to_string(picture->jpeg.size()) + "\r\n\r\n";
                stream->part += picture->jpeg;
                stream->part += "\r\n";
            }
            stream->offset = 0;
        }
        const std::size_t count = std::min(max, stream->part.size() - stream->offset);
        std::memcpy(buffer, stream->part.data() + stream->offset, count);
        stream->offset += count;
        return static_cast<ssize_t>(count);
    }

    static ssize_t NextEvents(void* cls, std::uint64_t /*position*/, char* buffer, std::size_t max) {
        auto* stream = static_cast<ConsoleServer::EventStream*>(cls);
        if (stream->offset == stream->pending.size()) {
            const std::vector<Event> events = stream->server->m_events.Follow(&stream->seq, kKeepAlive);
            if (stream->server->m_stopping.load() || stream->server->m_events.IsShutDown()) {
                return MHD_CONTENT_READER_END_OF_STREAM;
            }
            stream->pending.clear();
            stream->offset = 0;
            for (const Event& event : events) {
                stream->pending += "id: " + std::to_string(event.seq) + "\nevent: " + event.name +
                                   "\ndata: " + event.data + "\n\n";
            }
            if (stream->pending.empty()) {
                stream->pending = ": still here\n\n";  // a comment; finds out about a page that left
            }
        }
        const std::size_t count = std::min(max, stream->pending.size() - stream->offset);
        std::memcpy(buffer, stream->pending.data() + stream->offset, count);
        stream->offset += count;
        return static_cast<ssize_t>(count);
    }

    static void FreePictures(void* cls) {
        auto* stream = static_cast<ConsoleServer::PictureStream*>(cls);
        stream->server->m_pictureStreams.fetch_sub(1);
        stream->server->m_streams.fetch_sub(1);
        delete stream;
    }

    static void FreeEvents(void* cls) {
        auto* stream = static_cast<ConsoleServer::EventStream*>(cls);
        stream->server->m_eventStreams.fetch_sub(1);
        stream->server->m_streams.fetch_sub(1);
        delete stream;
    }
};

ConsoleServer::ConsoleServer(std::vector<ConsoleCamera*> cameras, EventHub& events, ServerOptions options)
    : m_cameras(std::move(cameras)), m_events(events), m_options(std::move(options)) {}

ConsoleServer::~ConsoleServer() { Stop(); }

std::string ConsoleServer::Url() const {
    const bool v6 = m_options.address.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + m_options.address + "]" : m_options.address) + ":" + std::to_string(m_port) + "/";
}

bool ConsoleServer::Start(std::string& error) {
    m_loopback = IsLoopbackAddress(m_options.address);
    if (!m_loopback && m_options.password.empty()) {
        error = "listening on " + m_options.address +
                " lets other machines steer the cameras: give --console-password (or listen on 127.0.0.1)";
        return false;
    }
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* address = nullptr;
    // poll() rather than select(), which cannot watch descriptors past 1023.
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL_INTERNAL_THREAD;
    if (inet_pton(AF_INET, m_options.address.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(m_options.port);
        address = reinterpret_cast<const sockaddr*>(&v4);
    } else if (inet_pton(AF_INET6, m_options.address.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(m_options.port);
        address = reinterpret_cast<const sockaddr*>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        error = "not a numeric address: " + m_options.address;
        return false;
    }
    std::random_device random;
    for (unsigned char& byte : m_nonceSecret) {
        byte = static_cast<unsigned char>(random());
    }
    m_daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &ServerHooks::Dispatch, this, MHD_OPTION_SOCK_ADDR, address,
        MHD_OPTION_NOTIFY_COMPLETED, &ServerHooks::Completed, this, MHD_OPTION_NOTIFY_CONNECTION,
        &ServerHooks::Connection, this, MHD_OPTION_CONNECTION_LIMIT, kMaxConnections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, kMaxConnectionsPerAddress, MHD_OPTION_THREAD_STACK_SIZE, kThreadStack,
        MHD_OPTION_CONNECTION_TIMEOUT, 60u, MHD_OPTION_DIGEST_AUTH_RANDOM, m_nonceSecret.size(), m_nonceSecret.data(),
        MHD_OPTION_NONCE_NC_SIZE, 1024u, MHD_OPTION_END);
    if (m_daemon == nullptr) {
        error = "cannot listen on " + m_options.address + ":" + std::to_string(m_options.port) +
                " (address taken or not on this machine)";
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info != nullptr ? info->port : m_options.port;
    m_deadlines = std::thread([this] { EnforceDeadlines(); });
    return true;
}

void ConsoleServer::AwaitHeaders(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info == nullptr) {
        return;
    }
    brevane::MutexLock lock(m_pendingMutex);
    m_pending[connection] = Pending{info->connect_fd, std::chrono::steady_clock::now() + kHeaderDeadline};
}

void ConsoleServer::HeadersArrived(MHD_Connection* connection) {
    brevane::MutexLock lock(m_pendingMutex);
    m_pending.erase(connection);
}

void ConsoleServer::Forget(MHD_Connection* connection) {
    brevane::MutexLock lock(m_pendingMutex);
    m_pending.erase(connection);
}

void ConsoleServer::EnforceDeadlines() {
    brevane::UniqueMutexLock lock(m_pendingMutex);
    while (!m_deadlinesStop) {
        m_pendingWake.wait_for(lock.Native(), std::chrono::milliseconds(250));
        const auto now = std::chrono::steady_clock::now();
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->second.deadline <= now) {
                // The connection's own thread then reads the end of the
                // stream and closes it as usual.
                ::shutdown(it->second.socket, SHUT_RDWR);
                it = m_pending.erase(it);
            } else {
                ++it;
            }
        }
    }
}

bool ConsoleServer::TakeStream() {
    if (m_streams.fetch_add(1) >= kMaxStreams) {
        m_streams.fetch_sub(1);
        return false;
    }
    return true;
}

void ConsoleServer::Stop() {
    if (m_daemon == nullptr) {
        return;
    }
    m_stopping.store(true);
    m_events.Shutdown();
    for (ConsoleCamera* camera : m_cameras) {
        camera->Pictures().Shutdown();
    }
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    {
        brevane::MutexLock lock(m_pendingMutex);
        m_deadlinesStop = true;
        m_pending.clear();
    }
    m_pendingWake.notify_all();
    if (m_deadlines.joinable()) {
        m_deadlines.join();
    }
}

ConsoleCamera* ConsoleServer::FindCamera(const std::string& text) const {
    for (ConsoleCamera* camera : m_cameras) {
        if (std::to_string(camera->Id()) == text) {
            return camera;
        }
    }
    return nullptr;
}

bool ConsoleServer::HostAllowed(MHD_Connection* connection) const {
    if (!m_loopback) {
        return true;  // the password guards it
    }
    const std::string host = Header(connection, MHD_HTTP_HEADER_HOST);
    return host.empty() || IsLoopbackAddress(HostName(host));
}

int ConsoleServer::AskForPassword(MHD_Connection* connection, bool stale) {
    static const char kText[] = "the console wants a password\n";
    MHD_Response* response = MHD_create_response_from_buffer(sizeof(kText) - 1, const_cast<char*>(kText),
                                                             MHD_RESPMEM_PERSISTENT);
    if (response == nullptr) {
        return MHD_NO;
    }
    Harden(response);
    const MHD_Result result =
        MHD_queue_auth_fail_response2(connection, kRealm, "darvik", response, stale ? MHD_YES : MHD_NO,
                                      MHD_DIGEST_ALG_MD5);
    MHD_destroy_response(response);
    return result;
}

int ConsoleServer::Respond(MHD_Connection* connection, const std::string& url, const std::string& method,
                           Request& request) {
    if (!HostAllowed(connection)) {
        return SendError(connection, MHD_HTTP_FORBIDDEN, "this console answers to loopback host names only");
    }
    if (!m_options.password.empty()) {
        char* user = MHD_digest_auth_get_username(connection);
        const bool knownUser = user != nullptr && m_options.user == user;
        if (user != nullptr) {
            MHD_free(user);
        }
        const int check = knownUser ? MHD_digest_auth_check2(connection, kRealm, m_options.user.c_str(),
                                                             m_options.password.c_str(), 300, MHD_DIGEST_ALG_MD5)
                                    : MHD_NO;
        if (check != MHD_YES) {
            return AskForPassword(connection, check == MHD_INVALID_NONCE);
        }
    }
    if (method == MHD_HTTP_METHOD_GET || method == MHD_HTTP_METHOD_HEAD) {
        return HandleGet(connection, url);
    }
    if (method == MHD_HTTP_METHOD_POST) {
        return HandlePost(connection, url, request);
    }
    return SendError(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "GET or POST only");
}

int ConsoleServer::HandleGet(MHD_Connection* connection, const std::string& url) {
    if (url == "/" || url == "/index.html") {
        return Send(connection, MHD_HTTP_OK, std::string(kConsoleHtml), "text/html; charset=utf-8");
    }
    if (url == "/console.css") {
        return Send(connection, MHD_HTTP_OK, std::string(kConsoleCss), "text/css; charset=utf-8");
    }
    if (url == "/console.js") {
        return Send(connection, MHD_HTTP_OK, std::string(kConsoleJs), "text/javascript; charset=utf-8");
    }
    if (url == "/api/health") {
        return SendJson(connection, MHD_HTTP_OK,
                        json{{"cameras", m_cameras.size()},
                             {"pictureStreams", m_pictureStreams.load()},
                             {"eventStreams", m_eventStreams.load()}});
    }
    if (url == "/events") {
        if (!TakeStream()) {
            return SendBusy(connection, "too many open streams; close a page and try again");
        }
        auto* stream = new EventStream{this, 0, "retry: 2000\n\n", 0};
        m_eventStreams.fetch_add(1);
        MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16 * 1024,
                                                                   &ServerHooks::ReadEvents, stream,
                                                                   &ServerHooks::FreeEvents);
        if (response == nullptr) {
            ServerHooks::FreeEvents(stream);
            return MHD_NO;
        }
        MHD_add_response_header(response, "Content-Type", "text/event-stream");
        Harden(response);
        const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
        MHD_destroy_response(response);
        return result;
    }
    // /api/cameras/N/live.mjpg and /api/cameras/N/snapshot.jpg
    const std::string prefix = "/api/cameras/";
    if (url.rfind(prefix, 0) == 0) {
        const std::string rest = url.substr(prefix.size());
        const auto slash = rest.find('/');
        ConsoleCamera* camera = slash == std::string::npos ? nullptr : FindCamera(rest.substr(0, slash));
        const std::string what = slash == std::string::npos ? "" : rest.substr(slash + 1);
        if (camera != nullptr && what == "snapshot.jpg") {
            const auto picture = camera->Pictures().Latest();
            if (!picture) {
                return SendError(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "no picture has arrived yet");
            }
            return Send(connection, MHD_HTTP_OK, picture->jpeg, "image/jpeg");
        }
        if (camera != nullptr && what == "live.mjpg") {
            if (!TakeStream()) {
                return SendBusy(connection, "too many open streams; close a page and try again");
            }
            auto* stream = new PictureStream{this, camera, 0, {}, 0};
            m_pictureStreams.fetch_add(1);
            MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 32 * 1024,
                                                                       &ServerHooks::ReadPictures, stream,
                                                                       &ServerHooks::FreePictures);
            if (response == nullptr) {
                ServerHooks::FreePictures(stream);
                return MHD_NO;
            }
            MHD_add_response_header(response, "Content-Type",
                                    (std::string("multipart/x-mixed-replace; boundary=") + kBoundary).c_str());
            Harden(response);
            const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
            MHD_destroy_response(response);
            return result;
        }
    }
    return SendError(connection, MHD_HTTP_NOT_FOUND, "no such page");
}

int ConsoleServer::HandlePost(MHD_Connection* connection, const std::string& url, Request& request) {
    // A page of another site may send a POST here but cannot make its
    // Origin ours.
    const std::string origin = Lower(Header(connection, "Origin"));
    const std::string host = Lower(Header(connection, MHD_HTTP_HEADER_HOST));
    if (origin.empty() || host.empty() || origin != "http://" + host) {
        return SendError(connection, MHD_HTTP_FORBIDDEN, "a change must come from the console's own page");
    }
    if (request.tooLarge) {
        return SendError(connection, MHD_HTTP_CONTENT_TOO_LARGE, "the body is too large");
    }
    const json body = json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        return SendError(connection, MHD_HTTP_BAD_REQUEST, "the body must be a JSON object");
    }
    const std::string prefix = "/api/cameras/";
    const auto slash = url.find('/', prefix.size());
    ConsoleCamera* camera =
        url.rfind(prefix, 0) == 0 && slash != std::string::npos ? FindCamera(url.substr(prefix.size(), slash - prefix.size()))
                                                                 : nullptr;
    if (camera == nullptr) {
        return SendError(connection, MHD_HTTP_NOT_FOUND, "no such camera");
    }
    const json answer = camera->Command(url.substr(slash + 1), body);
    return SendJson(connection, answer.value("ok", false) ? MHD_HTTP_OK : MHD_HTTP_UNPROCESSABLE_CONTENT, answer);
}

}  // namespace darvik::console
