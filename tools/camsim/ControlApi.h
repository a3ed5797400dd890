// ControlApi: the simulator's control interface as JSON requests, served
// over HTTP by the control server and usable without it (tests, tools).
// Stateless: every call works on the Simulator it is given, from any thread.
#pragma once

#include <map>
#include <string>
#include <string_view>

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

// The fault settings as JSON text, and back. ApplyFaultsJson changes only the
// fields present in `json`; false with a reason when the text is not a JSON
// object of known fields with values of the right kind.
std::string FaultsToJson(const Faults& faults);
bool ApplyFaultsJson(std::string_view json, Faults& faults, std::string* error);
std::string StreamFaultsToJson(const StreamFaults& faults);
bool ApplyStreamFaultsJson(std::string_view json, StreamFaults& faults, std::string* error);

}  // namespace darvik::camsim
