// CCurlSocketWait: what one libcurl transfer waits on, and the wait itself.
// It keeps the sockets libcurl says the transfer watches (its
// CURLMOPT_SOCKETFUNCTION news) and a wake-up descriptor through which
// Close, an abort or another thread's progress interrupts the thread
// waiting on those sockets; the descriptor exists from the first wait to
// the end of the transfer.
//
// Owned by the transfer's response; the session's driving loop waits on it,
// the multi handle's socket callback (under the multi's turn) reports to it,
// and any thread may Wake it. m_mutex guards the socket list.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/Mutex.h"

namespace Web {

class CCurlSocketWait {
   public:
    // A socket of the transfer that is ready, with CURL_CSELECT_* bits.
    struct SocketEvent {
        curl_socket_t socket;
        int events;
    };

    CCurlSocketWait() = default;
    ~CCurlSocketWait();
    CCurlSocketWait(const CCurlSocketWait&) = delete;
    CCurlSocketWait& operator=(const CCurlSocketWait&) = delete;

    // libcurl's news about one of the transfer's sockets (CURL_POLL_*).
    void OnSocket(curl_socket_t socket, int what);
    // libcurl still has `socket` on this transfer's list.
    bool Watches(curl_socket_t socket) const;
    // Makes the wake-up descriptor; false when the system has none to give.
    // Only the waiting thread calls it.
    bool Prepare();
    // Waits up to timeoutMs for the sockets or a Wake, unless `ready`
    // already holds (checked after the wait is announced, so a wake from
    // another thread is never lost). Fills `events` with the sockets that
    // are ready; false when the system's wait failed.
    bool Wait(std::uint64_t timeoutMs, const std::function<bool()>& ready, std::vector<SocketEvent>* events);
    // Interrupts Wait (or the next one, if none runs now).
    void Wake();
    // A thread is in Wait: progress made by another thread must Wake it.
    bool Waiting() const { return m_waiting.load(); }

   private:
    struct WatchedSocket {
        curl_socket_t socket;
        int what;  // CURL_POLL_IN, _OUT or _INOUT
    };

    std::atomic<int> m_wakeFd{-1};
    std::atomic<bool> m_waiting{false};
    mutable brevane::Mutex m_mutex;
    std::vector<WatchedSocket> m_sockets GUARDED_BY(m_mutex);
};

}  // namespace Web
