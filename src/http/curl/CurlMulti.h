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
#include <mutex>
#include <vector>

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

    // A fair turn at driving the handle (tickets served in order).
    class Turn {
       public:
        // Waits for the turn; with `onlyIfFree`, takes it only when nobody
        // holds or waits for it (see Owns).
        explicit Turn(CCurlMulti& multi, bool onlyIfFree = false);
        ~Turn();
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
    bool Attach(CCurlResponse& response);
    void Detach(CCurlResponse& response);

    // One round: resumes drained transfers, runs libcurl and hands finished
    // transfers their result. Needs the turn; false when the handle failed.
    bool Perform();
    // Waits up to timeoutMs for network activity or a Wake. Needs the turn;
    // false when the handle failed.
    bool Poll(std::uint64_t timeoutMs);

   private:
    explicit CCurlMulti(CURLM* multi);
    void ResumeDrained();    // needs the turn
    void CollectFinished();  // needs the turn

    CURLM* const m_multi;

    std::mutex m_turnMutex;
    std::condition_variable m_turnChanged;
    std::uint64_t m_nextTicket = 0;  // guarded by m_turnMutex
    std::uint64_t m_serving = 0;     // guarded by m_turnMutex

    std::vector<CCurlResponse*> m_live;  // guarded by the turn
};

}  // namespace Web
