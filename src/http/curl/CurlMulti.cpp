#include "http/curl/CurlMulti.h"

#include <algorithm>

#include "http/curl/CurlGlobal.h"
#include "http/curl/CurlResponse.h"
#include "platform/Platform.h"

namespace Web {

namespace {

brevane::Mutex g_sharedMutex;
// The handle while any session holds it. Only Acquire reads it, so it may
// go with the module while a last session is still ending.
std::weak_ptr<CCurlMulti> g_shared GUARDED_BY(g_sharedMutex);

CCurlResponse* OwnerOf(CURL* easy) {
    void* owner = nullptr;
    if (easy == nullptr || curl_easy_getinfo(easy, CURLINFO_PRIVATE, &owner) != CURLE_OK) {
        return nullptr;
    }
    return static_cast<CCurlResponse*>(owner);
}

}  // namespace

// --- Turn ---

// The analysis cannot see that m_turnMutex stands for m_turn.
CCurlMulti::Turn::Turn(CCurlMulti& multi) NO_THREAD_SAFETY_ANALYSIS : m_multi(multi) {
    multi.m_turnMutex.lock();
}

CCurlMulti::Turn::~Turn() NO_THREAD_SAFETY_ANALYSIS { m_multi.m_turnMutex.unlock(); }

// --- CCurlMulti ---

std::shared_ptr<CCurlMulti> CCurlMulti::Acquire() {
    if (!EnsureCurlGlobalInit()) {
        return nullptr;
    }
    brevane::MutexLock lock(g_sharedMutex);
    if (std::shared_ptr<CCurlMulti> shared = g_shared.lock()) {
        return shared;
    }
    CURLM* handle = curl_multi_init();
    if (handle == nullptr) {
        return nullptr;
    }
    std::shared_ptr<CCurlMulti> shared(new CCurlMulti(handle));
    // Every client's transfers share the handle, so a per-host connection
    // limit here would bind cameras together; each client runs at most a
    // request and a closing response at once. No multiplexing: each exchange
    // has a connection of its own while its body is open.
    if (curl_multi_setopt(handle, CURLMOPT_PIPELINING, CURLPIPE_NOTHING) != CURLM_OK ||
        curl_multi_setopt(handle, CURLMOPT_SOCKETFUNCTION, &CCurlMulti::SocketCallback) != CURLM_OK ||
        curl_multi_setopt(handle, CURLMOPT_SOCKETDATA, shared.get()) != CURLM_OK ||
        curl_multi_setopt(handle, CURLMOPT_TIMERFUNCTION, &CCurlMulti::TimerCallback) != CURLM_OK ||
        curl_multi_setopt(handle, CURLMOPT_TIMERDATA, shared.get()) != CURLM_OK) {
        return nullptr;
    }
    g_shared = shared;
    return shared;
}

CCurlMulti::CCurlMulti(CURLM* multi) : m_multi(multi) {}

CCurlMulti::~CCurlMulti() {
    // Every response holds its session and every session this handle, so no
    // transfer is left in it.
    curl_multi_cleanup(m_multi);
}

bool CCurlMulti::Attach(CCurlResponse& response) {
    Turn turn(*this);
    // libcurl sets a timer due at once, which starts the transfer.
    return curl_multi_add_handle(m_multi, response.Easy()) == CURLM_OK;
}

void CCurlMulti::Detach(CCurlResponse& response) {
    Turn turn(*this);
    // A finished transfer left the handle already (CollectFinished).
    if (CURL* easy = response.Easy()) {
        curl_multi_remove_handle(m_multi, easy);
        response.ReleaseEasy();
    }
}

int CCurlMulti::SocketCallback(CURL* easy, curl_socket_t socket, int what, void*, void*) {
    // Without pipelining a socket belongs to one transfer at a time, and
    // libcurl removes it from the transfer that had it before another one
    // takes the connection.
    if (CCurlResponse* owner = OwnerOf(easy)) {
        owner->Sockets().OnSocket(socket, what);
    }
    return 0;
}

int CCurlMulti::TimerCallback(CURLM*, long timeoutMs, void* self) {
    static_cast<CCurlMulti*>(self)->SetTimer(timeoutMs);
    return 0;
}

void CCurlMulti::SetTimer(long timeoutMs) {
    m_timerDue = timeoutMs < 0 ? kNoTimer
                               : brevane::platform::MonotonicMilliseconds() +
                                     static_cast<std::uint64_t>(timeoutMs);
}

void CCurlMulti::RefreshTimer() {
    // libcurl calls the timer callback only when its earliest timer changes,
    // so after a run that found the timer not quite due (its clock is finer
    // than ours) the due time is asked for again rather than kept.
    long timeoutMs = -1;
    if (curl_multi_timeout(m_multi, &timeoutMs) == CURLM_OK) {
        SetTimer(timeoutMs);
    }
}

std::uint64_t CCurlMulti::MsUntilTimer(std::uint64_t limit) const {
    const std::uint64_t due = m_timerDue.load();
    if (due == kNoTimer) {
        return limit;
    }
    const std::uint64_t now = brevane::platform::MonotonicMilliseconds();
    return due <= now ? 0 : std::min(limit, due - now);
}

bool CCurlMulti::RunTimers() {
    if (MsUntilTimer(1) != 0) {
        return true;  // another thread ran them meanwhile
    }
    return RunSocket(CURL_SOCKET_TIMEOUT, 0);
}

bool CCurlMulti::RunSocket(curl_socket_t socket, int events) {
    int running = 0;
    const CURLMcode result = curl_multi_socket_action(m_multi, socket, events, &running);
    CollectFinished();
    RefreshTimer();
    // A socket libcurl let go of meanwhile is no failure of the handle.
    return result == CURLM_OK || result == CURLM_BAD_SOCKET;
}

void CCurlMulti::Resume(CCurlResponse& response) {
    if (CURL* easy = response.Easy()) {
        curl_easy_pause(easy, CURLPAUSE_CONT);
    }
    CollectFinished();
    RefreshTimer();
}

void CCurlMulti::CollectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        CURL* easy = message->easy_handle;
        if (CCurlResponse* owner = OwnerOf(easy)) {
            owner->OnDone(message->data.result);
            // The transfer is over: its handle leaves at once; the
            // connection stays in the shared cache for the next exchange,
            // which may start while this response is still being read.
            curl_multi_remove_handle(m_multi, easy);
            owner->ReleaseEasy();
        }
    }
}

}  // namespace Web
