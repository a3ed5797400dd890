// HTTP Digest authentication as the client computes it itself: reading the
// Digest challenges of a 401 or 407 response, choosing the strongest one it
// can answer, and building the Authorization value of one request (MD5,
// MD5-sess, SHA-256 and SHA-256-sess; qop "auth", "auth-int" or none;
// userhash). Neither transport backend answers Digest: both only carry the
// value built here.
//
// Pure functions on their arguments (hashes and client nonces come from
// platform/Crypto); callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Web {

enum class DigestAlgorithm { Md5, Md5Sess, Sha256, Sha256Sess };

enum class DigestQop { None, Auth, AuthInt };

// One Digest challenge the client can answer.
struct DigestChallenge {
    std::string realm;
    std::string nonce;
    std::string opaque;
    bool hasOpaque = false;
    DigestAlgorithm algorithm = DigestAlgorithm::Md5;  // absent: MD5
    DigestQop qop = DigestQop::None;  // what the answer uses
    bool stale = false;
    bool userhash = false;
    std::string charset;  // as sent; empty when absent
};

// The Digest challenges in the values of one or more WWW-Authenticate (or
// Proxy-Authenticate) headers, in the order sent. Several challenges may
// share a value. Names and tokens are matched without regard to case,
// quoted values are unescaped, a repeated parameter keeps its first value.
// A challenge is left out when it has no nonce, names an algorithm the
// client lacks, or offers qop values of which neither "auth" nor (alone)
// "auth-int" is one.
std::vector<DigestChallenge> ParseDigestChallenges(const std::vector<std::string>& headerValues);

// The strongest challenge: SHA-256 (or its -sess form) before MD5, the one
// sent first among equals; none when the list is empty.
std::optional<DigestChallenge> ChooseDigestChallenge(const std::vector<DigestChallenge>& offered);

// What one signed request is.
struct DigestRequest {
    std::string_view userName;
    std::string_view password;
    std::string_view method;
    std::string_view uri;   // the request target, as on the request line
    std::uint32_t nonceCount = 1;
    std::string cnonce;     // client nonce; unused without qop
    std::string_view body;  // hashed for qop auth-int only
};

// The Authorization (or Proxy-Authorization) value, "Digest username=...";
// empty when a hash could not be computed.
std::string BuildDigestAuthorization(const DigestChallenge& challenge, const DigestRequest& request);

}  // namespace Web
