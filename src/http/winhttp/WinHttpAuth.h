// The WinHTTP backend's part of authentication: attaching the credentials
// an exchange carries, and reading which schemes a challenge offers. The
// policy (when to send credentials, which scheme) is the client's; this
// only hands its choice to WinHTTP. Plain functions on a request the caller
// holds, callable from any thread.
#pragma once

#include <cstdint>

#include "http/Transport.h"
#include "http/winhttp/WinHttpRequest.h"

namespace Web {

// Sets the exchange's credentials on the request when it has a user name
// and a scheme.
// A scheme WinHTTP refuses leaves the request without credentials.
void AttachCredentials(CWinHttpRequest& request, const ExchangeParams& params);

// The scheme bits a 401 or 407 response offers, by its target.
void ReadChallengeSchemes(CWinHttpRequest& request, std::uint32_t* serverSchemes,
                          std::uint32_t* proxySchemes);

}  // namespace Web
