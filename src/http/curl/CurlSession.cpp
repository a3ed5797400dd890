#include "http/curl/CurlSession.h"

#include <algorithm>
#include <utility>

#include "http/AuthChallenge.h"
#include "http/curl/CurlFailure.h"
#include "http/curl/CurlGlobal.h"
#include "http/curl/CurlResponse.h"
#include "platform/Platform.h"

namespace Web {

namespace {

// Longest single poll; libcurl shortens it further for its own timers.
constexpr std::uint64_t kMaxPollSliceMs = 500;

}  // namespace

// --- CCurlSession ---

std::shared_ptr<CCurlSession> CCurlSession::Open(const SessionParams& params) {
    std::shared_ptr<CCurlMulti> multi = CCurlMulti::Acquire();
    if (!multi) {
        return nullptr;
    }
    return std::shared_ptr<CCurlSession>(new CCurlSession(std::move(multi), params));
}

CCurlSession::CCurlSession(std::shared_ptr<CCurlMulti> multi, SessionParams params)
    : m_multi(std::move(multi)), m_params(std::move(params)) {}

CCurlSession::~CCurlSession() = default;

void CCurlSession::Abort() {
    m_aborted = true;
    brevane::MutexLock lock(m_liveMutex);
    for (CCurlResponse* response : m_live) {
        response->Sockets().Wake();
    }
}

void CCurlSession::ResetAbort() { m_aborted = false; }

bool CCurlSession::Attach(CCurlResponse& response) {
    if (!m_multi->Attach(response)) {
        return false;
    }
    brevane::MutexLock lock(m_liveMutex);
    m_live.push_back(&response);
    return true;
}

void CCurlSession::Detach(CCurlResponse& response) {
    {
        brevane::MutexLock lock(m_liveMutex);
        m_live.erase(std::remove(m_live.begin(), m_live.end(), &response), m_live.end());
    }
    m_multi->Detach(response);
}

ExchangeResult CCurlSession::Exchange(const ExchangeParams& params) {
    ExchangeResult result;
    if (m_aborted) {
        result.failure = Failure::Aborted;
        return result;
    }
    auto response = std::make_shared<CCurlResponse>(shared_from_this(), m_params.timeoutMs);
    if (!response->Configure(m_params, params)) {
        result.failure = Failure::Address;  // a host, target or verb that cannot be sent
        return result;
    }
    if (!Attach(*response)) {
        result.failure = Failure::Other;
        return result;
    }
    response->SetAttached();
    const WaitResult waited = Drive(*response, [&] { return response->HeadersSettled(); });
    result.connected = response->Connected();
    if (waited == WaitResult::Ready && response->HasFinalHeaders()) {
        result.response = std::move(response);
    } else if (waited == WaitResult::Ready) {
        result.failure = response->TransferFailure();  // ended without an answer
    } else {
        result.failure = FailureOfWait(waited);
    }
    return result;
}

CCurlSession::WaitResult CCurlSession::Drive(CCurlResponse& response,
                                             const std::function<bool()>& ready, bool refresh) {
    if (!response.Sockets().Prepare()) {
        return WaitResult::Failed;
    }
    const std::uint64_t start = brevane::platform::MonotonicMilliseconds();
    const std::uint32_t timeout = response.TimeoutMs();
    for (;;) {
        // Checked after the wait was prepared, so an abort or Close from now on wakes
        // the wait below.
        if (m_aborted) {
            return WaitResult::Aborted;
        }
        if (response.IsClosed()) {
            return WaitResult::Closed;
        }
        if (response.TakeResume()) {
            CCurlMulti::Turn turn(*m_multi);
            m_multi->Resume(response);
        }
        if (ready()) {
            // Takes in what the sockets have now, without waiting, while a
            // whole socket read still fits: libcurl reads on as long as the
            // socket has data, and what the buffer cannot take it keeps as a
            // copy of its own until the transfer resumes.
            if (refresh && response.RoomForSocketRead()) {
                refresh = false;
                if (!Step(response, 0, ready)) {
                    return WaitResult::Failed;
                }
                continue;
            }
            return WaitResult::Ready;
        }
        std::uint64_t slice = kMaxPollSliceMs;
        if (timeout != 0) {
            // No progress for the time-out ends the wait: progress is any
            // header or body byte, or the connection being made.
            const std::uint64_t now = brevane::platform::MonotonicMilliseconds();
            const std::uint64_t since = std::max(start, response.LastActivityMs());
            if (now >= since + timeout) {
                return WaitResult::TimedOut;
            }
            slice = std::min<std::uint64_t>(slice, since + timeout - now);
        }
        if (!Step(response, slice, ready)) {
            return WaitResult::Failed;
        }
        refresh = false;  // what arrived was just taken in
    }
}

bool CCurlSession::Step(CCurlResponse& response, std::uint64_t waitMs,
                        const std::function<bool()>& ready) {
    if (m_multi->MsUntilTimer(waitMs) == 0) {
        CCurlMulti::Turn turn(*m_multi);
        if (!m_multi->RunTimers()) {
            return false;
        }
        if (waitMs == 0) {
            return true;
        }
    }
    std::vector<CCurlSocketWait::SocketEvent> events;
    // A closed response ends the wait as readiness does.
    const auto settled = [&] { return response.IsClosed() || ready(); };
    if (!response.Sockets().Wait(m_multi->MsUntilTimer(waitMs), settled, &events)) {
        return false;
    }
    if (events.empty()) {
        return true;
    }
    CCurlMulti::Turn turn(*m_multi);
    for (const CCurlSocketWait::SocketEvent& event : events) {
        // libcurl closes sockets only under the turn, after telling their
        // transfer. One that left this transfer during the wait may already
        // be another transfer's under the same number: its events are not
        // this wait's to report.
        if (response.Sockets().Watches(event.socket) && !m_multi->RunSocket(event.socket, event.events)) {
            return false;
        }
    }
    return true;
}

// --- the backend's entry points ---

std::shared_ptr<CHttpSession> OpenSession(const SessionParams& params) {
    return CCurlSession::Open(params);
}

std::uint32_t TransportAuthSchemes() {
    EnsureCurlGlobalInit();
    // Digest is the client's own: libcurl only carries its header.
    std::uint32_t schemes = kAuthSchemeBasic | kAuthSchemeDigest;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info != nullptr) {
        // Negotiate is left out even where libcurl has it: without a
        // Kerberos ticket it sends nothing a camera accepts and does not
        // fall back to the camera's other schemes.
        if ((info->features & CURL_VERSION_NTLM) != 0) {
            schemes |= kAuthSchemeNtlm;
        }
    }
    return schemes;
}

}  // namespace Web
