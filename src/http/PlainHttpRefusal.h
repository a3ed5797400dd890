// Recognising a TLS port's answer to plain HTTP. Stock web servers in front
// of HTTPS-only cameras do not close such a connection silently: nginx and
// Apache answer 400 with a page that says plain HTTP reached a TLS port. The
// client's scheme determination takes that answer for no HTTP answer and
// goes on to HTTPS.
//
// Called by Web::CHttpClient on its exchanging thread, on a response that
// only that thread holds yet.
#pragma once

#include <cstdint>
#include <string_view>

#include "http/HttpClient.h"

namespace Web {

// The body text names plain HTTP sent to a TLS port, in the words of nginx
// ("The plain HTTP request was sent to HTTPS port") or Apache ("You're
// speaking plain HTTP to an SSL-enabled server port").
bool IsPlainHttpRefusalText(std::string_view body);

// For a 400 answer, reads up to kPlainHttpRefusalPeek body bytes and says
// whether they are such a refusal. When they are not, *response is replaced
// by one that serves the bytes read first and then the rest of the body, so
// a caller still reads the whole body.
inline constexpr std::uint32_t kPlainHttpRefusalPeek = 4096;
bool IsPlainHttpRefusal(RequestHandle* response);

}  // namespace Web
