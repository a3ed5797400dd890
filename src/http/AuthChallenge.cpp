#include "http/AuthChallenge.h"

#include <algorithm>
#include <array>
#include <utility>

#include "http/HeaderParsing.h"
#include "http/HttpClient.h"

namespace Web {

namespace {

std::uint32_t SchemeBit(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, std::uint32_t>, 5> kSchemes{{
        {"Basic", kAuthSchemeBasic},
        {"NTLM", kAuthSchemeNtlm},
        {"Passport1.4", kAuthSchemePassport},
        {"Digest", kAuthSchemeDigest},
        {"Negotiate", kAuthSchemeNegotiate},
    }};
    for (const auto& [text, bit] : kSchemes) {
        if (EqualsNoCase(name, text)) {
            return bit;
        }
    }
    return 0;
}

}  // namespace

void WalkChallenges(std::string_view value, const std::function<void(std::string_view)>& onScheme,
                    const std::function<void(std::string_view, std::string_view)>& onParam) {
    std::size_t i = 0;
    const std::size_t n = value.size();
    while (i < n) {
        if (!IsTokenChar(value[i])) {
            ++i;  // blanks, commas and anything unexpected
            continue;
        }
        const std::size_t start = i;
        while (i < n && IsTokenChar(value[i])) {
            ++i;
        }
        const std::string_view token = value.substr(start, i - start);
        std::size_t next = i;
        while (next < n && (value[next] == ' ' || value[next] == '\t')) {
            ++next;
        }
        if (next < n && value[next] == '=') {
            // An auth-param (name=value) or the padding of a token68: skip
            // its value, quoted strings with their escapes included.
            i = next + 1;
            while (i < n && value[i] == '=') {
                ++i;
            }
            while (i < n && (value[i] == ' ' || value[i] == '\t')) {
                ++i;
            }
            std::size_t valueStart = i;
            std::size_t valueEnd = i;
            if (i < n && value[i] == '"') {
                ++i;
                valueStart = i;
                while (i < n && value[i] != '"') {
                    i += (value[i] == '\\' && i + 1 < n) ? 2 : 1;
                }
                valueEnd = std::min(i, n);
                ++i;
            } else {
                while (i < n && IsTokenChar(value[i])) {
                    ++i;
                }
                valueEnd = i;
            }
            onParam(token, value.substr(valueStart, valueEnd - valueStart));
            continue;
        }
        onScheme(token);
    }
}

std::uint32_t ParseAuthSchemes(std::string_view value) {
    std::uint32_t schemes = 0;
    WalkChallenges(
        value, [&](std::string_view scheme) { schemes |= SchemeBit(scheme); },
        [](std::string_view, std::string_view) {});
    return schemes;
}

bool ParseDigestStale(std::string_view value) {
    bool inDigest = false;
    bool stale = false;
    WalkChallenges(
        value, [&](std::string_view scheme) { inDigest = SchemeBit(scheme) == kAuthSchemeDigest; },
        [&](std::string_view name, std::string_view param) {
            stale = stale || (inDigest && EqualsNoCase(name, "stale") && EqualsNoCase(param, "true"));
        });
    return stale;
}

std::uint32_t PreferredAuthScheme(std::uint32_t supported) {
    static constexpr std::array<std::uint32_t, 5> kOrder{
        kAuthSchemeNegotiate, kAuthSchemeNtlm, kAuthSchemePassport,
        kAuthSchemeDigest, kAuthSchemeBasic};
    for (const std::uint32_t scheme : kOrder) {
        if ((supported & scheme) != 0) {
            return scheme;
        }
    }
    return 0;
}

}  // namespace Web
