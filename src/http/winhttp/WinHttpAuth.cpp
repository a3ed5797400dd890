#include "http/winhttp/WinHttpAuth.h"

#include <string>

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

void AttachCredentials(CWinHttpRequest& request, const ExchangeParams& params) {
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

void ReadChallengeSchemes(CWinHttpRequest& request, std::uint32_t* serverSchemes,
                          std::uint32_t* proxySchemes) {
    DWORD supported = 0;
    DWORD first = 0;
    DWORD authTarget = 0;
    if (request.Use([&](HINTERNET h) {
            return ::WinHttpQueryAuthSchemes(h, &supported, &first, &authTarget);
        })) {
        (authTarget == WINHTTP_AUTH_TARGET_PROXY ? *proxySchemes : *serverSchemes) = supported;
    }
}

std::uint32_t TransportAuthSchemes() {
    return kAuthSchemeBasic | kAuthSchemeNtlm | kAuthSchemeDigest | kAuthSchemeNegotiate;
}

}  // namespace Web
