#include "http/DigestAuth.h"

#include <array>
#include <utility>

#include "http/AuthChallenge.h"
#include "http/HeaderParsing.h"
#include "platform/Crypto.h"

namespace Web {

namespace {

using brevane::platform::HashAlgorithm;

// A challenge while its parameters are read: each parameter counts once.
struct PendingChallenge {
    std::optional<std::string> realm, nonce, opaque, algorithm, qop, stale, userhash, charset;
};

std::optional<std::string>* ParamSlot(PendingChallenge& pending, std::string_view name) {
    const std::array<std::pair<std::string_view, std::optional<std::string>*>, 8> slots{{
        {"realm", &pending.realm},
        {"nonce", &pending.nonce},
        {"opaque", &pending.opaque},
        {"algorithm", &pending.algorithm},
        {"qop", &pending.qop},
        {"stale", &pending.stale},
        {"userhash", &pending.userhash},
        {"charset", &pending.charset},
    }};
    for (const auto& [text, slot] : slots) {
        if (EqualsNoCase(name, text)) {
            return slot;
        }
    }
    return nullptr;
}

std::optional<DigestAlgorithm> AlgorithmNamed(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, DigestAlgorithm>, 4> kNames{{
        {"MD5", DigestAlgorithm::Md5},
        {"MD5-sess", DigestAlgorithm::Md5Sess},
        {"SHA-256", DigestAlgorithm::Sha256},
        {"SHA-256-sess", DigestAlgorithm::Sha256Sess},
    }};
    for (const auto& [text, algorithm] : kNames) {
        if (EqualsNoCase(TrimBlanks(name), text)) {
            return algorithm;
        }
    }
    return std::nullopt;
}

// "auth" when offered; "auth-int" only when it is all that is offered;
// none when the list offers neither.
std::optional<DigestQop> QopChosen(std::string_view list) {
    bool auth = false;
    bool authInt = false;
    bool other = false;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view item = TrimBlanks(list.substr(0, comma));
        if (EqualsNoCase(item, "auth")) {
            auth = true;
        } else if (EqualsNoCase(item, "auth-int")) {
            authInt = true;
        } else if (!item.empty()) {
            other = true;
        }
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    if (auth) {
        return DigestQop::Auth;
    }
    if (authInt && !other) {
        return DigestQop::AuthInt;
    }
    return std::nullopt;
}

std::optional<DigestChallenge> Finish(const PendingChallenge& pending) {
    if (!pending.nonce || pending.nonce->empty()) {
        return std::nullopt;
    }
    DigestChallenge challenge;
    challenge.realm = pending.realm.value_or(std::string());
    challenge.nonce = *pending.nonce;
    challenge.hasOpaque = pending.opaque.has_value();
    challenge.opaque = pending.opaque.value_or(std::string());
    if (pending.algorithm) {
        const std::optional<DigestAlgorithm> algorithm = AlgorithmNamed(*pending.algorithm);
        if (!algorithm) {
            return std::nullopt;
        }
        challenge.algorithm = *algorithm;
    }
    if (pending.qop) {
        const std::optional<DigestQop> qop = QopChosen(*pending.qop);
        if (!qop) {
            return std::nullopt;
        }
        challenge.qop = *qop;
    }
    challenge.stale = pending.stale && EqualsNoCase(TrimBlanks(*pending.stale), "true");
    challenge.userhash = pending.userhash && EqualsNoCase(TrimBlanks(*pending.userhash), "true");
    challenge.charset = pending.charset.value_or(std::string());
    return challenge;
}

// A parameter's value with its quoted-pair escapes taken out.
std::string Unescaped(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            ++i;
        }
        text += raw[i];
    }
    return text;
}

// Reads the challenges of one header value into `out`.
void ParseValue(std::string_view value, std::vector<DigestChallenge>& out) {
    // The Digest challenge being read; inDigest while inside one.
    PendingChallenge digest;
    bool inDigest = false;
    const auto close = [&] {
        if (inDigest) {
            if (std::optional<DigestChallenge> done = Finish(digest)) {
                out.push_back(std::move(*done));
            }
            inDigest = false;
        }
    };
    WalkChallenges(
        value,
        [&](std::string_view scheme) {
            // A scheme name: the challenge before it ends.
            close();
            if (EqualsNoCase(scheme, "Digest")) {
                digest = PendingChallenge{};
                inDigest = true;
            }
        },
        [&](std::string_view name, std::string_view raw) {
            if (!inDigest) {
                return;
            }
            if (std::optional<std::string>* slot = ParamSlot(digest, name); slot && !slot->has_value()) {
                *slot = Unescaped(raw);
            }
        });
    close();
}

