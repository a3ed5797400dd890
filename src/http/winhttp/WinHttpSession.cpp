#include "http/winhttp/WinHttpSession.h"

#include <algorithm>
#include <string>

#include "http/winhttp/WinHttpRequest.h"
#include "http/winhttp/WinHttpResponse.h"
#include "platform/Platform.h"

namespace Web {

namespace {

// Sets the client's time-outs and connection limits on a new session handle.
bool Configure(HINTERNET session, const SessionParams& params) {
    auto setOption = [&](DWORD option, DWORD value) {
        return ::WinHttpSetOption(session, option, &value, sizeof value) != FALSE;
    };
    const DWORD timeout = params.timeoutMs;
    const DWORD connections = params.maxConnectionsPerServer;
    // The wait for the response headers gets the same time-out: WinHTTP's
    // own default is far longer, and Wine waits that long in the TLS
    // handshake with a server that accepted the connection and went silent.
    return setOption(WINHTTP_OPTION_RECEIVE_TIMEOUT, timeout) &&
           setOption(WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, timeout) &&
           setOption(WINHTTP_OPTION_SEND_TIMEOUT, timeout) &&
           setOption(WINHTTP_OPTION_CONNECT_TIMEOUT, timeout) &&
           setOption(WINHTTP_OPTION_MAX_CONNS_PER_SERVER, connections) &&
           setOption(WINHTTP_OPTION_MAX_CONNS_PER_1_0_SERVER, connections);
}

}  // namespace

std::shared_ptr<CWinHttpSession> CWinHttpSession::Open(const SessionParams& params) {
    if (params.host.empty() || params.port == 0) {
        return nullptr;
    }
    const std::wstring agent = brevane::platform::ToWide(params.userAgent);
    HINTERNET session = ::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                      WINHTTP_FLAG_ASYNC);
    if (session == nullptr) {
        return nullptr;
    }
    const std::wstring host = brevane::platform::ToWide(params.host);
    HINTERNET connect = Configure(session, params)
                            ? ::WinHttpConnect(session, host.c_str(),
                                               static_cast<INTERNET_PORT>(params.port), 0)
                            : nullptr;
    HANDLE abortEvent = connect != nullptr ? ::CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
    if (abortEvent == nullptr) {
        if (connect != nullptr) {
            ::WinHttpCloseHandle(connect);
        }
        ::WinHttpCloseHandle(session);
        return nullptr;
    }
    return std::shared_ptr<CWinHttpSession>(new CWinHttpSession(session, connect, abortEvent));
}

CWinHttpSession::CWinHttpSession(HINTERNET session, HINTERNET connect, HANDLE abortEvent)
    : m_session(session), m_connect(connect), m_abortEvent(abortEvent) {}

CWinHttpSession::~CWinHttpSession() {
    // Every response holds the session, so every request handle was closed;
    // WinHTTP keeps what it still needs of the parents itself.
    ::WinHttpCloseHandle(m_connect);
    ::WinHttpCloseHandle(m_session);
    ::CloseHandle(m_abortEvent);
    CWinHttpRequest::ReleaseModuleWhenIdle();
}

ExchangeResult CWinHttpSession::Exchange(const ExchangeParams& params) {
    ExchangeResult result;
    if (m_aborted) {
        result.failure = Failure::Aborted;
        return result;
    }
    auto response = std::make_shared<CWinHttpResponse>(shared_from_this());
    if (response->Run(params, &result.connected, &result.failure)) {
        result.response = std::move(response);
    }
    return result;
}

void CWinHttpSession::Abort() {
    m_aborted = true;
    ::SetEvent(m_abortEvent);
    // A response registered from now on starts no operation: its waits see
    // the event. Those already live are closed here.
    brevane::MutexLock lock(m_liveMutex);
    for (CWinHttpResponse* response : m_live) {
        response->Close();
    }
}

void CWinHttpSession::ResetAbort() {
    m_aborted = false;
    ::ResetEvent(m_abortEvent);
}

void CWinHttpSession::Register(CWinHttpResponse* response) {
    brevane::MutexLock lock(m_liveMutex);
    m_live.push_back(response);
}

void CWinHttpSession::Unregister(CWinHttpResponse* response) {
    brevane::MutexLock lock(m_liveMutex);
    m_live.erase(std::remove(m_live.begin(), m_live.end(), response), m_live.end());
}

// --- the backend's entry point ---

std::shared_ptr<CHttpSession> OpenSession(const SessionParams& params) {
    CWinHttpRequest::ReleaseModuleWhenIdle();
    return CWinHttpSession::Open(params);
}

}  // namespace Web
