// Basic and Digest authentication of the simulated camera, as libmicrohttpd
// checks and challenges them (MD5, SHA-256), with the Negotiate or NTLM
// challenge some cameras put before their Digest one; the variants
// libmicrohttpd lacks are checked by CameraDigest.
#include <string>

#include "CameraDigest.h"
#include "CameraServerShared.h"

namespace darvik::camsim::server {

namespace {

constexpr unsigned kNonceTimeoutSeconds = 300;
constexpr const char* kOpaque = "5ccc069c403ebaf9f0171e9517f40e41";

bool CheckBasic(const Config& config, MHD_Connection* connection) {
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    const bool ok = user != nullptr && password != nullptr && config.user == user && config.password == password;
    if (user != nullptr) MHD_free(user);
    if (password != nullptr) MHD_free(password);
    return ok;
}

bool AcceptsDigest(AuthMode mode) {
    return mode == AuthMode::Digest || mode == AuthMode::BasicAndDigest ||
           mode == AuthMode::NegotiateAndDigest || mode == AuthMode::NtlmAndDigest ||
           mode == AuthMode::DigestSha256 || CameraDigest::Handles(mode);
}

MHD_DigestAuthAlgorithm Algorithm(const Config& config) {
    return config.auth == AuthMode::DigestSha256 ? MHD_DIGEST_ALG_SHA256 : MHD_DIGEST_ALG_MD5;
}

// The challenge put before the Digest one; empty when none.
std::string LeadingChallenge(const Config& config) {
    switch (config.auth) {
        case AuthMode::BasicAndDigest:
            return "Basic realm=\"" + config.realm + "\"";
        case AuthMode::NegotiateAndDigest:
            return "Negotiate";
        case AuthMode::NtlmAndDigest:
            return "NTLM";
        default:
            return {};
    }
}

}  // namespace

bool Authorize(Impl& impl, MHD_Connection* connection, const char* method, const char* url, AuthScheme scheme,
               MHD_Result& queued) {
    const Config& config = impl.config;
    if (config.auth == AuthMode::None) {
        return true;
    }
    bool ok = false;
    bool stale = false;
    if (config.auth == AuthMode::Basic ||
        (config.auth == AuthMode::BasicAndDigest && scheme == AuthScheme::Basic)) {
        ok = CheckBasic(config, connection);
    } else if (CameraDigest::Handles(config.auth) && scheme == AuthScheme::Digest) {
        const char* authorization =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
        ok = authorization != nullptr &&
             impl.ownDigest.Check(config, authorization, method, url, &stale);
        if (ok && impl.TakeStaleNonce()) {
            ok = false;
            stale = true;
        }
    } else if (AcceptsDigest(config.auth) && scheme == AuthScheme::Digest) {
        const int result = MHD_digest_auth_check2(connection, config.realm.c_str(), config.user.c_str(),
                                                  config.password.c_str(), kNonceTimeoutSeconds,
                                                  Algorithm(config));
        ok = result == MHD_YES;
        stale = result == MHD_INVALID_NONCE;
        if (ok && impl.TakeStaleNonce()) {
            ok = false;
            stale = true;
        }
    }
    if (ok) {
        return true;
    }
    MHD_Response* response = TextResponse("Unauthorized\r\n");
    if (response == nullptr) {
        queued = MHD_NO;
        return false;
    }
    if (config.auth == AuthMode::Basic) {
        queued = MHD_queue_basic_auth_fail_response(connection, config.realm.c_str(), response);
    } else if (CameraDigest::Handles(config.auth)) {
        for (const std::string& challenge : impl.ownDigest.Challenges(config, stale)) {
            MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, challenge.c_str());
        }
        queued = MHD_queue_response(connection, MHD_HTTP_UNAUTHORIZED, response);
    } else {
        if (const std::string leading = LeadingChallenge(config); !leading.empty()) {
            MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, leading.c_str());
        }
        queued = MHD_queue_auth_fail_response2(connection, config.realm.c_str(), kOpaque, response,
                                               stale ? MHD_YES : MHD_NO, Algorithm(config));
    }
    MHD_destroy_response(response);
    return false;
}

}  // namespace darvik::camsim::server
