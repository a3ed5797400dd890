// Web::CHttpClient: the module's only way to the network. Every object that
// talks to a camera owns clients of its own; a client keeps one session (its
// connection cache) to the camera for its whole life, sends one exchange at a
// time, negotiates authentication and keeps the last response open so the
// caller can read its body afterwards, in full (ReadAll) or piece by piece
// while it arrives (QueryDataAvailable / Read, or the free functions below on
// the handle from GetRequestHandle).
//
// Threads: normally one thread uses a client. A client shared by two threads
// serialises whole exchanges; a reader that took a handle keeps reading that
// response safely while another thread swaps in a new one. Abort() may be
// called from any thread at any time. The client writes no log lines.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/DeviceInfo.h"
#include "core/Mutex.h"
#include "thread/RecursiveLock.h"

namespace Web {

class CHttpResponse;
class CHttpSession;

// The response of one exchange: status, headers received, body still
// arriving. Shared, so a reader's copy stays valid after the client has
// replaced or closed its current response (reads then fail).
using RequestHandle = std::shared_ptr<CHttpResponse>;

// How many body bytes of the response can be read without waiting. Blocks
// until body bytes are buffered, the body has ended (count 0) or the client's
// time-out passes with no progress. False (count 0) when the handle is null,
// the response was closed, the client was aborted, the time-out passed or the
// transfer failed with nothing left to read.
bool QueryDataAvailable(const RequestHandle& handle, std::uint32_t* count);

// Reads at most `size` body bytes into `buffer`, waiting like
// QueryDataAvailable when nothing is buffered. True with *read 0 means the
// body has ended. False (with *read 0) on the failures listed above.
bool ReadData(const RequestHandle& handle, void* buffer, std::uint32_t size,
              std::uint32_t* read);

// Body bytes shown where the transport holds them, without copying them out:
// one or two runs, in stream order (a second one when the bytes wrap around
// the end of the transport's buffer).
struct BodyView {
    const std::uint8_t* first = nullptr;
    std::uint32_t firstSize = 0;
    const std::uint8_t* second = nullptr;
    std::uint32_t secondSize = 0;
    std::uint32_t Size() const { return firstSize + secondSize; }
};

// Waits like ReadData, then shows every body byte buffered now in `view`.
// True with an empty view means the body has ended; false (empty view) on
// the failures listed above. The bytes stay put, and stay valid, until the
// reader gives them back with ReleaseData or takes the next view (which
// shows what was not released first), also when the response is closed
// meanwhile. One reader at a time takes views of a response.
bool ViewData(const RequestHandle& handle, BodyView* view);

// Gives back the first `count` bytes of the last view as consumed (at most
// its size); the transport may then fill their room again. Releasing after
// the response was closed only forgets them.
void ReleaseData(const RequestHandle& handle, std::uint32_t count);

// Why an exchange or a response's body failed, in the terms an operator can
// act on. Each backend maps its own error codes to these in one place.
enum class Failure : std::uint8_t {
    None,         // no failure (or none known yet)
    Refused,      // the camera refused the connection
    TimedOut,     // no answer, or no progress, within the time-out
    Address,      // the host name could not be resolved or the address is invalid
    Unreachable,  // no route to the camera's network or host
    Aborted,      // cut short on purpose (stop, close)
    Broken,       // the connection broke or the answer was not HTTP
    Tls,          // the HTTPS handshake failed
    HttpStatus,   // an answer arrived with a status outside 200..299
    Other,        // any other transport error
};

// The failure in words, e.g. "connection refused"; for HttpStatus the status
// with its reason (StatusText).
std::string DescribeFailure(Failure failure, std::uint32_t statusCode);
// "401 Unauthorized: wrong user name or password", "500 Internal Server
// Error", or "HTTP status N" for a status without a known reason.
std::string StatusText(std::uint32_t statusCode);

// Diagnostics of one response's receive buffer.
struct ResponseStats {
    std::uint32_t capacity = 0;       // fixed size of the receive buffer
    std::uint32_t buffered = 0;       // bytes waiting to be read now
    std::uint32_t peakBuffered = 0;   // most bytes ever waiting at once
    std::uint64_t bytesReceived = 0;  // body bytes taken from the network
    std::uint32_t pauses = 0;         // times the transfer waited for room in the buffer
    bool ended = false;               // the transfer is over (body complete or failed)
    bool complete = false;            // the body arrived to its end without a transfer error
    // Why the body stopped early: the transfer's error, or the last wait
    // for body bytes that timed out or was cut short. None while the body
    // runs normally or after it ended complete.
    Failure failure = Failure::None;
};
ResponseStats GetResponseStats(const RequestHandle& handle);

// Scheme values of m_scheme. The values of all constants below are those of
// WinHTTP's (INTERNET_SCHEME_*, WINHTTP_AUTH_*), under names of our own so
// that <winhttp.h> can be included beside this header.
inline constexpr std::int32_t kSchemeHttp = 1;
inline constexpr std::int32_t kSchemeHttps = 2;

// Authentication scheme bits (m_authScheme, supported-scheme masks).
inline constexpr std::uint32_t kAuthSchemeBasic = 0x1;
inline constexpr std::uint32_t kAuthSchemeNtlm = 0x2;
inline constexpr std::uint32_t kAuthSchemePassport = 0x4;
inline constexpr std::uint32_t kAuthSchemeDigest = 0x8;
inline constexpr std::uint32_t kAuthSchemeNegotiate = 0x10;

// Authentication targets (m_authTarget).
inline constexpr std::uint32_t kAuthTargetServer = 0;
inline constexpr std::uint32_t kAuthTargetProxy = 1;

class CHttpClient {
   public:
    // Bodies read in full stop after this many bytes (plus at most one chunk).
    static constexpr std::uint32_t kReadAllLimit = 0x10000000;
    // ReadAll reads in chunks of at most this many bytes.
    static constexpr std::uint32_t kReadAllChunk = 0x2800;
    // Simultaneous connections the session opens to one server.
    static constexpr std::uint32_t kMaxConnectionsPerServer = 16;

