#include "http/winhttp/WinHttpResponse.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "http/winhttp/WinHttpSession.h"
#include "platform/Platform.h"

namespace Web {

namespace {

// Certificate faults ignored on HTTPS: cameras use self-signed certificates
// made for another name, often expired or with the wrong key usage.
constexpr DWORD kIgnoredCertificateFaults =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
    SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(kIgnoredCertificateFaults == 0x3300);

bool IsToken(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!alnum && std::strchr("!#$%&'*+-.^_`|~", c) == nullptr) {
            return false;
        }
    }
    return true;
}

// Errors of WinHttpSendRequest after which the server did accept the
// connection: it dropped it, or the TLS handshake failed on it.
bool ReachedServer(DWORD sendError) {
    return sendError == ERROR_WINHTTP_CONNECTION_ERROR ||
           sendError == ERROR_WINHTTP_SECURE_FAILURE ||
           sendError == ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
}

// The one place WinHTTP's errors become failure causes. A call that failed
// with no error of its own was closed or cancelled under way.
Failure FailureOf(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
        case ERROR_WINHTTP_OPERATION_CANCELLED:
        case ERROR_INVALID_HANDLE:
            return Failure::Aborted;
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return Failure::Refused;
        case ERROR_WINHTTP_TIMEOUT:
            return Failure::TimedOut;
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        case ERROR_WINHTTP_INVALID_URL:
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
            return Failure::Address;
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        case ERROR_WINHTTP_RESEND_REQUEST:
            return Failure::Broken;
        case ERROR_WINHTTP_SECURE_FAILURE:
            return Failure::Tls;
        default:
            return Failure::Other;
    }
}

}  // namespace

CWinHttpResponse::CWinHttpResponse(std::shared_ptr<CWinHttpSession> session)
    : m_session(std::move(session)), m_work(std::make_shared<Work>()) {
    m_session->Register(this);
}

CWinHttpResponse::~CWinHttpResponse() {
    m_session->Unregister(this);
    bool busy = false;
    {
        brevane::MutexLock lock(m_work->mutex);
        m_work->stop = true;
        busy = m_work->running;
    }
    m_work->changed.notify_all();
    if (m_worker.joinable()) {
        // A call given up by its caller runs on a closed handle until
        // WinHTTP ends it; the last holder of the response does not wait.
        if (busy) {
            const std::shared_ptr<Work> work = m_work;
            m_session->Adopt(std::move(m_worker), [work] { return work->exited.load(); });
        } else {
            m_worker.join();
        }
    }
    // Nobody holds the response any more, so no call is running.
    if (m_request != nullptr) {
        ::WinHttpCloseHandle(m_request);
    }
}

void CWinHttpResponse::WorkerLoop(const std::shared_ptr<Work>& work) {
    brevane::UniqueMutexLock lock(work->mutex);
    for (;;) {
        work->changed.wait(lock.Native(),
                           [&]() REQUIRES(work->mutex) { return work->pending || work->stop; });
        if (work->stop) {
            return;
        }
        work->pending = false;
        if (work->abandoned) {
            // The handle is closed already: the call must not start.
            work->done = true;
            work->result = FALSE;
            work->changed.notify_all();
            continue;
        }
        work->running = true;
        const Op op = work->op;
        const HINTERNET request = work->handle;
        const DWORD size = work->size;
        if (op == Op::Read && work->buffer.size() < size) {
            work->buffer.resize(size);
        }
        std::uint8_t* const buffer = work->buffer.data();
        lock.unlock();

        DWORD count = 0;
        BOOL ok = FALSE;
        switch (op) {
            case Op::Send:
                ok = ::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                          WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
                break;
            case Op::Receive:
                ok = ::WinHttpReceiveResponse(request, nullptr);
                break;
            case Op::QueryAvailable:
                ok = ::WinHttpQueryDataAvailable(request, &count);
                break;
            case Op::Read:
                ok = ::WinHttpReadData(request, buffer, size, &count);
                break;
        }
        const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();

        lock.lock();
        work->result = ok;
        work->count = count;
        work->error = error;
        work->running = false;
        work->done = true;
        work->changed.notify_all();
    }
}

