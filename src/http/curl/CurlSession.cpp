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

// --- Turn ---

CCurlSession::Turn::Turn(CCurlSession& session, bool onlyIfFree) : m_session(session) {
    brevane::UniqueMutexLock lock(session.m_turnMutex);
    if (onlyIfFree && session.m_nextTicket != session.m_serving) {
        return;
    }
    m_owns = true;
    const std::uint64_t ticket = session.m_nextTicket++;
    if (ticket != session.m_serving) {
        // The driver may sit in a poll for a while; make it give up its turn.
        lock.unlock();
        curl_multi_wakeup(session.m_multi);
        lock.lock();
        const auto served = [&]() REQUIRES(session.m_turnMutex) { return session.m_serving == ticket; };
        session.m_turnChanged.wait(lock.Native(), served);
    }
}

CCurlSession::Turn::~Turn() {
    if (!m_owns) {
        return;
    }
    {
        brevane::MutexLock lock(m_session.m_turnMutex);
        ++m_session.m_serving;
    }
    m_session.m_turnChanged.notify_all();
}

// --- CCurlSession ---

std::shared_ptr<CCurlSession> CCurlSession::Open(const SessionParams& params) {
    if (!EnsureCurlGlobalInit()) {
        return nullptr;
    }
    CURLM* multi = curl_multi_init();
    if (multi == nullptr) {
        return nullptr;
    }
    if (curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS,
                          static_cast<long>(params.maxConnectionsPerServer)) !=
        CURLM_OK) {
        curl_multi_cleanup(multi);
        return nullptr;
    }
    // Only the session's own transfers use the handle; no multiplexing, so
    // each exchange has a connection of its own while its body is open.
    curl_multi_setopt(multi, CURLMOPT_PIPELINING, CURLPIPE_NOTHING);
    return std::shared_ptr<CCurlSession>(new CCurlSession(multi, params));
}

CCurlSession::CCurlSession(CURLM* multi, SessionParams params)
    : m_multi(multi), m_params(std::move(params)) {}

CCurlSession::~CCurlSession() {
    // Every response holds the session, so no transfer is left in the handle.
    curl_multi_cleanup(m_multi);
}

void CCurlSession::Abort() {
    m_aborted = true;
    Wake();
}

void CCurlSession::ResetAbort() { m_aborted = false; }

void CCurlSession::Wake() { curl_multi_wakeup(m_multi); }

bool CCurlSession::Attach(CCurlResponse& response) {
    Turn turn(*this);
    if (curl_multi_add_handle(m_multi, response.Easy()) != CURLM_OK) {
        return false;
    }
    m_live.push_back(&response);
    return true;
}

void CCurlSession::Detach(CCurlResponse& response) {
    Turn turn(*this);
    m_live.erase(std::remove(m_live.begin(), m_live.end(), &response), m_live.end());
    curl_multi_remove_handle(m_multi, response.Easy());
}

ExchangeResult CCurlSession::Exchange(const ExchangeParams& params) {
    ExchangeResult result;
    if (m_aborted) {
        return result;
    }
    auto response = std::make_shared<CCurlResponse>(shared_from_this(), m_params.timeoutMs);
    if (!response->Configure(m_params, params) || !Attach(*response)) {
        return result;
    }
    response->SetAttached();
    const WaitResult waited = Drive(*response, [&] { return response->HeadersSettled(); });
    result.connected = response->Connected();
    if (waited == WaitResult::Ready && response->HasFinalHeaders()) {
        result.response = std::move(response);
    }
    return result;
}

void CCurlSession::ResumeDrained() {
    for (CCurlResponse* response : m_live) {
        if (response->TakeResume()) {
            // May deliver the held-back data to the write callback at once.
            curl_easy_pause(response->Easy(), CURLPAUSE_CONT);
        }
    }
}

void CCurlSession::CollectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        void* owner = nullptr;
        if (curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner) == CURLE_OK &&
            owner != nullptr) {
            static_cast<CCurlResponse*>(owner)->OnDone(message->data.result);
        }
    }
}

bool CCurlSession::Perform() {
    ResumeDrained();
    int running = 0;
    const CURLMcode performed = curl_multi_perform(m_multi, &running);
    CollectFinished();
    return performed == CURLM_OK;
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
                Turn turn(*this, true);
                if (turn.Owns() && !Perform()) {
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

        Turn turn(*this);
        if (m_aborted || response.IsClosed() || ready()) {
            continue;
        }
        if (!Perform()) {
            return WaitResult::Failed;
        }
        if (m_aborted || response.IsClosed() || ready()) {
            continue;
        }
        if (curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(slice), nullptr) != CURLM_OK) {
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
