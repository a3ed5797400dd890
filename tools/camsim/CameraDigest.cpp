#include "CameraDigest.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cctype>
#include <optional>

namespace darvik::camsim::server {

namespace {

constexpr const char* kOpaque = "5ccc069c403ebaf9f0171e9517f40e41";
// Nonces kept at most; the oldest go first, and answers to them are stale.
constexpr std::size_t kMaxNonces = 256;

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0f];
    }
    return text;
}

std::string Hash(bool sha256, const std::string& text) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), value, &length, sha256 ? EVP_sha256() : EVP_md5(), nullptr) != 1) {
        return {};
    }
    return Hex(value, length);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The parameters of a "Digest k=v, k="v"" value, names in lower case; none
// when it is not a Digest answer.
std::optional<std::map<std::string, std::string>> Params(const std::string& value) {
    if (value.size() < 7 || Lower(value.substr(0, 7)) != "digest ") {
        return std::nullopt;
    }
    std::map<std::string, std::string> params;
    std::size_t i = 7;
    while (i < value.size()) {
        while (i < value.size() && (value[i] == ' ' || value[i] == ',')) ++i;
        const std::size_t eq = value.find('=', i);
        if (eq == std::string::npos) break;
        const std::string name = Lower(value.substr(i, eq - i));
        i = eq + 1;
        std::string text;
        if (i < value.size() && value[i] == '"') {
            for (++i; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size()) ++i;
                text += value[i];
            }
            ++i;
        } else {
            while (i < value.size() && value[i] != ',') text += value[i++];
        }
        params.emplace(name, text);
    }
    return params;
}

}  // namespace

bool CameraDigest::Handles(AuthMode mode) {
    return mode == AuthMode::DigestSha256AndMd5 || mode == AuthMode::DigestMd5Sess ||
           mode == AuthMode::DigestUserhash;
}

std::string CameraDigest::IssueNonce() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        return {};
    }
    std::string nonce = Hex(bytes, sizeof bytes);
    brevane::MutexLock lock(m_lock);
    if (m_nonces.size() >= kMaxNonces) {
        m_nonces.erase(m_nonces.begin());
    }
    m_nonces[nonce];
    return nonce;
}

std::vector<std::string> CameraDigest::Challenges(const Config& config, bool stale) {
    const std::string common = "realm=\"" + config.realm + "\", qop=\"auth\", opaque=\"" + kOpaque + "\"" +
                               (stale ? ", stale=true" : "");
    switch (config.auth) {
        case AuthMode::DigestSha256AndMd5:
            return {"Digest " + common + ", algorithm=SHA-256, nonce=\"" + IssueNonce() + "\"",
                    "Digest " + common + ", algorithm=MD5, nonce=\"" + IssueNonce() + "\""};
        case AuthMode::DigestMd5Sess:
            return {"Digest " + common + ", algorithm=MD5-sess, nonce=\"" + IssueNonce() + "\""};
        case AuthMode::DigestUserhash:
            return {"Digest " + common + ", algorithm=SHA-256, userhash=true, charset=UTF-8, nonce=\"" +
                    IssueNonce() + "\""};
        default:
            return {};
    }
}

bool CameraDigest::Check(const Config& config, const std::string& authorization, const std::string& method,
                         const std::string& url, bool* stale) {
    *stale = false;
    const auto params = Params(authorization);
    if (!params) {
        return false;
    }
    const auto get = [&](const char* name) {
        const auto found = params->find(name);
        return found == params->end() ? std::string() : found->second;
    };
    const std::string algorithm = get("algorithm");
    bool sha256 = false;
    bool sess = false;
    if (config.auth == AuthMode::DigestSha256AndMd5) {
        if (algorithm != "SHA-256" && algorithm != "MD5") return false;
        sha256 = algorithm == "SHA-256";
    } else if (config.auth == AuthMode::DigestMd5Sess) {
        if (algorithm != "MD5-sess") return false;
        sess = true;
    } else {
        if (algorithm != "SHA-256" || get("userhash") != "true") return false;
        sha256 = true;
    }
    const std::string expectedUser =
        config.auth == AuthMode::DigestUserhash ? Hash(true, config.user + ":" + config.realm) : config.user;
    const std::string uri = get("uri");
    const std::string nonce = get("nonce");
    const std::string nc = get("nc");
    const std::string cnonce = get("cnonce");
    if (get("username") != expectedUser || get("realm") != config.realm || get("qop") != "auth" ||
        get("opaque") != kOpaque || nc.size() != 8 || cnonce.empty() || uri.substr(0, uri.find('?')) != url.substr(0, url.find('?'))) {
        return false;
    }
    std::string ha1 = Hash(sha256, config.user + ":" + config.realm + ":" + config.password);
    if (sess) {
        ha1 = Hash(sha256, ha1 + ":" + nonce + ":" + cnonce);
    }
    const std::string ha2 = Hash(sha256, method + ":" + uri);
    const std::string expected = Hash(sha256, ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2);
    if (expected.empty() || get("response") != expected) {
        return false;
    }
    brevane::MutexLock lock(m_lock);
    const auto found = m_nonces.find(nonce);
    if (found == m_nonces.end()) {
        *stale = true;  // right credentials on a nonce this camera no longer knows
        return false;
    }
    // A count answered before is a replay.
    return found->second.insert(nc).second;
}

}  // namespace darvik::camsim::server