    // Copies the time-out, address, port, user name and password of `device`
    // and opens the session. A client whose session failed to open fails
    // every request.
    CHttpClient(const brevane::DEVICE_INFO& device, const std::string& userAgent);
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // One exchange: returns once the final response's status line and
    // headers arrived (authentication negotiated), with the body unread. True
    // whatever the status; false when no response arrived, in which case the
    // previous response stays current. A path without a leading '/' is sent
    // with one; an empty verb or path fails.
    //
    // Credentials go out only with a scheme the camera asked for in a
    // challenge (this client's, or an earlier client's of the same camera),
    // except over HTTPS, where Basic goes out until a challenge asks for
    // another scheme. A 401 with no challenge this client can answer is
    // answered with Basic once.
    bool Request(const std::string& verb, const std::string& path);
    // The same, with the whole exchange (authentication repeats included)
    // bounded to `totalTimeoutMs` from now as far as the transport allows:
    // the status line and headers always, the body where the backend can
    // (the libcurl one). 0: no bound beyond the idle time-out.
    bool Request(const std::string& verb, const std::string& path, std::uint32_t totalTimeoutMs);

    // Reads the current response's body to its end (at most kReadAllLimit
    // bytes plus one chunk) into `buffer`; returns the byte count. The buffer
    // may hold zero bytes beyond the count when a read came up short.
    std::uint32_t ReadAll(std::vector<std::uint8_t>& buffer);

    // Bytes of the current response readable without waiting (blocks like
    // Web::QueryDataAvailable); 0 when there is none or on failure.
    std::uint32_t QueryDataAvailable();

    // One read of at most `size` bytes from the current response; 0 when the
    // body has ended, on failure, or for a null buffer or size 0.
    std::uint32_t Read(void* buffer, std::uint32_t size);

    // The current response (null when none), taken under m_lock.
    RequestHandle GetRequestHandle();

    // Drops the current response; readers holding its handle fail from now on.
    void CloseRequest();

    // Makes a blocked Request, QueryDataAvailable or Read of this client (and
    // reads on its handles) return at once with failure; later calls fail
    // until ResetAbort(). Callable from any thread.
    void Abort();
    void ResetAbort();
    bool IsAborted() const;

    std::uint32_t GetStatusCode() const;
    std::uint32_t GetContentLength() const;
    // Why the last Request went wrong: the transport's cause when no answer
    // arrived, HttpStatus when the answer's status is outside 200..299, None
    // when it succeeded. DescribeLastFailure puts it in words.
    Failure GetLastFailure() const;
    std::string DescribeLastFailure() const;
    const std::string& GetHost() const { return m_host; }
    std::uint16_t GetPort() const { return m_port; }
    std::uint32_t GetTimeout() const { return m_timeout; }

    // Negotiated state, for diagnostics and tests.
    std::int32_t GetScheme() const { return m_scheme.load(); }
    std::uint32_t GetAuthScheme() const { return m_authScheme.load(); }
    std::uint32_t GetAuthTarget() const { return m_authTarget.load(); }

   private:
    // What the exchanges of one Request share.
    struct Attempt {
        bool probingPlain = false;    // plain HTTP while the scheme is undetermined
        bool refusedPlain = false;    // a TLS port's page refused the plain HTTP probe
        std::uint64_t deadline = 0;   // monotonic ms; 0: none
        bool digestSigned = false;    // the last exchange carried a Digest answer
    };
    bool AuthenticatedExchange(const std::string& verb, const std::string& path, Attempt& attempt)
        REQUIRES(m_exchangeMutex);
    bool BasicExchange(const std::string& verb, const std::string& path, Attempt& attempt)
        REQUIRES(m_exchangeMutex);
    // The scheme credentials go out with: the negotiated one, or Basic over
    // HTTPS while none is; 0 for none.
    std::uint32_t EffectiveAuthScheme() const;
    void SetStatus(std::uint32_t statusCode, std::uint32_t contentLength);
    void SetFailure(Failure failure);
    // Records the outcome of an answered Request (HttpStatus for a status
    // outside 200..299); passes `answered` through.
    bool Answered(bool answered);

    const std::uint32_t m_timeout;
    mutable brevane::CRecursiveLock m_lock;
    RequestHandle m_hRequest GUARDED_BY(m_lock);
    std::shared_ptr<CHttpSession> m_hSession;  // null when opening failed
    std::atomic<std::int32_t> m_scheme{0};
    // 0 until a challenge (of this client or of an earlier one of the same
    // camera) named a scheme.
    std::atomic<std::uint32_t> m_authScheme{0};
    std::atomic<std::uint32_t> m_authTarget{kAuthTargetServer};
    const std::string m_userAgent;
    const std::string m_userName;
    const std::string m_password;
    const std::string m_host;
    const std::uint16_t m_port;
    std::uint32_t m_statusCode GUARDED_BY(m_lock) = 0;
    std::uint32_t m_contentLength GUARDED_BY(m_lock) = 0;
    Failure m_lastFailure GUARDED_BY(m_lock) = Failure::None;

    // Held for a whole Request, so two threads sharing the client never
    // interleave their exchanges or the negotiation state.
    brevane::Mutex m_exchangeMutex;
};

}  // namespace Web
