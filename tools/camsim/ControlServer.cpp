// The control side of the simulator: JSON under "/control/" on a port of its
// own, so that no camera fault (refused connections, stalls) can lock the
// user out of clearing it. Served by one internal MHD thread: every control
// request is answered at once.
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <map>
#include <string>

#include "ControlApi.h"
#include "SimulatorImpl.h"

namespace darvik::camsim {

namespace {

constexpr std::size_t kMaxBody = 64 * 1024;

struct RequestBody {
    std::string data;
    bool tooLarge = false;
};

MHD_Result CollectArgument(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto& args = *static_cast<std::map<std::string, std::string>*>(cls);
    if (key != nullptr) {
        args.emplace(key, value != nullptr ? value : "");
    }
    return MHD_YES;
}

MHD_Result Send(MHD_Connection* connection, const ControlReply& reply) {
    MHD_Response* response = MHD_create_response_from_buffer(
        reply.body.size(), const_cast<char*>(reply.body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json");
    const MHD_Result result = MHD_queue_response(connection, reply.status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result OnControl(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char* uploadData, std::size_t* uploadSize, void** requestContext) {
    auto& simulator = *static_cast<Simulator*>(cls);
    auto* body = static_cast<RequestBody*>(*requestContext);
    if (body == nullptr) {
        *requestContext = new RequestBody();
        return MHD_YES;
    }
    if (*uploadSize != 0) {
        if (body->data.size() + *uploadSize > kMaxBody) {
            body->tooLarge = true;
        } else {
            body->data.append(uploadData, *uploadSize);
        }
        *uploadSize = 0;
        return MHD_YES;
    }
    if (body->tooLarge) {
        return Send(connection, {413, "{\"error\": \"request body too large\"}\n"});
    }
    const std::string path(url != nullptr ? url : "");
    std::string relative;
    if (path == "/control") {
        relative = "";
    } else if (path.starts_with("/control/")) {
        relative = path.substr(9);
    } else {
        return Send(connection, {404, "{\"error\": \"the control interface lives under /control/\"}\n"});
    }
    std::map<std::string, std::string> args;
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &CollectArgument, &args);
    ControlReply reply;
    try {
        reply = HandleControl(simulator, method, relative, args, body->data);
    } catch (const std::exception&) {
        // Nothing may leave this C callback by exception.
        reply = {500, std::string("{\"error\": \"internal error\"}\n")};
    }
    return Send(connection, reply);
}

void OnCompleted(void*, MHD_Connection*, void** requestContext, MHD_RequestTerminationCode) {
    delete static_cast<RequestBody*>(*requestContext);
    *requestContext = nullptr;
}

}  // namespace

bool StartControlServer(Simulator& simulator, Simulator::Impl& impl, std::string* error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(impl.config.controlPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    impl.controlDaemon = MHD_start_daemon(
        MHD_USE_AUTO_INTERNAL_THREAD, impl.config.controlPort, nullptr, nullptr, &OnControl, &simulator,
        MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted, nullptr,
        MHD_OPTION_CONNECTION_LIMIT, 64u, MHD_OPTION_CONNECTION_TIMEOUT, 30u, MHD_OPTION_END);
    if (impl.controlDaemon == nullptr) {
        if (error != nullptr) {
            *error = "cannot serve the control interface on 127.0.0.1:" + std::to_string(impl.config.controlPort) +
                     " (port taken?)";
        }
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(impl.controlDaemon, MHD_DAEMON_INFO_BIND_PORT);
    impl.controlPort = info != nullptr ? info->port : impl.config.controlPort;
    return true;
}

}  // namespace darvik::camsim
