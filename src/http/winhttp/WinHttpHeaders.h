// Reading a WinHTTP response's status line and headers once its headers
// arrived: the status code and the Content-Length as numbers. Plain
// functions on a request the caller holds, callable from any thread.
#pragma once

#include <cstdint>

#include "http/winhttp/WinHttpRequest.h"

namespace Web {

struct ResponseHead {
    std::uint32_t status = 0;
    std::uint32_t contentLength = 0;  // 0 when absent
    bool hasContentLength = false;
};

// False when the status code could not be read or is 0.
bool ReadResponseHead(CWinHttpRequest& request, ResponseHead* head);

}  // namespace Web
