// The one place where the libcurl backend's failures become the client's
// failure causes: libcurl's result codes (with the system's error of a
// failed connect) and the ends of the session's waits. Pure functions; any
// thread.
#pragma once

#include <curl/curl.h>

#include "http/HttpClient.h"
#include "http/curl/CurlSession.h"

namespace Web {

// The cause of a transfer that ended with `result`; None for CURLE_OK.
Failure FailureOfTransfer(CURLcode result, long osError);

// The cause meant by a wait of the session that did not end Ready.
Failure FailureOfWait(CCurlSession::WaitResult waited);

}  // namespace Web
