// The WinHTTP backend's part of authentication: attaching the credentials
// an exchange carries (Basic, NTLM and Negotiate through WinHTTP's own
// credentials; Digest as the header the client computed), and reading the
// challenges of a 401 or 407. The policy (when to send credentials, which
// scheme) is the client's; this only hands its choice to WinHTTP. Plain functions on a request the caller
// holds, callable from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "http/Transport.h"
#include "http/winhttp/WinHttpRequest.h"

namespace Web {

// Adds the exchange's computed Authorization header, or else sets its
// credentials on the request when it has a user name and a scheme.
// A scheme WinHTTP refuses leaves the request without credentials.
void AttachCredentials(CWinHttpRequest& request, const ExchangeParams& params);

// The scheme bits a 401 or 407 response offers, by its target, and the
// values of its WWW-Authenticate and Proxy-Authenticate headers.
void ReadChallenges(CWinHttpRequest& request, std::uint32_t* serverSchemes,
                    std::uint32_t* proxySchemes, std::vector<std::string>* serverChallenges,
                    std::vector<std::string>* proxyChallenges);

}  // namespace Web
