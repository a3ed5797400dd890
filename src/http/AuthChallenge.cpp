#include "http/AuthChallenge.h"

#include <array>
#include <cctype>
#include <utility>

#include "http/HttpClient.h"

namespace Web {

namespace {

bool IsTokenChar(char c) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
        return true;
    }
    switch (c) {
        case '!': case '#': case '$': case '%': case '&': case '\'': case '*':
        case '+': case '-': case '.': case '^': case '_': case '`': case '|': case '~':
            return true;
        default:
            return false;
    }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

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

std::uint32_t ParseAuthSchemes(std::string_view value) {
    std::uint32_t schemes = 0;
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
            if (i < n && value[i] == '"') {
                ++i;
                while (i < n && value[i] != '"') {
                    i += (value[i] == '\\' && i + 1 < n) ? 2 : 1;
                }
                ++i;
            } else {
                while (i < n && IsTokenChar(value[i])) {
                    ++i;
                }
            }
            continue;
        }
        schemes |= SchemeBit(token);
    }
    return schemes;
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
