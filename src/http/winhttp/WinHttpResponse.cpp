#include "http/winhttp/WinHttpResponse.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "http/HeaderParsing.h"
#include "http/winhttp/WinHttpAuth.h"
#include "http/winhttp/WinHttpFailure.h"
#include "http/winhttp/WinHttpHeaders.h"
#include "http/winhttp/WinHttpSession.h"
#include "platform/Platform.h"

namespace Web {

namespace {

using Op = CWinHttpRequest::Op;

// Certificate faults ignored on HTTPS: cameras use self-signed certificates
// made for another name, often expired or with the wrong key usage.
constexpr DWORD kIgnoredCertificateFaults =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
    SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(kIgnoredCertificateFaults == 0x3300);

}  // namespace

CWinHttpResponse::CWinHttpResponse(std::shared_ptr<CWinHttpSession> session)
    : m_session(std::move(session)) {
    m_session->Register(this);
}

CWinHttpResponse::~CWinHttpResponse() {
    m_session->Unregister(this);
    // Nobody holds the response any more, so no operation waits on it. The
    // request's state stays until WinHTTP reports the handle closing.
    std::shared_ptr<CWinHttpRequest> request;
    {
        brevane::MutexLock lock(m_mutex);
        request = std::move(m_request);
    }
    if (request != nullptr) {
        request->Close();
    }
}

bool CWinHttpResponse::Open(const ExchangeParams& params, Failure* failure) {
    if (params.target.empty() || params.target.front() != '/' || !IsToken(params.verb)) {
        return false;
    }
    const std::wstring verb = brevane::platform::ToWide(params.verb);
    const std::wstring target = brevane::platform::ToWide(params.target);
    const DWORD flags = WINHTTP_FLAG_REFRESH | (params.secure ? WINHTTP_FLAG_SECURE : 0);
    DWORD error = ERROR_SUCCESS;
    std::shared_ptr<CWinHttpRequest> request =
        CWinHttpRequest::Open(m_session->Connection(), verb, target, flags, &error);
    if (request == nullptr) {
        *failure = FailureOf(error);
        return false;
    }
    {
        brevane::MutexLock lock(m_mutex);
        m_request = request;
        if (m_closed) {
            // Aborted while the request was being opened.
            request->Close();
            *failure = Failure::Aborted;
            return false;
        }
    }
    AttachCredentials(*request, params);
    // The status line and headers keep the session's wait, one time-out,
    // even where the exchange as a whole may take longer (its body is
    // bounded by its reader): Wine waits for the headers with this option
    // alone, so a longer one would hold a request to a silent camera for
    // that long instead of one time-out.
    if (params.secure) {
        DWORD security = kIgnoredCertificateFaults;
        if (!request->Use([&](HINTERNET h) {
                return ::WinHttpSetOption(h, WINHTTP_OPTION_SECURITY_FLAGS, &security,
                                          sizeof security);
            })) {
            *failure = request->IsClosed() ? Failure::Aborted : Failure::Tls;
            return false;
        }
    }
    return true;
}

bool CWinHttpResponse::Run(const ExchangeParams& params, bool* connected, Failure* failure) {
    *failure = Failure::Other;
    if (!Open(params, failure)) {
        return false;
    }
    brevane::MutexLock serial(m_waitMutex);
    const CWinHttpRequest::Outcome sent = Wait(Op::Send, nullptr, 0);
    *connected = *connected || sent.ok || ReachedServer(sent.error);
    if (!sent.ok) {
        *failure = FailureOf(sent.error);
        return false;
    }
    const CWinHttpRequest::Outcome received = Wait(Op::Receive, nullptr, 0);
    if (!received.ok) {
        *failure = FailureOf(received.error);
        return false;
    }
    const std::shared_ptr<CWinHttpRequest> request = Request();
    ResponseHead head;
    if (request == nullptr || !ReadResponseHead(*request, &head)) {
        *failure = request == nullptr ? Failure::Aborted : Failure::Broken;
        return false;
    }
    m_status = head.status;
    m_contentLength = head.contentLength;
    m_hasContentLength = head.hasContentLength;
    m_bodyless = params.verb == "HEAD" || m_status == 204 || m_status == 304;
    if (m_status == 401 || m_status == 407) {
        ReadChallenges(*request, &m_serverSchemes, &m_proxySchemes, &m_serverChallenges,
                       &m_proxyChallenges);
    }
    *failure = Failure::None;
    return true;
}

std::shared_ptr<CWinHttpRequest> CWinHttpResponse::Request() const {
    brevane::MutexLock lock(m_mutex);
    return m_closed ? nullptr : m_request;
}

CWinHttpRequest::Outcome CWinHttpResponse::Wait(Op op, void* buffer, DWORD size) {
    const std::shared_ptr<CWinHttpRequest> request = Request();
    if (request == nullptr) {
        return CWinHttpRequest::Outcome{false, 0, ERROR_WINHTTP_OPERATION_CANCELLED};
    }
    return request->Run(op, buffer, size, m_session->AbortEvent());
}

void CWinHttpResponse::EndBody(bool ok, DWORD error) {
    std::shared_ptr<CWinHttpRequest> broken;
    {
        brevane::MutexLock lock(m_mutex);
        if (!m_ended) {
            m_ended = true;
            m_complete = ok;
            m_failure = ok ? Failure::None : FailureOf(error);
            m_buffered = 0;
        }
        if (!ok) {
            broken = m_request;
        }
    }
    // A request WinHTTP reported broken is only closed: its state after a
    // failed receive is not fit for another call (Wine counts the failed
    // recv's -1 into its buffer and then offers 4 GiB to read from it).
    if (broken != nullptr) {
        broken->Close();
    }
}

bool CWinHttpResponse::EndedAlready(bool* complete) const {
    brevane::MutexLock lock(m_mutex);
    *complete = m_complete;
    return m_ended;
}

bool CWinHttpResponse::QueryDataAvailable(std::uint32_t* count) {
    if (count == nullptr) {
        return false;
    }
    brevane::MutexLock serial(m_waitMutex);
    return QueryAvailableLocked(count);
}

bool CWinHttpResponse::QueryAvailableLocked(std::uint32_t* count) {
    *count = 0;
    // Once the body ended, WinHTTP is not asked again: the answer stays
    // what it was (the end, or the failure).
    bool complete = false;
    if (EndedAlready(&complete)) {
        return complete;
    }
    const CWinHttpRequest::Outcome queried = Wait(Op::QueryAvailable, nullptr, 0);
    if (!queried.ok) {
        EndBody(false, queried.error);
        return false;
    }
    brevane::UniqueMutexLock lock(m_mutex);
    if (queried.count == 0) {
        // WinHTTP takes a connection closed early for the end of the body;
        // the Content-Length tells the two apart.
        const bool whole = m_bodyless || !m_hasContentLength || m_received >= m_contentLength;
        lock.unlock();
        EndBody(whole, ERROR_WINHTTP_CONNECTION_ERROR);
        return whole;
    }
    m_buffered = queried.count;
    m_peak = std::max(m_peak, m_buffered);
    *count = queried.count;
    return true;
}

bool CWinHttpResponse::ReadData(void* buffer, std::uint32_t size, std::uint32_t* read) {
    if (read == nullptr) {
        return false;
    }
    *read = 0;
    if (buffer == nullptr || size == 0) {
        return false;
    }
    // Reads no more than is there, so a read never waits for the network
    // and WinHTTP fills the caller's buffer straight from its own.
    brevane::MutexLock serial(m_waitMutex);
    std::uint32_t available = 0;
    if (!QueryAvailableLocked(&available)) {
        return false;
    }
    if (available == 0) {
        return true;  // the body has ended
    }
    const CWinHttpRequest::Outcome got = Wait(Op::Read, buffer, std::min(size, available));
    if (!got.ok) {
        EndBody(false, got.error);
        return false;
    }
    brevane::MutexLock lock(m_mutex);
    m_received += got.count;
    m_buffered -= std::min<std::uint32_t>(m_buffered, got.count);
    *read = got.count;
    return true;
}

void CWinHttpResponse::Close() {
    std::shared_ptr<CWinHttpRequest> request;
    {
        brevane::MutexLock lock(m_mutex);
        if (m_closed) {
            return;
        }
        m_closed = true;
        request = m_request;
    }
    // Wakes an operation waiting on the request, which gives up at once.
    if (request != nullptr) {
        request->Close();
    }
}

ResponseStats CWinHttpResponse::Stats() const {
    brevane::MutexLock lock(m_mutex);
    ResponseStats stats;
    // WinHTTP's own buffer is not ours to size: no capacity to report.
    stats.capacity = 0;
    stats.buffered = m_buffered;
    stats.peakBuffered = m_peak;
    stats.bytesReceived = m_received;
    stats.ended = m_ended;
    stats.complete = m_complete;
    stats.failure = m_failure;
    return stats;
}

std::uint32_t CWinHttpResponse::StatusCode() const { return m_status; }
std::uint32_t CWinHttpResponse::ContentLength() const { return m_contentLength; }
std::uint32_t CWinHttpResponse::ServerAuthSchemes() const { return m_serverSchemes; }
std::uint32_t CWinHttpResponse::ProxyAuthSchemes() const { return m_proxySchemes; }
std::vector<std::string> CWinHttpResponse::AuthChallenges(bool proxy) const {
    return proxy ? m_proxyChallenges : m_serverChallenges;
}

}  // namespace Web
