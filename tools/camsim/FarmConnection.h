// FarmConnection: HTTP/1.1 exchanges with a simulator farm (darvik-camsim
// --farm) for the Windows Simulator, one connection per request. Stateless
// apart from the farm's address, read once from DARVIK_CAMSIM_FARM; callable
// from any thread.
#pragma once

#include <string>

namespace darvik::camsim {

struct FarmReply {
    unsigned status = 0;  // 0: no reply; `error` says why
    std::string body;
    std::string error;
};

// The farm's URL ("http://127.0.0.1:PORT"), empty when the environment names
// none.
std::string FarmUrl();

// Sends `method path` with `body` (JSON) to the farm and returns its reply.
FarmReply FarmRequest(const std::string& method, const std::string& path, const std::string& body = "");

}  // namespace darvik::camsim
