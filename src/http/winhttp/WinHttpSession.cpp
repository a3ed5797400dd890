#include "http/winhttp/WinHttpSession.h"

#include <algorithm>
#include <utility>

#include "http/AuthChallenge.h"
#include "http/winhttp/WinHttpResponse.h"

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

std::wstring Widen(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (wide <= 0) {
        return {};
    }
    std::wstring result(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, result.data(), wide);
    return result;
}

std::shared_ptr<CWinHttpSession> CWinHttpSession::Open(const SessionParams& params) {
    if (params.host.empty() || params.port == 0) {
        return nullptr;
    }
    const std::wstring agent = Widen(params.userAgent);
    HINTERNET session = ::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr) {
        return nullptr;
    }
    auto setOption = [&](DWORD option, DWORD value) {
        return ::WinHttpSetOption(session, option, &value, sizeof value) != FALSE;
    };
    const DWORD timeout = params.timeoutMs;
    const DWORD connections = params.maxConnectionsPerServer;
    // The wait for the response headers gets the same time-out: WinHTTP's
    // own default is far longer, and Wine waits that long in the TLS
    // handshake with a server that accepted the connection and went silent.
    const bool configured = setOption(WINHTTP_OPTION_RECEIVE_TIMEOUT, timeout) &&
                            setOption(WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, timeout) &&
                            setOption(WINHTTP_OPTION_SEND_TIMEOUT, timeout) &&
                            setOption(WINHTTP_OPTION_CONNECT_TIMEOUT, timeout) &&
                            setOption(WINHTTP_OPTION_MAX_CONNS_PER_SERVER, connections) &&
                            setOption(WINHTTP_OPTION_MAX_CONNS_PER_1_0_SERVER, connections);
    const std::wstring host = Widen(params.host);
    HINTERNET connect = configured ? ::WinHttpConnect(session, host.c_str(),
                                                      static_cast<INTERNET_PORT>(params.port), 0)
                                   : nullptr;
    if (connect == nullptr) {
        ::WinHttpCloseHandle(session);
        return nullptr;
    }
    return std::shared_ptr<CWinHttpSession>(new CWinHttpSession(session, connect));
}

CWinHttpSession::CWinHttpSession(HINTERNET session, HINTERNET connect)
    : m_session(session), m_connect(connect) {}

CWinHttpSession::~CWinHttpSession() {
    // Their calls run on closed handles, which WinHTTP ends by its time-out
    // at the latest.
    for (std::thread& worker : m_adopted) {
        worker.join();
    }
    // Every response holds the session, so no request handle is left open.
    ::WinHttpCloseHandle(m_connect);
    ::WinHttpCloseHandle(m_session);
}

ExchangeResult CWinHttpSession::Exchange(const ExchangeParams& params) {
    ExchangeResult result;
    if (m_aborted) {
        return result;
    }
    auto response = std::make_shared<CWinHttpResponse>(shared_from_this());
    if (response->Run(params, &result.connected)) {
        result.response = std::move(response);
    }
    return result;
}

void CWinHttpSession::Abort() {
    m_aborted = true;
    // A call that starts from now on sees the mark; one already counted in
    // its response is cancelled here.
    std::lock_guard<std::mutex> lock(m_liveMutex);
    for (CWinHttpResponse* response : m_live) {
        response->CancelRunningCall();
    }
}

void CWinHttpSession::Register(CWinHttpResponse* response) {
    std::lock_guard<std::mutex> lock(m_liveMutex);
    m_live.push_back(response);
}

void CWinHttpSession::Unregister(CWinHttpResponse* response) {
    std::lock_guard<std::mutex> lock(m_liveMutex);
    m_live.erase(std::remove(m_live.begin(), m_live.end(), response), m_live.end());
}

void CWinHttpSession::Adopt(std::thread worker) {
    std::lock_guard<std::mutex> lock(m_liveMutex);
    m_adopted.push_back(std::move(worker));
}

// --- the backend's entry points ---

std::shared_ptr<CHttpSession> OpenSession(const SessionParams& params) {
    return CWinHttpSession::Open(params);
}

std::uint32_t TransportAuthSchemes() {
    return kAuthSchemeBasic | kAuthSchemeNtlm | kAuthSchemeDigest | kAuthSchemeNegotiate;
}

}  // namespace Web
