// The camera side of the simulator: libmicrohttpd in thread-per-connection
// mode, so a delayed, stalled or endless reply holds only its own
// connection's thread. Every wait here is a wait on the simulator's stop
// condition, so Stop ends them all at once.
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <random>
#include <sstream>
#include <string_view>

#include "CameraServerShared.h"

namespace darvik::camsim {

namespace server {

AuthScheme SchemeOf(MHD_Connection* connection) {
    const char* header = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    if (header == nullptr) {
        return AuthScheme::None;
    }
    std::string word;
    for (const char* p = header; *p != '\0' && *p != ' '; ++p) {
        word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*p))));
    }
    if (word == "basic") return AuthScheme::Basic;
    if (word == "digest") return AuthScheme::Digest;
    return AuthScheme::Other;
}

bool PeerGone(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info == nullptr) {
        return false;
    }
    pollfd fd{info->connect_fd, POLLRDHUP, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

MHD_Response* TextResponse(const std::string& body) {
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response != nullptr) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain");
    }
    return response;
}

MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    if (response == nullptr) {
        return MHD_NO;
    }
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

}  // namespace server

using namespace server;

namespace {

// Per connection: the raw target of the request being handled. Requests on
// one connection come one after another, so one record serves them all.
struct ConnectionContext {
    std::string target;
    bool handled = false;
};

void OnConnection(void*, MHD_Connection*, void** socketContext, MHD_ConnectionNotificationCode code) {
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        *socketContext = new (std::nothrow) ConnectionContext();
    } else {
        delete static_cast<ConnectionContext*>(*socketContext);
        *socketContext = nullptr;
    }
}

// Sees the request target before MHD splits off and decodes the query, so
// the log and the dispatch work on exactly what the client sent.
void* OnUri(void*, const char* uri, MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    auto* context = info != nullptr ? static_cast<ConnectionContext*>(info->socket_context) : nullptr;
    if (context != nullptr) {
        try {
            context->target = uri != nullptr ? uri : "";
        } catch (const std::exception&) {
            context->target.clear();  // the handler falls back to MHD's path
        }
        context->handled = false;
    }
    return context;
}

MHD_Result OnAccept(void* cls, const sockaddr*, socklen_t) {
    auto& impl = *static_cast<Impl*>(cls);
    if (impl.TakeConnectionRefusal()) {
        ++impl.refusedConnections;
        return MHD_NO;
    }
    return MHD_YES;
}

// ---- reply faults ---------------------------------------------------------

std::string Garbage(std::size_t size) {
    static std::atomic<std::uint32_t> seed{0x2545F491u};
    std::uint32_t x = seed.fetch_add(0x9E3779B9u);
    std::string bytes;
    bytes.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        char c = static_cast<char>(x >> 24);
        // No separator anywhere, so no line can read as name:value.
        bytes.push_back(c == ':' ? '#' : c);
    }
    return bytes;
}

// A reply body sent from a callback: the text, then filler lines up to
// `size` bytes (the length announced), and the connection closed after
// `limit` bytes when that is less.
struct CallbackBody {
    std::string body;
    std::uint64_t size = 0;
    std::uint64_t limit = 0;
    // Sends one byte each this many milliseconds (0: as fast as it goes).
    std::uint32_t dripMs = 0;
    Impl* impl = nullptr;
};

// One filler line; the padding is made of copies of it, cut where the size
// says.
constexpr std::string_view kFillerLine = "z_fill:xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";

ssize_t ReadCallbackBody(void* cls, std::uint64_t pos, char* buffer, std::size_t max) {
    const auto& reply = *static_cast<CallbackBody*>(cls);
    if (pos >= reply.limit) {
        return MHD_CONTENT_READER_END_WITH_ERROR;
    }
    std::size_t count = std::min<std::uint64_t>(max, reply.limit - pos);
    if (reply.dripMs > 0) {
        // One connection thread each: sleeping here holds back only this reply.
        if (!reply.impl->SleepUntil(Impl::Clock::now() + std::chrono::milliseconds(reply.dripMs))) {
            return MHD_CONTENT_READER_END_WITH_ERROR;
        }
        count = std::min<std::size_t>(count, 1);
    }
    for (std::size_t done = 0; done < count;) {
        const std::uint64_t at = pos + done;
        std::size_t piece = 0;
        if (at < reply.body.size()) {
            piece = std::min<std::size_t>(count - done, reply.body.size() - at);
            std::memcpy(buffer + done, reply.body.data() + at, piece);
        } else {
            const std::size_t offset = static_cast<std::size_t>((at - reply.body.size()) % kFillerLine.size());
            piece = std::min(count - done, kFillerLine.size() - offset);
            std::memcpy(buffer + done, kFillerLine.data() + offset, piece);
        }
        done += piece;
    }
    return static_cast<ssize_t>(count);
}