bool CWinHttpResponse::Blocking(Op op, void* readInto, DWORD size, DWORD* count,
                                DWORD* error) {
    *count = 0;
    *error = ERROR_SUCCESS;
    brevane::MutexLock serial(m_blockingMutex);
    HINTERNET request = nullptr;
    {
        brevane::MutexLock lock(m_mutex);
        if (m_closed || m_request == nullptr) {
            return false;
        }
        request = m_request;
        ++m_calls;
    }
    bool ok = false;
    // Counted before the abort mark is read, and Abort sets the mark before
    // it looks at the count: either Abort cancels this call or it does not
    // start.
    if (!m_session->IsAborted()) {
        if (!m_worker.joinable()) {
            m_worker = std::thread([work = m_work] {
                WorkerLoop(work);
                work->exited = true;
            });
        }
        brevane::UniqueMutexLock lock(m_work->mutex);
        if (!m_work->abandoned) {
            m_work->op = op;
            m_work->handle = request;
            m_work->size = size;
            m_work->done = false;
            m_work->pending = true;
            m_work->changed.notify_all();
            // Close and Abort abandon the call, which ends the wait even while
            // the worker stays blocked in WinHTTP.
            m_work->changed.wait(lock.Native(),
                                 [&]() REQUIRES(m_work->mutex) { return m_work->done || m_work->abandoned; });
            if (m_work->done && !m_work->abandoned) {
                ok = m_work->result != FALSE;
                *count = m_work->count;
                *error = m_work->error;
                if (op == Op::Read && ok) {
                    std::memcpy(readInto, m_work->buffer.data(), m_work->count);
                }
            }
        }
    }
    brevane::MutexLock lock(m_mutex);
    --m_calls;
    return ok && !m_closed;
}

template <typename Call>
bool CWinHttpResponse::Guarded(Call&& call) {
    HINTERNET request = nullptr;
    {
        brevane::MutexLock lock(m_mutex);
        if (m_closed || m_request == nullptr) {
            return false;
        }
        request = m_request;
        ++m_calls;
    }
    // The call is counted before the abort mark is read, and Abort sets the
    // mark before it looks at the count: either Abort cancels this call or
    // the call does not start.
    const bool ok = !m_session->IsAborted() && call(request) != FALSE;
    brevane::MutexLock lock(m_mutex);
    --m_calls;
    return ok && !m_closed;
}

HINTERNET CWinHttpResponse::TakeHandleLocked() {
    m_closed = true;
    return std::exchange(m_request, nullptr);
}

