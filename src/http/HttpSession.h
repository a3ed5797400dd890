// CHttpSession: the transport under one Web::CHttpClient, over libcurl. It
// owns a multi handle, whose connection cache is the client's reused
// connection to the camera (at most 16 connections per server), and runs
// every exchange of the client as a transfer of that handle.
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
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace Web {

class CHttpResponse;

// The request target sent for `path`: a leading '/' is added when missing
// (a request target must begin with one), and bytes that may not appear in a
// target (controls, blanks, non-ASCII, '"', '<', '>', '\', '^', '`', '{', '|',
// '}', '#') are percent-encoded, so no caller text can break the request
// line. Everything else, '%' included, goes out as given. Empty for an empty
// path.
std::string RequestTarget(std::string_view path);

// What one exchange sends.
struct ExchangeParams {
    bool secure = false;      // HTTPS (certificate and host name not checked)
    std::string host;
    std::uint16_t port = 80;
    std::string target;       // from RequestTarget
    std::string verb;
    std::string userAgent;
    std::string userName;     // credentials are attached only when not empty
    std::string password;
    std::uint32_t authScheme = 0;  // scheme bit of Web::CHttpClient
    std::uint32_t authTarget = 0;  // server or proxy
    std::uint32_t timeoutMs = 0;   // connect, and no progress while waiting; 0: none
};

struct ExchangeResult {
    std::shared_ptr<CHttpResponse> response;  // null when no final response arrived
    bool connected = false;  // a connection to the server was made
};

class CHttpSession : public std::enable_shared_from_this<CHttpSession> {
   public:
    enum class WaitResult { Ready, Aborted, Closed, TimedOut, Failed };

    // A new session, or null when the library could not provide one.
    static std::shared_ptr<CHttpSession> Open(long maxConnectionsPerServer);
    ~CHttpSession();
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;

    // Sends one request and waits until its final status line and headers
    // arrived (libcurl's own authentication passes and interim responses are
    // waited out), the transfer failed, the time-out passed with no progress,
    // or the session was aborted.
    ExchangeResult Exchange(const ExchangeParams& params);

    void Abort();
    void ResetAbort();
    bool IsAborted() const { return m_aborted.load(); }

    // Drives the session until `ready` holds for `response` (checked before
    // each round), the session is aborted, the response is closed, or the
    // response's time-out passes without progress. With `refresh`, a
    // response that is ready at once still gets one pass without waiting
    // when nobody else is driving, so it takes in what the network has.
    WaitResult Drive(CHttpResponse& response, const std::function<bool()>& ready,
                     bool refresh = false);

    // Interrupts the current driver's poll so it looks at the state again.
    void Wake();

    // Transfers in the multi handle; called by CHttpResponse.
    bool Attach(CHttpResponse& response);
    void Detach(CHttpResponse& response);

   private:
    // A fair turn at driving the multi handle (tickets served in order).
    class Turn {
       public:
        // Waits for the turn; with `onlyIfFree`, takes it only when nobody
        // holds or waits for it (see Owns).
        explicit Turn(CHttpSession& session, bool onlyIfFree = false);
        ~Turn();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
        bool Owns() const { return m_owns; }

       private:
        CHttpSession& m_session;
        bool m_owns = false;
    };

    explicit CHttpSession(CURLM* multi);
    void ResumeDrained();     // needs the turn
    void CollectFinished();   // needs the turn
    bool Perform();           // needs the turn; false when the handle failed

    CURLM* const m_multi;
    std::atomic<bool> m_aborted{false};

    std::mutex m_turnMutex;
    std::condition_variable m_turnChanged;
    std::uint64_t m_nextTicket = 0;  // guarded by m_turnMutex
    std::uint64_t m_serving = 0;     // guarded by m_turnMutex

    std::vector<CHttpResponse*> m_live;  // guarded by the turn
};

}  // namespace Web
