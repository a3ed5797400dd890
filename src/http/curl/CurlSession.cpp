#include "http/curl/CurlSession.h"

#include <algorithm>
#include <utility>

#include "http/AuthChallenge.h"
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
    Wake();
}

void CCurlSession::ResetAbort() { m_aborted = false; }

void CCurlSession::Wake() { m_multi->Wake(); }

bool CCurlSession::Attach(CCurlResponse& response) { return m_multi->Attach(response); }

void CCurlSession::Detach(CCurlResponse& response) { m_multi->Detach(response); }

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
        result.failure = CCurlResponse::FailureOf(waited);
    }
    return result;
}

CCurlSession::WaitResult CCurlSession::Drive(CCurlResponse& response,
                                             const std::function<bool()>& ready, bool refresh) {
    const std::uint64_t start = brevane::platform::MonotonicMilliseconds();
    const std::uint32_t timeout = response.TimeoutMs();
    for (;;) {
        if (m_aborted) {
            return WaitResult::Aborted;
        }
        if (response.IsClosed()) {
            return WaitResult::Closed;
        }
        if (ready()) {
            if (refresh) {
                refresh = false;
                CCurlMulti::Turn turn(*m_multi, true);
                if (turn.Owns() && !m_multi->Perform()) {
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

        CCurlMulti::Turn turn(*m_multi);
        if (m_aborted || response.IsClosed() || ready()) {
            continue;
        }
        if (!m_multi->Perform()) {
            return WaitResult::Failed;
        }
        if (m_aborted || response.IsClosed() || ready()) {
            continue;
        }
        if (!m_multi->Poll(slice)) {
            return WaitResult::Failed;
        }
    }
}

// --- the backend's entry points ---

std::shared_ptr<CHttpSession> OpenSession(const SessionParams& params) {
    return CCurlSession::Open(params);
}

std::uint32_t TransportAuthSchemes() {
    EnsureCurlGlobalInit();
    std::uint32_t schemes = kAuthSchemeBasic | kAuthSchemeDigest;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info != nullptr) {
        if ((info->features & CURL_VERSION_NTLM) != 0) {
            schemes |= kAuthSchemeNtlm;
        }
        if ((info->features & CURL_VERSION_SPNEGO) != 0) {
            schemes |= kAuthSchemeNegotiate;
        }
    }
    return schemes;
}

}  // namespace Web