void FreeCallbackBody(void* cls) { delete static_cast<CallbackBody*>(cls); }

// Gives the named lines of a get reply the values of the fault, whatever
// bytes they hold.
std::string OverrideValues(const std::string& body, const std::map<std::string, std::string>& values) {
    std::string out;
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t end = body.find("\r\n", pos);
        end = end == std::string::npos ? body.size() : end + 2;
        const std::string_view line(body.data() + pos, end - pos);
        const std::size_t colon = line.find(':');
        const auto value = colon == std::string_view::npos ? values.end()
                                                           : values.find(std::string(line.substr(0, colon)));
        if (value != values.end()) {
            out.append(line.substr(0, colon + 1)).append(value->second).append("\r\n");
        } else {
            out.append(line);
        }
        pos = end;
    }
    return out;
}

// ---- requests -------------------------------------------------------------

// The faults that hold a request back: a reset, a delay, a stall. False when
// the connection is to be dropped instead of answered.
bool HoldBack(Impl& impl, MHD_Connection* connection, const std::string& target, const Faults& faults,
              bool applies) {
    if (applies && faults.resetRequests) {
        return false;
    }
    if (applies && faults.delayMs > 0 &&
        !impl.SleepUntil(Impl::Clock::now() + std::chrono::milliseconds(faults.delayMs))) {
        return false;
    }
    return impl.WaitWhileStalled(target, [connection] { return PeerGone(connection); });
}

// Queues a CGI reply, garbled, padded or cut off when the faults say so.
MHD_Result QueueReply(Impl& impl, MHD_Connection* connection, CgiReply reply, const Faults& faults,
                      bool applies, unsigned& status) {
    if (applies && faults.garbage) {
        reply.body = Garbage(reply.body.size() + 64);
    }
    status = reply.status;
    std::uint64_t size = reply.body.size();
    if (applies && faults.padRepliesTo > size) {
        size = faults.padRepliesTo;
    }
    std::uint64_t limit = size;
    if (applies && faults.cutAfterBytes && *faults.cutAfterBytes < size) {
        limit = *faults.cutAfterBytes;
    }
    const std::uint32_t dripMs = applies ? faults.dripIntervalMs : 0;
    if (size > reply.body.size() || limit < size || dripMs > 0) {
        auto* body = new CallbackBody{std::move(reply.body), size, limit, dripMs, &impl};
        MHD_Response* response =
            MHD_create_response_from_callback(size, 64 * 1024, ReadCallbackBody, body, FreeCallbackBody);
        if (response == nullptr) {
            delete body;
            status = 0;
            return MHD_NO;
        }
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain");
        return Queue(connection, status, response);
    }
    return Queue(connection, status, TextResponse(reply.body));
}

MHD_Result Handle(Impl& impl, MHD_Connection* connection, const char* method, const std::string& raw,
                  unsigned& status) {
    status = 0;
    // Targets may come with or without the leading "/"; faults and the
    // dispatch see them with it.
    const std::string target = (!raw.empty() && raw[0] == '/') ? raw : "/" + raw;
    Faults faults = impl.FaultsSnapshot();
    const bool applies = FaultApplies(faults, target);
    if (!HoldBack(impl, connection, target, faults, applies)) {
        return MHD_NO;
    }
    faults = impl.FaultsSnapshot();  // may have changed while held back

    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
        status = MHD_HTTP_METHOD_NOT_ALLOWED;
        return Queue(connection, status, TextResponse("Method Not Allowed\r\n"));
    }
    MHD_Result queued = MHD_NO;
    if (!Authorize(impl, connection, method, target.c_str(), SchemeOf(connection), queued)) {
        status = queued == MHD_YES ? MHD_HTTP_UNAUTHORIZED : 0;
        return queued;
    }
    for (const PathStatus& fixed : faults.pathStatus) {
        if (target.starts_with(fixed.prefix)) {
            status = fixed.status;
            return Queue(connection, status, TextResponse(fixed.body));
        }
    }

    const std::size_t question = target.find('?');
    const std::string path = target.substr(0, question);
    const std::string query = question == std::string::npos ? std::string() : target.substr(question + 1);
    const auto now = Impl::Clock::now();
    if (path == "/cgi-bin/get" && CameraModel::IsStreamGroup(query)) {
        return ServeStream(impl, connection, query, status);
    }
    CgiReply reply{MHD_HTTP_NOT_FOUND, "Not Found\r\n"};
    if (path == "/cgi-bin/get") {
        reply = impl.model.Get(query, applies ? faults.padding : ValuePadding::None, now);
        if (applies && !faults.values.empty() && reply.status == MHD_HTTP_OK) {
            reply.body = OverrideValues(reply.body, faults.values);
        }
    } else if (path == "/cgi-bin/set") {
        reply = impl.model.Set(query, now);
    }
    return QueueReply(impl, connection, std::move(reply), faults, applies, status);
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char*, std::size_t* uploadSize, void** requestContext) {
    auto& impl = *static_cast<Impl*>(cls);
    auto* context = static_cast<ConnectionContext*>(*requestContext);
    if (context == nullptr) {
        return MHD_NO;
    }
    if (context->handled) {
        *uploadSize = 0;  // a body sent with a camera request is ignored
        return MHD_YES;
    }
    context->handled = true;
    // Nothing may leave these C callbacks by exception; out of memory drops
    // the connection.
    try {
        const std::string raw = context->target.empty() ? std::string(url) : context->target;
        const std::uint64_t sequence = impl.AppendLog(raw, SchemeOf(connection));
        unsigned status = 0;
        const MHD_Result result = Handle(impl, connection, method, raw, status);
        impl.SetLogStatus(sequence, result == MHD_YES ? status : 0);
        return result;
    } catch (const std::exception&) {
        return MHD_NO;
    }
}