int Strength(DigestAlgorithm algorithm) {
    return algorithm == DigestAlgorithm::Sha256 || algorithm == DigestAlgorithm::Sha256Sess ? 1 : 0;
}

const char* AlgorithmName(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::Md5Sess: return "MD5-sess";
        case DigestAlgorithm::Sha256: return "SHA-256";
        case DigestAlgorithm::Sha256Sess: return "SHA-256-sess";
        case DigestAlgorithm::Md5: break;
    }
    return "MD5";
}

// Text that may go between quotes on a header line: no control characters,
// which could end the line and add headers of their own.
bool Quotable(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            return false;
        }
    }
    return true;
}

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string NonceCountText(std::uint32_t count) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kHex[count & 0x0f];
        count >>= 4;
    }
    return text;
}

}  // namespace

std::vector<DigestChallenge> ParseDigestChallenges(const std::vector<std::string>& headerValues) {
    std::vector<DigestChallenge> challenges;
    for (const std::string& value : headerValues) {
        ParseValue(value, challenges);
    }
    return challenges;
}

std::optional<DigestChallenge> ChooseDigestChallenge(const std::vector<DigestChallenge>& offered) {
    const DigestChallenge* best = nullptr;
    for (const DigestChallenge& challenge : offered) {
        if (best == nullptr || Strength(challenge.algorithm) > Strength(best->algorithm)) {
            best = &challenge;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return *best;
}

std::string BuildDigestAuthorization(const DigestChallenge& challenge, const DigestRequest& request) {
    const HashAlgorithm hashAlgorithm =
        Strength(challenge.algorithm) > 0 ? HashAlgorithm::Sha256 : HashAlgorithm::Md5;
    const bool sess = challenge.algorithm == DigestAlgorithm::Md5Sess ||
                      challenge.algorithm == DigestAlgorithm::Sha256Sess;
    const bool withCnonce = challenge.qop != DigestQop::None || sess;
    if (!Quotable(request.userName) || !Quotable(challenge.realm) || !Quotable(challenge.nonce) ||
        !Quotable(challenge.opaque) || !Quotable(request.uri) || !Quotable(request.cnonce) ||
        !IsToken(request.method) || (withCnonce && request.cnonce.empty())) {
        return {};
    }
    const auto hash = [&](std::string_view text) { return brevane::platform::HashHex(hashAlgorithm, text); };
    const std::string colon = ":";
    std::string ha1 = hash(std::string(request.userName) + colon + challenge.realm + colon +
                           std::string(request.password));
    if (sess) {
        ha1 = hash(ha1 + colon + challenge.nonce + colon + request.cnonce);
    }
    std::string a2 = std::string(request.method) + colon + std::string(request.uri);
    if (challenge.qop == DigestQop::AuthInt) {
        a2 += colon + hash(request.body);
    }
    const std::string ha2 = hash(a2);
    const std::string nc = NonceCountText(request.nonceCount);
    const char* const qop = challenge.qop == DigestQop::AuthInt ? "auth-int" : "auth";
    const std::string response =
        challenge.qop == DigestQop::None
            ? hash(ha1 + colon + challenge.nonce + colon + ha2)
            : hash(ha1 + colon + challenge.nonce + colon + nc + colon + request.cnonce + colon + qop +
                   colon + ha2);
    const std::string user =
        challenge.userhash ? hash(std::string(request.userName) + colon + challenge.realm)
                           : std::string(request.userName);
    if (ha1.empty() || ha2.empty() || response.empty() || user.empty()) {
        return {};
    }
    std::string value = "Digest username=" + Quoted(user) + ", realm=" + Quoted(challenge.realm) +
                        ", nonce=" + Quoted(challenge.nonce) + ", uri=" + Quoted(request.uri) +
                        ", algorithm=" + AlgorithmName(challenge.algorithm) +
                        ", response=\"" + response + "\"";
    if (challenge.hasOpaque) {
        value += ", opaque=" + Quoted(challenge.opaque);
    }
    if (challenge.qop != DigestQop::None) {
        value += std::string(", qop=") + qop + ", nc=" + nc;
    }
    if (withCnonce) {
        value += ", cnonce=" + Quoted(request.cnonce);
    }
    if (challenge.userhash) {
        value += ", userhash=true";
    }
    return value;
}

}  // namespace Web
