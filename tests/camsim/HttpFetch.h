// HttpFetch: one HTTP exchange with libcurl for the simulator's tests, with
// the status, the headers and the body of the reply.
#pragma once

#include <curl/curl.h>

#include <string>
#include <vector>

namespace brevane::test {

struct FetchOptions {
    std::string requestTarget;        // sent on the request line instead of the URL's path
    long auth = CURLAUTH_NONE;        // CURLAUTH_BASIC, CURLAUTH_DIGEST, CURLAUTH_ANY ...
    std::string user;
    std::string password;
    long timeoutMs = 5000;
    std::string method;               // "POST" etc.; empty: GET
    std::string body;                 // request body for POST
    std::size_t maxBody = 0;          // stop reading after this many bytes (0: no limit)
};

struct FetchResult {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::vector<std::string> headers;  // header lines of every response, CR LF removed

    bool HasHeader(const std::string& prefix) const;
    int CountHeaders(const std::string& prefix) const;
};

FetchResult Fetch(const std::string& url, const FetchOptions& options = {});

}  // namespace brevane::test
