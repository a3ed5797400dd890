// The transport under Web::CHttpClient: one session per client, which sends
// the client's exchanges, and the responses it hands out. Each platform has
// one backend (libcurl in http/curl, WinHTTP in http/winhttp), chosen by the
// build; the client front above it (scheme detection, authentication
// negotiation, response swapping, ReadAll) is shared.
//
// A session is owned by its client; a response is shared by the client and
// every reader that took its handle, and keeps what it needs of the session
// alive. Every member may be called from any thread: Abort and Close in
// particular while another thread is blocked in the same session.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "http/CopiedBodyView.h"
#include "http/HttpClient.h"

namespace Web {

// The request target sent for `path`: a leading '/' is added when missing
// (a request target must begin with one), and bytes that may not appear in a
// target (controls, blanks, non-ASCII, '"', '<', '>', '\', '^', '`', '{', '|',
// '}', '#') are percent-encoded, so no caller text can break the request
// line. Everything else, '%' included, goes out as given. Empty for an empty
// path.
std::string RequestTarget(std::string_view path);

// What a session is opened for: one server, as the client was configured.
struct SessionParams {
    std::string host;
    std::uint16_t port = 80;
    std::string userAgent;
    std::uint32_t timeoutMs = 0;  // connect, send, and no progress while waiting; 0: none
    // Applied per session by WinHTTP. The libcurl backend runs every
    // session on one shared handle and sets no limit there, which would bind
    // cameras together; a session never has more than a request and a
    // closing response open at once.
    std::uint32_t maxConnectionsPerServer = 16;
};

// What one exchange sends.
struct ExchangeParams {
    bool secure = false;      // HTTPS (certificate and host name not checked)
    std::string target;       // from RequestTarget
    std::string verb;
    std::string userName;     // credentials are attached only when not empty
    std::string password;
    std::uint32_t authScheme = 0;  // one kAuthScheme* bit; 0: no credentials
    std::uint32_t authTarget = kAuthTargetServer;
    // A complete Authorization (Proxy-Authorization for the proxy target)
    // value the client computed itself (Digest), sent as it is; the
    // transport then gets no user name for that exchange.
    std::string authorization;
    // Longest time from sending to the end of the body (0: no limit; the
    // idle time-out of the session applies either way). Where the backend
    // cannot bound the body, the status line and headers are bounded by it.
    std::uint32_t totalTimeoutMs = 0;
};

// One exchange from the request to the end of its body.
class CHttpResponse {
   public:
    virtual ~CHttpResponse() = default;

    // Body reading with the meaning of Web::QueryDataAvailable / ReadData.
    virtual bool QueryDataAvailable(std::uint32_t* count) = 0;
    virtual bool ReadData(void* buffer, std::uint32_t size, std::uint32_t* read) = 0;
    // Body views with the meaning of Web::ViewData / ReleaseData. A backend
    // with a receive buffer of its own shows it; by default the bytes are
    // read with ReadData into storage of the response's and shown there.
    virtual bool ViewData(BodyView* view) { return m_copiedView.Show(*this, view); }
    virtual void ReleaseData(std::uint32_t count) { m_copiedView.Release(count); }
    // Ends the response for every holder: a blocked read returns, reads fail
    // from now on and the transfer is stopped.
    virtual void Close() = 0;
    virtual ResponseStats Stats() const = 0;

    // The final response's status and Content-Length (0 when absent).
    virtual std::uint32_t StatusCode() const = 0;
    virtual std::uint32_t ContentLength() const = 0;
    // Scheme bits offered by the server's (or proxy's) challenge.
    virtual std::uint32_t ServerAuthSchemes() const = 0;
    virtual std::uint32_t ProxyAuthSchemes() const = 0;
    // The values of the response's WWW-Authenticate (proxy: its
    // Proxy-Authenticate) headers, in the order received.
    virtual std::vector<std::string> AuthChallenges(bool proxy) const = 0;

   private:
    CCopiedBodyView m_copiedView;
};

struct ExchangeResult {
    std::shared_ptr<CHttpResponse> response;  // null when no final response arrived
    bool connected = false;  // a connection to the server was made
    Failure failure = Failure::None;  // why no final response arrived
};

class CHttpSession {
   public:
    virtual ~CHttpSession() = default;

    // Sends one request and waits until its final status line and headers
    // arrived, the exchange failed, the time-out passed with no progress, or
    // the session was aborted.
    virtual ExchangeResult Exchange(const ExchangeParams& params) = 0;

    // Makes every blocked call of the session and its responses return with
    // failure; later calls fail until ResetAbort.
    virtual void Abort() = 0;
    virtual void ResetAbort() = 0;
    virtual bool IsAborted() const = 0;
};

// A session of this platform's backend, or null when it could not be opened.
std::shared_ptr<CHttpSession> OpenSession(const SessionParams& params);

}  // namespace Web
