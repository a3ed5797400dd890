// CCurlMulti: the one libcurl multi handle of the process, shared by every
// session (one per Web::CHttpClient) and every transfer they run. libcurl
// gives each multi handle a wake-up socket pair of its own, so a handle per
// client would cost every camera several descriptors while idle; with one
// handle the process pays those two once.
//
// The handle runs on libcurl's socket interface: libcurl says which sockets
// each transfer waits on (CCurlSocketWait::OnSocket) and when its next timer is
// due, and a thread that needs progress on one transfer waits on that
// transfer's sockets alone and then runs just that transfer. So a camera's
// reader drives its own stream, and the work per step does not grow with the
// number of transfers in the process.
//
// The handle is not thread-safe: every call into it happens under a Turn, a
// short exclusive hold that is never kept across a wait for the network.
// Created with the first session and destroyed with the last one (sessions
// hold it through shared_ptr), so an unloaded module leaves nothing behind.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Mutex.h"

namespace Web {

class CCurlResponse;

class CCurlMulti {
   public:
    // The shared handle, created when no session holds it; null when the
    // library could not provide one.
    static std::shared_ptr<CCurlMulti> Acquire();
    ~CCurlMulti();
    CCurlMulti(const CCurlMulti&) = delete;
    CCurlMulti& operator=(const CCurlMulti&) = delete;

    // Stands for the turn in lock annotations; holds nothing.
    struct CAPABILITY("turn") TurnCapability {};

    // Exclusive use of the handle for one step.
    class SCOPED_CAPABILITY Turn {
       public:
        explicit Turn(CCurlMulti& multi) ACQUIRE(multi.m_turn);
        ~Turn() RELEASE();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

       private:
        CCurlMulti& m_multi;
    };

    // Transfers in the handle; each takes the turn itself.
    bool Attach(CCurlResponse& response) EXCLUDES(m_turn);
    void Detach(CCurlResponse& response) EXCLUDES(m_turn);

    // Milliseconds until libcurl's next timer is due (0: due now), at most
    // `limit`. Any thread, without the turn.
    std::uint64_t MsUntilTimer(std::uint64_t limit) const;
    // Runs the transfers whose timers are due. False when the handle failed.
    bool RunTimers() REQUIRES(m_turn);
    // Runs the transfers on `socket`, which has `events` (CURL_CSELECT_*);
    // CURL_SOCKET_TIMEOUT runs those whose timers are due.
    bool RunSocket(curl_socket_t socket, int events) REQUIRES(m_turn);
    // Lets a paused transfer go on; its held-back data may arrive at once.
    void Resume(CCurlResponse& response) REQUIRES(m_turn);

   private:
    explicit CCurlMulti(CURLM* multi);
    static int SocketCallback(CURL* easy, curl_socket_t socket, int what, void* self, void*);
    static int TimerCallback(CURLM*, long timeoutMs, void* self);
    void SetTimer(long timeoutMs);
    void RefreshTimer() REQUIRES(m_turn);
    void CollectFinished() REQUIRES(m_turn);

    CURLM* const m_multi;
    brevane::Mutex m_turnMutex;
    TurnCapability m_turn;
    // When libcurl's timer is due (monotonic ms); kNoTimer when none is set.
    static constexpr std::uint64_t kNoTimer = ~std::uint64_t{0};
    std::atomic<std::uint64_t> m_timerDue{kNoTimer};
};

}  // namespace Web
