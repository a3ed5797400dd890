// CCurlMulti: the one libcurl multi handle of the process, shared by every
// session (one per Web::CHttpClient) and every transfer they run. libcurl
// gives each multi handle a wake-up socket pair of its own, so a handle per
// client would cost every camera several descriptors while idle; with one
// handle the process pays those two once, and a streaming channel holds
// only its connection's socket.
//
// libcurl runs transfers only while someone drives the multi handle, and the
// handle is not thread-safe. Every thread that needs progress (a Request
// waiting for headers, a reader waiting for body bytes) therefore takes a
// fair turn and drives the handle itself: all transfers of the process move
// while any of them is driven. A thread waiting for its turn wakes the
// current driver out of its poll, so turns change promptly.
//
// Created with the first session and destroyed with the last one (sessions
// hold it through shared_ptr), so an unloaded module leaves nothing behind.
// Wake may be called from any thread; the rest needs a Turn as noted.
#pragma once

#include <curl/curl.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
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

    // Stands for the turn in lock annotations; holds nothing. The turn is a
    // ticket lock on m_turnMutex that the analysis cannot see through.
    struct CAPABILITY("turn") TurnCapability {};

    // A fair turn at driving the handle (tickets served in order). For the
    // analysis a Turn holds the turn for its scope; one made with
    // `onlyIfFree` that does not Own it must not touch what the turn guards.
    class SCOPED_CAPABILITY Turn {
       public:
        // Waits for the turn; with `onlyIfFree`, takes it only when nobody
        // holds or waits for it (see Owns).
        explicit Turn(CCurlMulti& multi, bool onlyIfFree = false) ACQUIRE(multi.m_turn);
        ~Turn() RELEASE();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
        bool Owns() const { return m_owns; }

       private:
        CCurlMulti& m_multi;
        bool m_owns = false;
    };

    // Interrupts the current driver's poll so it looks at the state again.
    void Wake();

    // Transfers in the handle; each takes the turn itself.
    bool Attach(CCurlResponse& response) EXCLUDES(m_turn);
    void Detach(CCurlResponse& response) EXCLUDES(m_turn);

    // One round: resumes drained transfers, runs libcurl and hands finished
    // transfers their result. Needs the turn; false when the handle failed.
    bool Perform() REQUIRES(m_turn);
    // Waits up to timeoutMs for network activity or a Wake. Needs the turn;
    // false when the handle failed.
    bool Poll(std::uint64_t timeoutMs) REQUIRES(m_turn);

   private:
    explicit CCurlMulti(CURLM* multi);
    void ResumeDrained() REQUIRES(m_turn);
    void CollectFinished() REQUIRES(m_turn);

    CURLM* const m_multi;

    brevane::Mutex m_turnMutex;
    std::condition_variable m_turnChanged;
    std::uint64_t m_nextTicket GUARDED_BY(m_turnMutex) = 0;
    std::uint64_t m_serving GUARDED_BY(m_turnMutex) = 0;

    TurnCapability m_turn;
    std::vector<CCurlResponse*> m_live GUARDED_BY(m_turn);
};

}  // namespace Web
