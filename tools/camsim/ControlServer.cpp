// The control side of the simulator: JSON under "/control/" on a port of its
// own, so that no camera fault (refused connections, stalls) can lock the
// user out of clearing it. Served by one internal MHD thread: every control
// request is answered at once. The farm serves its JSON the same way.
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <map>
#include <string>

#include "ControlApi.h"
#include "ControlServer.h"
#include "SimulatorImpl.h"

namespace darvik::camsim {

namespace {


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

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char* uploadData, std::size_t* uploadSize, void** requestContext) {
    const auto& endpoint = *static_cast<const JsonEndpoint*>(cls);
    auto* body = static_cast<RequestBody*>(*requestContext);
    if (body == nullptr) {
        *requestContext = new RequestBody();
        return MHD_YES;
    }
    if (*uploadSize != 0) {
        if (body->data.size() + *uploadSize > endpoint.maxBody) {
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
    std::map<std::string, std::string> args;
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &CollectArgument, &args);
    ControlReply reply;
    try {
        reply = endpoint.handler(method, url != nullptr ? url : "", args, body->data);
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

MHD_Daemon* StartJsonServer(std::uint16_t port, const JsonEndpoint& endpoint, std::uint16_t& boundPort,
                            std::string* error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    MHD_Daemon* daemon = MHD_start_daemon(
        MHD_USE_AUTO_INTERNAL_THREAD, port, nullptr, nullptr, &OnRequest, const_cast<JsonEndpoint*>(&endpoint),
        MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted, nullptr,
        MHD_OPTION_CONNECTION_LIMIT, 64u, MHD_OPTION_CONNECTION_TIMEOUT, 30u, MHD_OPTION_END);
    if (daemon == nullptr) {
        if (error != nullptr) {
            *error = "cannot serve on 127.0.0.1:" + std::to_string(port) + " (port taken?)";
        }
        return nullptr;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
    boundPort = info != nullptr ? info->port : port;
    return daemon;
}

bool StartControlServer(Simulator& simulator, Simulator::Impl& impl, std::string* error) {
    impl.control.handler = [&simulator](std::string_view method, std::string_view url,
                                       const std::map<std::string, std::string>& args, std::string_view body) {
        if (url == "/control") {
            url = "";
        } else if (url.starts_with("/control/")) {
            url.remove_prefix(9);
        } else {
            return ControlReply{404, "{\"error\": \"the control interface lives under /control/\"}\n"};
        }
        return HandleControl(simulator, method, url, args, body);
    };
    impl.controlDaemon = StartJsonServer(impl.config.controlPort, impl.control, impl.controlPort, error);
    if (impl.controlDaemon == nullptr && error != nullptr) {
        *error = "control interface: " + *error;
    }
    return impl.controlDaemon != nullptr;
}

}  // namespace darvik::camsim
