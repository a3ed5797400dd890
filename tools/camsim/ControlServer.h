// A JSON-over-HTTP server on 127.0.0.1 for the simulator's control interface
// and the farm: one internal libmicrohttpd thread answers every request with
// the handler's reply, one request at a time. The caller owns the daemon
// (MHD_stop_daemon) and keeps the endpoint alive until the daemon is stopped.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "ControlApi.h"

struct MHD_Daemon;

namespace darvik::camsim {

// `url` is the request's path without its query; `args` the query arguments.
using JsonHandler = std::function<ControlReply(std::string_view method, std::string_view url,
                                               const std::map<std::string, std::string>& args,
                                               std::string_view body)>;

struct JsonEndpoint {
    JsonHandler handler;
    std::size_t maxBody = 64 * 1024;  // larger request bodies are answered with 413
};

// Null with a reason in *error when the port cannot be served. `boundPort`
// receives the port listened on (the ephemeral one for port 0).
MHD_Daemon* StartJsonServer(std::uint16_t port, const JsonEndpoint& endpoint, std::uint16_t& boundPort,
                            std::string* error);

}  // namespace darvik::camsim