bool CWinHttpResponse::Run(const ExchangeParams& params, bool* connected, Failure* failure) {
    *failure = Failure::Other;
    if (params.target.empty() || params.target.front() != '/' || !IsToken(params.verb)) {
        return false;
    }
    const std::wstring verb = brevane::platform::ToWide(params.verb);
    const std::wstring target = brevane::platform::ToWide(params.target);
    const DWORD flags = WINHTTP_FLAG_REFRESH | (params.secure ? WINHTTP_FLAG_SECURE : 0);
    HINTERNET request =
        ::WinHttpOpenRequest(m_session->Connection(), verb.c_str(), target.c_str(), nullptr,
                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (request == nullptr) {
        *failure = FailureOf(::GetLastError());
        return false;
    }
    {
        brevane::MutexLock lock(m_mutex);
        m_request = request;
    }

    // No scheme: the camera has not asked for one yet, and credentials set
    // now would go out as Basic.
    if (!params.userName.empty() && params.authScheme != 0) {
        const std::wstring user = brevane::platform::ToWide(params.userName);
        const std::wstring password = brevane::platform::ToWide(params.password);
        // A scheme WinHTTP refuses leaves the request without credentials.
        Guarded([&](HINTERNET h) {
            return ::WinHttpSetCredentials(h, params.authTarget, params.authScheme, user.c_str(),
                                           password.c_str(), nullptr);
        });
    }
    if (params.totalTimeoutMs != 0) {
        // Bounds the wait for the whole status line and headers, however
        // slowly they trickle in; the body is bounded by its reader.
        DWORD total = params.totalTimeoutMs;
        Guarded([&](HINTERNET h) {
            return ::WinHttpSetOption(h, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &total,
                                      sizeof total);
        });
    }
    if (params.secure) {
        DWORD security = kIgnoredCertificateFaults;
        if (!Guarded([&](HINTERNET h) {
                return ::WinHttpSetOption(h, WINHTTP_OPTION_SECURITY_FLAGS, &security,
                                          sizeof security);
            })) {
            *failure = Failure::Tls;
            return false;
        }
    }

    DWORD unused = 0;
    DWORD sendError = ERROR_SUCCESS;
    const bool sent = Blocking(Op::Send, nullptr, 0, &unused, &sendError);
    *connected = *connected || sent || ReachedServer(sendError);
    if (!sent || !Blocking(Op::Receive, nullptr, 0, &unused, &sendError)) {
        *failure = FailureOf(sendError);
        return false;
    }

    if (!QueryNumber(WINHTTP_QUERY_STATUS_CODE, &m_status) || m_status == 0) {
        *failure = Failure::Broken;
        return false;
    }
    *failure = Failure::None;
    m_hasContentLength = QueryNumber(WINHTTP_QUERY_CONTENT_LENGTH, &m_contentLength);
    m_bodyless = params.verb == "HEAD" || m_status == 204 || m_status == 304;
    if (m_status == 401 || m_status == 407) {
        DWORD supported = 0;
        DWORD first = 0;
        DWORD authTarget = 0;
        if (Guarded([&](HINTERNET h) {
                return ::WinHttpQueryAuthSchemes(h, &supported, &first, &authTarget);
            })) {
            (authTarget == WINHTTP_AUTH_TARGET_PROXY ? m_proxySchemes : m_serverSchemes) =
                supported;
        }
    }
    return true;
}

bool CWinHttpResponse::QueryNumber(DWORD query, std::uint32_t* value) {
    DWORD number = 0;
    DWORD size = sizeof number;
    const bool ok = Guarded([&](HINTERNET h) {
        return ::WinHttpQueryHeaders(h, query | WINHTTP_QUERY_FLAG_NUMBER,
                                     WINHTTP_HEADER_NAME_BY_INDEX, &number, &size,
                                     WINHTTP_NO_HEADER_INDEX);
    });
    *value = ok ? number : 0;
    return ok;
}

void CWinHttpResponse::EndBody(bool ok, DWORD error) {
    brevane::MutexLock lock(m_mutex);
    if (!m_ended) {
        m_ended = true;
        m_complete = ok;
        m_failure = ok ? Failure::None : FailureOf(error);
        m_buffered = 0;
    }
}

bool CWinHttpResponse::QueryDataAvailable(std::uint32_t* count) {
    if (count == nullptr) {
        return false;
    }
    *count = 0;
    DWORD available = 0;
    DWORD error = ERROR_SUCCESS;
    if (!Blocking(Op::QueryAvailable, nullptr, 0, &available, &error)) {
        EndBody(false, error);
        return false;
    }
    brevane::UniqueMutexLock lock(m_mutex);
    if (available == 0) {
        // WinHTTP takes a connection closed early for the end of the body;
        // the Content-Length tells the two apart.
        const bool whole = m_bodyless || !m_hasContentLength || m_received >= m_contentLength;
        lock.unlock();
        EndBody(whole, ERROR_WINHTTP_CONNECTION_ERROR);
        return whole;
    }
    m_buffered = available;
    m_peak = std::max(m_peak, m_buffered);
    *count = available;
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
    // Reads no more than is there, so a read never waits for more bytes once
    // some arrived.
    std::uint32_t available = 0;
    if (!QueryDataAvailable(&available)) {
        return false;
    }
    if (available == 0) {
        return true;  // the body has ended
    }
    DWORD got = 0;
    DWORD error = ERROR_SUCCESS;
    if (!Blocking(Op::Read, buffer, std::min(size, available), &got, &error)) {
        EndBody(false, error);
        return false;
    }
    brevane::MutexLock lock(m_mutex);
    m_received += got;
    m_buffered -= std::min<std::uint32_t>(m_buffered, got);
    *read = got;
    return true;
}

void CWinHttpResponse::Abandon() {
    {
        brevane::MutexLock lock(m_work->mutex);
        m_work->abandoned = true;
    }
    m_work->changed.notify_all();
}

void CWinHttpResponse::Close() {
    HINTERNET request = nullptr;
    {
        brevane::MutexLock lock(m_mutex);
        if (m_closed) {
            return;
        }
        request = TakeHandleLocked();
    }
    Abandon();
    // Closed unlocked: a call blocked on the handle returns with failure.
    if (request != nullptr) {
        ::WinHttpCloseHandle(request);
    }
}

void CWinHttpResponse::CancelRunningCall() {
    HINTERNET request = nullptr;
    {
        brevane::MutexLock lock(m_mutex);
        if (m_closed || m_calls == 0) {
            return;
        }
        request = TakeHandleLocked();
    }
    Abandon();
    if (request != nullptr) {
        ::WinHttpCloseHandle(request);
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

}  // namespace Web
