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
#include "console/Replies.h"

namespace darvik::console {

using reply::Harden;
using reply::Header;
using reply::HostName;
using reply::Lower;
using reply::Send;
using reply::SendBusy;
using reply::SendError;
using reply::SendJson;
using reply::SendStream;
using reply::SendTagged;

namespace {

using nlohmann::json;

constexpr std::size_t kMaxBody = 16 * 1024;
// Each connection has a thread of its own; none needs the default 8 MiB.
constexpr std::size_t kThreadStack = 1024 * 1024;
constexpr auto kKeepAlive = std::chrono::milliseconds(1000);
constexpr const char* kRealm = "darvik-host console";
constexpr const char* kBoundary = "darvikframe";

// The camera number in a path: digits only, or -1.
int CameraId(const std::string& text) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return std::stoi(text);
}

// An exception that reached the top of one of libmicrohttpd's threads.
void ReportEscaped(const char* where, const std::exception& error) {
    std::fprintf(stderr, "darvik-host console: %s: %s (caught; the console goes on)\n", where, error.what());
}

}  // namespace

// What one request collected before it is answered.
struct ConsoleServer::Request {
    std::string body;
    bool tooLarge = false;
};

// One viewer of a camera's live picture: the part being sent, never more.
struct ConsoleServer::PictureStream {
    ConsoleServer* server = nullptr;
    std::shared_ptr<ConsoleCamera> camera;  // kept alive while it is watched
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
            // The console stops, or the camera left the wall.
            if (stream->server->m_stopping.load() || stream->camera->Pictures().IsShutDown()) {
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

ConsoleServer::ConsoleServer(CameraRoster& cameras, EventHub& events, ServerOptions options)
    : m_cameras(cameras), m_events(events), m_options(std::move(options)) {}

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
    for (const auto& camera : m_cameras.All()) {
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

std::shared_ptr<ConsoleCamera> ConsoleServer::FindCamera(const std::string& text) const {
    const int id = CameraId(text);
    return id < 0 ? nullptr : m_cameras.Find(id);
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
                        json{{"cameras", m_cameras.Count()},
                             {"pictureStreams", m_pictureStreams.load()},
                             {"eventStreams", m_eventStreams.load()}});
    }
    if (url == "/events") {
        return OpenEventStream(connection);
    }
    if (url == "/api/cameras") {
        return SendJson(connection, MHD_HTTP_OK, json{{"cameras", m_cameras.Describe()}, {"max", kMaxCameras}});
    }
    // /api/cameras/N/live.mjpg and /api/cameras/N/snapshot.jpg
    const std::string prefix = "/api/cameras/";
    if (url.rfind(prefix, 0) == 0) {
        const std::string rest = url.substr(prefix.size());
        const auto slash = rest.find('/');
        std::shared_ptr<ConsoleCamera> camera =
            slash == std::string::npos ? nullptr : FindCamera(rest.substr(0, slash));
        const std::string what = slash == std::string::npos ? "" : rest.substr(slash + 1);
        if (camera != nullptr && what == "snapshot.jpg") {
            return SendSnapshot(connection, *camera);
        }
        if (camera != nullptr && what == "live.mjpg") {
            return OpenPictureStream(connection, std::move(camera));
        }
    }
    return SendError(connection, MHD_HTTP_NOT_FOUND, "no such page");
}

int ConsoleServer::OpenEventStream(MHD_Connection* connection) {
    if (!TakeStream()) {
        return SendBusy(connection, "too many open streams; close a page and try again");
    }
    auto* stream = new EventStream{this, 0, "retry: 2000\n\n", 0};
    m_eventStreams.fetch_add(1);
    MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16 * 1024, &ServerHooks::ReadEvents,
                                                               stream, &ServerHooks::FreeEvents);
    if (response == nullptr) {
        ServerHooks::FreeEvents(stream);
        return MHD_NO;
    }
    return SendStream(connection, response, "text/event-stream");
}

int ConsoleServer::SendSnapshot(MHD_Connection* connection, ConsoleCamera& camera) {
    const auto picture = camera.Pictures().Latest();
    if (!picture) {
        return SendError(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "no picture has arrived yet");
    }
    // The tag names the camera's incarnation and the picture, so a camera
    // made anew under the same number never matches an old tag.
    const std::string tag = "\"" + std::to_string(camera.Serial()) + "-" + std::to_string(picture->serial) + "\"";
    if (Header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH) == tag) {
        return SendTagged(connection, MHD_HTTP_NOT_MODIFIED, {}, nullptr, tag);
    }
    return SendTagged(connection, MHD_HTTP_OK, picture->jpeg, "image/jpeg", tag);
}

int ConsoleServer::OpenPictureStream(MHD_Connection* connection, std::shared_ptr<ConsoleCamera> camera) {
    if (!TakeStream()) {
        return SendBusy(connection, "too many open streams; close a page and try again");
    }
    auto* stream = new PictureStream{this, std::move(camera), 0, {}, 0};
    m_pictureStreams.fetch_add(1);
    MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 32 * 1024,
                                                               &ServerHooks::ReadPictures, stream,
                                                               &ServerHooks::FreePictures);
    if (response == nullptr) {
        ServerHooks::FreePictures(stream);
        return MHD_NO;
    }
    return SendStream(connection, response, std::string("multipart/x-mixed-replace; boundary=") + kBoundary);
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
    if (url == "/api/cameras") {
        return HandleRosterPost(connection, -1, "add", body);
    }
    const std::string prefix = "/api/cameras/";
    const auto slash = url.find('/', prefix.size());
    const std::string number = url.rfind(prefix, 0) == 0 && slash != std::string::npos
                                   ? url.substr(prefix.size(), slash - prefix.size())
                                   : std::string();
    const std::string verb = slash == std::string::npos ? std::string() : url.substr(slash + 1);
    if (verb == "remove" || verb == "change") {
        return HandleRosterPost(connection, CameraId(number), verb, body);
    }
    std::shared_ptr<ConsoleCamera> camera = FindCamera(number);
    if (camera == nullptr) {
        return SendError(connection, MHD_HTTP_NOT_FOUND, "no such camera");
    }
    const json answer = camera->Command(verb, body);
    return SendJson(connection, answer.value("ok", false) ? MHD_HTTP_OK : MHD_HTTP_UNPROCESSABLE_CONTENT, answer);
}

int ConsoleServer::HandleRosterPost(MHD_Connection* connection, int id, const std::string& verb, const json& body) {
    CameraRoster::Outcome outcome;
    if (verb == "add") {
        outcome = m_cameras.AddFromPage(body);
    } else if (id < 0) {
        return SendError(connection, MHD_HTTP_NOT_FOUND, "no such camera");
    } else if (verb == "remove") {
        outcome = m_cameras.Remove(id);
    } else {
        outcome = m_cameras.Change(id, body);
    }
    return SendJson(connection, outcome.status, outcome.body);
}

}  // namespace darvik::console
