// ControlApi: the simulator's control interface as JSON requests, served
// over HTTP by the control server and usable without it (tests, tools).
// Stateless: every call works on the Simulator it is given, from any thread.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "Json.h"
#include "Simulator.h"

namespace darvik::camsim {

struct ControlReply {
    unsigned status = 200;
    std::string body;  // JSON text
};

// One control request. `path` is the part after "/control/" ("" or "state",
// "inputs", "inputs/flip", "faults", ...), `args` are the query arguments and
// `body` the request body (JSON for the fault settings). Mutations need
// POST; reads take GET.
ControlReply HandleControl(Simulator& simulator, std::string_view method, std::string_view path,
                           const std::map<std::string, std::string>& args, std::string_view body);

}  // namespace darvik::camsim
