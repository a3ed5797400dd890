// Fuzzes the Digest challenge parser and the answer built from what it
// keeps: the input is split at newlines into header values. Every kept
// challenge has a nonce, and an answer built from it is one header line
// (no CR or LF) or nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/DigestAuth.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> headers;
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t end = input.find('\n', start);
        headers.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    const std::vector<Web::DigestChallenge> challenges = Web::ParseDigestChallenges(headers);
    for (const Web::DigestChallenge& challenge : challenges) {
        Check(!challenge.nonce.empty());
    }
    if (const auto chosen = Web::ChooseDigestChallenge(challenges)) {
        Web::DigestRequest request;
        request.userName = "admin";
        request.password = "secret";
        request.method = "GET";
        request.uri = "/cgi-bin/get?sys";
        request.cnonce = "0a4f113b";
        const std::string value = Web::BuildDigestAuthorization(*chosen, request);
        Check(value.find_first_of("\r\n") == std::string::npos);
        Check(value.empty() || value.rfind("Digest username=\"", 0) == 0);
        Check(value.find("secret") == std::string::npos || chosen->nonce.find("secret") != std::string::npos ||
              chosen->realm.find("secret") != std::string::npos || chosen->opaque.find("secret") != std::string::npos);
    }
    return 0;
}
