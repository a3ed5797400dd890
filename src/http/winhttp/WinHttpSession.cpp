#include "http/winhttp/WinHttpSession.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/Mutex.h"
#include "http/AuthChallenge.h"
#include "http/winhttp/WinHttpResponse.h"
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

std::shared_ptr<CWinHttpSession> CWinHttpSession::Open(const SessionParams& params) {
    if (params.host.empty() || params.port == 0) {
        return nullptr;
    }
    const std::wstring agent = brevane::platform::ToWide(params.userAgent);
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
    const std::wstring host = brevane::platform::ToWide(params.host);
    HINTERNET connect = configured ? ::WinHttpConnect(session, host.c_str(),
                                                      static_cast<INTERNET_PORT>(params.port), 0)
                                   : nullptr;
    if (connect == nullptr) {
        ::WinHttpCloseHandle(session);
        return nullptr;
    }
    return std::shared_ptr<CWinHttpSession>(new CWinHttpSession(session, connect));
}

namespace {

// Workers whose call on a closed handle WinHTTP has not ended yet (Wine ends
// it only at the time-out). Each holds a reference on the module, so the host
// unloading it cannot pull the code from under the thread.
struct Stranded {
    std::thread worker;
    std::function<bool()> exited;
    HMODULE pin = nullptr;
};
brevane::Mutex g_strandedMutex;
// Never destroyed: at process exit a worker may still be running, and
// destroying its std::thread would end the process abnormally.
std::vector<Stranded>& g_stranded GUARDED_BY(g_strandedMutex) = *new std::vector<Stranded>;

// Joins the stranded workers that are over and drops their module reference.
// Called only from the host's calls into the module, so the host's own
// reference keeps the module loaded meanwhile.
void ReapStrandedWorkers() {
    std::vector<Stranded> over;
    {
        // By hand: assigning onto a running std::thread would end the process.
        brevane::MutexLock lock(g_strandedMutex);
        std::vector<Stranded> running;
        for (Stranded& stranded : g_stranded) {
            (stranded.exited() ? over : running).push_back(std::move(stranded));
        }
        g_stranded.clear();
        g_stranded.swap(running);
    }
    for (Stranded& stranded : over) {
        stranded.worker.join();  // it left its loop: only its last instructions remain
        if (stranded.pin != nullptr) {
            ::FreeLibrary(stranded.pin);
        }
    }
}

void Strand(std::thread worker, std::function<bool()> exited) {
    Stranded stranded{std::move(worker), std::move(exited), nullptr};
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCWSTR>(&ReapStrandedWorkers), &stranded.pin);
    brevane::MutexLock lock(g_strandedMutex);
    g_stranded.push_back(std::move(stranded));
}

}  // namespace

CWinHttpSession::CWinHttpSession(HINTERNET session, HINTERNET connect)
    : m_session(session), m_connect(connect) {}

CWinHttpSession::~CWinHttpSession() {
    // Their calls run on closed handles, which WinHTTP ends by its time-out
    // at the latest; nobody waits for that here.
    for (Adopted& adopted : m_adopted) {
        Strand(std::move(adopted.worker), std::move(adopted.exited));
    }
    ReapStrandedWorkers();
    // Every response holds the session, so no request handle is left open.
    ::WinHttpCloseHandle(m_connect);
    ::WinHttpCloseHandle(m_session);
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
    // A call that starts from now on sees the mark; one already counted in
    // its response is cancelled here.
    brevane::MutexLock lock(m_liveMutex);
    for (CWinHttpResponse* response : m_live) {
        response->CancelRunningCall();
    }
}

void CWinHttpSession::Register(CWinHttpResponse* response) {
    brevane::MutexLock lock(m_liveMutex);
    m_live.push_back(response);
}

void CWinHttpSession::Unregister(CWinHttpResponse* response) {
    brevane::MutexLock lock(m_liveMutex);
    m_live.erase(std::remove(m_live.begin(), m_live.end(), response), m_live.end());
}

void CWinHttpSession::Adopt(std::thread worker, std::function<bool()> exited) {
    brevane::MutexLock lock(m_liveMutex);
    m_adopted.push_back(Adopted{std::move(worker), std::move(exited)});
}

// --- the backend's entry points ---

std::shared_ptr<CHttpSession> OpenSession(const SessionParams& params) {
    ReapStrandedWorkers();
    return CWinHttpSession::Open(params);
}

std::uint32_t TransportAuthSchemes() {
    return kAuthSchemeBasic | kAuthSchemeNtlm | kAuthSchemeDigest | kAuthSchemeNegotiate;
}

}  // namespace Web
