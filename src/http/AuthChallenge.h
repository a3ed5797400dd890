// Reading the authentication schemes a server offers in its WWW-Authenticate
// or Proxy-Authenticate header values, as the scheme bits of Web::CHttpClient
// (Basic 1, NTLM 2, Passport 4, Digest 8, Negotiate 16).
//
// Pure functions, callable from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace Web {

// Walks the challenges of one header value: calls onScheme(name) for each
// scheme token and onParam(name, value) for each auth-param after it (value
// unquoted, escapes kept as sent). Blanks, commas and anything unexpected
// between them are stepped over; '=' runs of a token68 end it.
void WalkChallenges(std::string_view headerValue, const std::function<void(std::string_view)>& onScheme,
                    const std::function<void(std::string_view, std::string_view)>& onParam);

// Scheme bits named by the challenges in one header value. A value may hold
// several challenges ("Digest realm=\"x\", nonce=\"y\", Basic realm=\"x\"");
// scheme names are matched without regard to case, unknown ones are ignored.
std::uint32_t ParseAuthSchemes(std::string_view headerValue);

// Whether the Digest challenge in one header value says stale=true: the
// credentials were right but the nonce they answered has expired.
bool ParseDigestStale(std::string_view headerValue);

// Scheme bits the transport can actually answer; defined by each backend.
// Passport never; libcurl only what it answers from a user name and a
// password (Basic, Digest, and NTLM when it was built with it: Negotiate
// would need a Kerberos ticket); WinHTTP Basic, NTLM, Digest and Negotiate.
std::uint32_t TransportAuthSchemes();

// The first scheme of `supported` in the order of preference Negotiate,
// NTLM, Passport, Digest, Basic; 0 when none is offered.
std::uint32_t PreferredAuthScheme(std::uint32_t supported);

}  // namespace Web
