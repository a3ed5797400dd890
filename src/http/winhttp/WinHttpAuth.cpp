#include "http/winhttp/WinHttpAuth.h"

#include <string>
#include <vector>

#include "http/AuthChallenge.h"
#include "platform/Platform.h"

namespace Web {

// The client's constants carry WinHTTP's values under names of their own.
static_assert(kSchemeHttp == INTERNET_SCHEME_HTTP && kSchemeHttps == INTERNET_SCHEME_HTTPS);
static_assert(kAuthSchemeBasic == WINHTTP_AUTH_SCHEME_BASIC &&
              kAuthSchemeNtlm == WINHTTP_AUTH_SCHEME_NTLM &&
              kAuthSchemePassport == WINHTTP_AUTH_SCHEME_PASSPORT &&
              kAuthSchemeDigest == WINHTTP_AUTH_SCHEME_DIGEST &&
              kAuthSchemeNegotiate == WINHTTP_AUTH_SCHEME_NEGOTIATE);
static_assert(kAuthTargetServer == WINHTTP_AUTH_TARGET_SERVER &&
              kAuthTargetProxy == WINHTTP_AUTH_TARGET_PROXY);

namespace {

// Every value of one header of the response, in the order received.
std::vector<std::string> HeaderValues(CWinHttpRequest& request, DWORD query) {
    std::vector<std::string> values;
    for (DWORD index = 0;;) {
        const DWORD asked = index;
        DWORD size = 0;
        DWORD error = ERROR_SUCCESS;
        request.Use([&](HINTERNET h) {
            const BOOL ok = ::WinHttpQueryHeaders(h, query, WINHTTP_HEADER_NAME_BY_INDEX,
                                                  WINHTTP_NO_OUTPUT_BUFFER, &size, &index);
            error = ok ? ERROR_SUCCESS : ::GetLastError();
            return ok;
        });
        if (error != ERROR_INSUFFICIENT_BUFFER || size == 0) {
            break;
        }
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        index = asked;
        size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (!request.Use([&](HINTERNET h) {
                return ::WinHttpQueryHeaders(h, query, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                                             &index);
            })) {
            break;
        }
        value.resize(size / sizeof(wchar_t));
        values.push_back(brevane::platform::ToNarrow(value, CP_UTF8));
        if (index == asked) {
            break;  // no next index given: the last value
        }
    }
    return values;
}

}  // namespace

void AttachCredentials(CWinHttpRequest& request, const ExchangeParams& params) {
    if (!params.authorization.empty()) {
        // Computed by the client (Digest): WinHTTP only carries it.
        const std::wstring header =
            (params.authTarget == kAuthTargetProxy ? L"Proxy-Authorization: " : L"Authorization: ") +
            brevane::platform::ToWide(params.authorization, CP_UTF8);
        request.Use([&](HINTERNET h) {
            return ::WinHttpAddRequestHeaders(h, header.c_str(), static_cast<DWORD>(header.size()),
                                              WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
        });
        return;
    }
    // No scheme: the camera has not asked for one yet, and credentials set
    // now would go out as Basic.
    if (params.userName.empty() || params.authScheme == 0) {
        return;
    }
    const std::wstring user = brevane::platform::ToWide(params.userName);
    const std::wstring password = brevane::platform::ToWide(params.password);
    request.Use([&](HINTERNET h) {
        return ::WinHttpSetCredentials(h, params.authTarget, params.authScheme, user.c_str(),
                                       password.c_str(), nullptr);
    });
}

void ReadChallenges(CWinHttpRequest& request, std::uint32_t* serverSchemes,
                    std::uint32_t* proxySchemes, std::vector<std::string>* serverChallenges,
                    std::vector<std::string>* proxyChallenges) {
    DWORD supported = 0;
    DWORD first = 0;
    DWORD authTarget = 0;
    if (request.Use([&](HINTERNET h) {
            return ::WinHttpQueryAuthSchemes(h, &supported, &first, &authTarget);
        })) {
        (authTarget == WINHTTP_AUTH_TARGET_PROXY ? *proxySchemes : *serverSchemes) = supported;
    }
    *serverChallenges = HeaderValues(request, WINHTTP_QUERY_WWW_AUTHENTICATE);
    *proxyChallenges = HeaderValues(request, WINHTTP_QUERY_PROXY_AUTHENTICATE);
    // Schemes WinHTTP does not name (Wine's leaves some out) count as well.
    for (const std::string& value : *serverChallenges) {
        *serverSchemes |= ParseAuthSchemes(value);
    }
    for (const std::string& value : *proxyChallenges) {
        *proxySchemes |= ParseAuthSchemes(value);
    }
}

std::uint32_t TransportAuthSchemes() {
    return kAuthSchemeBasic | kAuthSchemeNtlm | kAuthSchemeDigest | kAuthSchemeNegotiate;
}

}  // namespace Web
