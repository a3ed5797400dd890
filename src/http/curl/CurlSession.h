// CCurlSession: the libcurl backend of the session under one
// Web::CHttpClient (see http/Transport.h). It owns a multi handle, whose
// connection cache is the client's reused connection to the camera (at most
// 16 connections per server), and runs every exchange of the client as a
// transfer of that handle.
//
// libcurl runs transfers only while someone drives the multi handle, and the
// handle is not thread-safe. Every thread that needs progress (a Request
// waiting for headers, a reader waiting for body bytes) therefore takes a
// fair turn and drives the handle itself: all transfers of the session move
// while any of them is driven. A thread waiting for its turn wakes the
// current driver out of its poll, so turns change promptly.
//
// Owned jointly by its client and every response the client handed out, so a
// reader's handle stays valid after the client is gone. Abort, ResetAbort and
// Wake may be called from any thread.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/Mutex.h"
#include "http/Transport.h"

namespace Web {

class CCurlResponse;

class CCurlSession final : public CHttpSession,
                           public std::enable_shared_from_this<CCurlSession> {
   public:
    enum class WaitResult { Ready, Aborted, Closed, TimedOut, Failed };

    // A new session, or null when the library could not provide one.
    static std::shared_ptr<CCurlSession> Open(const SessionParams& params);
    ~CCurlSession() override;
    CCurlSession(const CCurlSession&) = delete;
    CCurlSession& operator=(const CCurlSession&) = delete;

    // libcurl's own authentication passes and interim responses are waited
    // out before the exchange returns.
    ExchangeResult Exchange(const ExchangeParams& params) override;

    void Abort() override;
    void ResetAbort() override;
    bool IsAborted() const override { return m_aborted.load(); }

    // Drives the session until `ready` holds for `response` (checked before
    // each round), the session is aborted, the response is closed, or the
    // response's time-out passes without progress. With `refresh`, a
    // response that is ready at once still gets one pass without waiting
    // when nobody else is driving, so it takes in what the network has.
    WaitResult Drive(CCurlResponse& response, const std::function<bool()>& ready,
                     bool refresh = false);

    // Interrupts the current driver's poll so it looks at the state again.
    void Wake();

    // Transfers in the multi handle; called by CCurlResponse.
    bool Attach(CCurlResponse& response);
    void Detach(CCurlResponse& response);

   private:
    // Stands for the turn in lock annotations; holds nothing. The turn is a
    // ticket lock on m_turnMutex that the analysis cannot see through.
    struct CAPABILITY("turn") TurnCapability {};

    // A fair turn at driving the multi handle (tickets served in order).
    // For the analysis a Turn holds the turn for its scope; one made with
    // `onlyIfFree` that does not Own it must not touch what the turn guards.
    class SCOPED_CAPABILITY Turn {
       public:
        // Waits for the turn; with `onlyIfFree`, takes it only when nobody
        // holds or waits for it (see Owns).
        explicit Turn(CCurlSession& session, bool onlyIfFree = false) ACQUIRE(session.m_turn);
        ~Turn() RELEASE();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
        bool Owns() const { return m_owns; }

       private:
        CCurlSession& m_session;
        bool m_owns = false;
    };

    CCurlSession(CURLM* multi, SessionParams params);
    void ResumeDrained() REQUIRES(m_turn);
    void CollectFinished() REQUIRES(m_turn);
    bool Perform() REQUIRES(m_turn);  // false when the handle failed

    CURLM* const m_multi;
    const SessionParams m_params;
    std::atomic<bool> m_aborted{false};

    brevane::Mutex m_turnMutex;
    std::condition_variable m_turnChanged;
    std::uint64_t m_nextTicket GUARDED_BY(m_turnMutex) = 0;
    std::uint64_t m_serving GUARDED_BY(m_turnMutex) = 0;

    TurnCapability m_turn;
    std::vector<CCurlResponse*> m_live GUARDED_BY(m_turn);
};

}  // namespace Web