bool ReadFile(const std::string& path, std::string& contents) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    contents = text.str();
    return !contents.empty();
}

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr) {
        *error = text;
    }
    return false;
}

// Reads the certificate and key for HTTPS.
bool LoadTls(Impl& impl, std::string* error) {
    const Config& config = impl.config;
    if (config.httpsCertFile.empty() || config.httpsKeyFile.empty()) {
        return Fail(error, "HTTPS needs both a certificate and a key file");
    }
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        return Fail(error, "this libmicrohttpd has no TLS support");
    }
    if (!ReadFile(config.httpsCertFile, impl.certPem)) {
        return Fail(error, "cannot read the certificate file " + config.httpsCertFile);
    }
    if (!ReadFile(config.httpsKeyFile, impl.keyPem)) {
        return Fail(error, "cannot read the key file " + config.httpsKeyFile);
    }
    return true;
}

}  // namespace

bool StartCameraServer(Impl& impl, std::string* error) {
    const Config& config = impl.config;
    for (const InputToggle& toggle : config.inputScript) {
        if (toggle.periodMs == 0 || toggle.input >= config.inputCount) {
            return Fail(error, "input script: input " + std::to_string(toggle.input) + " every " +
                                   std::to_string(toggle.periodMs) + " ms is not possible");
        }
    }
    impl.https = !config.httpsCertFile.empty() || !config.httpsKeyFile.empty();
    if (impl.https && !LoadTls(impl, error)) {
        return false;
    }
    if (impl.digestRandom.empty()) {
        std::random_device random;
        for (int i = 0; i < 32; ++i) {
            impl.digestRandom.push_back(static_cast<char>(random() & 0xFF));
        }
    }

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(config.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_SOCK_ADDR, 0, &address},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&OnConnection), &impl},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&OnUri), &impl},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(config.maxConnections), nullptr},
        {MHD_OPTION_DIGEST_AUTH_RANDOM, static_cast<intptr_t>(impl.digestRandom.size()), impl.digestRandom.data()},
        {MHD_OPTION_NONCE_NC_SIZE, 4096, nullptr},
    };
    // poll() rather than select(), which cannot watch a descriptor past
    // FD_SETSIZE (1024): a host with a thousand channels gets there.
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL;
    if (impl.https) {
        flags |= MHD_USE_TLS;
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, impl.keyPem.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, impl.certPem.data()});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});

    impl.daemon = MHD_start_daemon(flags, config.port, &OnAccept, &impl, &OnRequest, &impl, MHD_OPTION_ARRAY,
                                   options.data(), MHD_OPTION_END);
    if (impl.daemon == nullptr) {
        return Fail(error, "cannot serve on 127.0.0.1:" + std::to_string(config.port) +
                               (impl.https ? " (port taken, or the certificate and key do not fit)"
                                           : " (port taken?)"));
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(impl.daemon, MHD_DAEMON_INFO_BIND_PORT);
    impl.port = info != nullptr ? info->port : config.port;
    return true;
}

}  // namespace darvik::camsim
