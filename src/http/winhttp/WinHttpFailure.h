// How the WinHTTP backend reads WinHTTP's error codes: which failure cause
// each one stands for, and which ones show that the server had accepted the
// connection. Plain functions, callable from any thread.
#pragma once

#include <windows.h>

#include "http/HttpClient.h"

namespace Web {

// The one place WinHTTP's errors become failure causes. An operation that
// ended with no error of its own was closed or cancelled under way.
Failure FailureOf(DWORD error);

// Errors of sending a request after which the server did accept the
// connection: it dropped it, or the TLS handshake failed on it.
bool ReachedServer(DWORD sendError);

}  // namespace Web
