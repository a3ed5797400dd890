// CCurlResponse: the libcurl backend of a response (see http/Transport.h):
// one exchange of a CCurlSession, from the request to the end
// of the body: the libcurl transfer, the status and headers of the final
// response, and a fixed-size receive buffer for the body, which readers copy
// from (ReadData) or work on in place (ViewData). When the buffer is
// full the transfer pauses, and it resumes once a reader made room, so a
// camera sending faster than it is read costs no more memory than the buffer.
//
// What the transfer waits on, and the wait, are its CCurlSocketWait; the
// transfer's options are set in CurlTransferOptions.cpp, and its failures
// are named in CurlFailure.
//
// Shared through Web::RequestHandle by the client and its readers. The
// libcurl callbacks run on whichever thread holds the multi handle's turn;
// readers and Close may run on any thread. m_mutex guards the buffer, the
// header state and the transfer's end.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Mutex.h"
#include "http/ByteRing.h"
#include "http/Transport.h"
#include "http/curl/CurlSession.h"
#include "http/curl/CurlSocketWait.h"

namespace Web {

class CCurlResponse final : public CHttpResponse {
   public:
    // Fixed size of the receive buffer.
    static constexpr std::uint32_t kBufferCapacity = 128 * 1024;
    // How much libcurl reads from the socket at once. A camera that sends
    // faster than the reader takes keeps the socket full, so every read is
    // this long: 128 KiB took 0.19 recv and no poll per 704x576 picture,
    // where 64 KiB took 0.38 and 0.19, and larger reads with a larger buffer
    // saved little more for more memory. A reader that takes all it is shown
    // leaves the buffer empty, so a whole read fits it.
    static constexpr long kSocketReadSize = 128 * 1024;

    CCurlResponse(std::shared_ptr<CCurlSession> session, std::uint32_t timeoutMs);
    ~CCurlResponse() override;
    CCurlResponse(const CCurlResponse&) = delete;
    CCurlResponse& operator=(const CCurlResponse&) = delete;

    // Sets up the transfer of `exchange` to the server of `session`; false
    // for a request that cannot be made (empty or malformed host, verb or
    // target).
    bool Configure(const SessionParams& session, const ExchangeParams& exchange);

    // --- reading, any thread ---
    bool QueryDataAvailable(std::uint32_t* count) override;
    bool ReadData(void* buffer, std::uint32_t size, std::uint32_t* read) override;
    // Shows the receive buffer in place; the transfer writes only into its
    // free room, so the bytes shown stay as they are until released.
    bool ViewData(BodyView* view) override;
    void ReleaseData(std::uint32_t count) override;
    // The transfer is stopped at the next chance.
    void Close() override;
    bool IsClosed() const { return m_closed.load(); }
    ResponseStats Stats() const override;

    // --- the final response's headers ---
    std::uint32_t StatusCode() const override;
    std::uint32_t ContentLength() const override;
    // Scheme bits offered by WWW-Authenticate / Proxy-Authenticate.
    std::uint32_t ServerAuthSchemes() const override;
    std::uint32_t ProxyAuthSchemes() const override;
    std::vector<std::string> AuthChallenges(bool proxy) const override;

    // --- for the session ---
    // The transfer's handle; null once it left the multi handle. Changes only
    // under the multi handle's turn once the transfer was attached.
    CURL* Easy() const { return m_easy; }
    // Frees the handle, removed from the multi handle. Under the turn.
    void ReleaseEasy();
    std::uint32_t TimeoutMs() const { return m_timeoutMs; }
    std::uint64_t LastActivityMs() const { return m_lastActivity.load(); }
    bool Connected() const { return m_connected.load(); }
    // The final headers arrived, or the transfer ended.
    bool HeadersSettled() const;
    bool HasFinalHeaders() const;
    // Body bytes are buffered, or the transfer ended.
    bool DataSettled() const;
    // The buffer has room for a whole socket read.
    bool RoomForSocketRead() const;
    // True (and the paused mark cleared) when the transfer is paused and
    // should run again: the buffer has room for a full write, or the response
    // was closed and the transfer should end.
    bool TakeResume();
    void OnDone(CURLcode result);
    // What the transfer waits on; the session waits there, the multi
    // handle's socket callback reports there.
    CCurlSocketWait& Sockets() { return m_wait; }
    void SetAttached() { m_attached = true; }
    // Why the transfer failed (None while it runs or after it ended well).
    Failure TransferFailure() const;

   private:
    // The URL of the exchange, set piece by piece (scheme, host, port, path,
    // query).
    bool BuildUrl(const SessionParams& session, const ExchangeParams& exchange);
    // The transfer's options: no proxy, no certificate checks, the verb,
    // the credentials for the chosen target and the callbacks.
    bool SetOptions(const SessionParams& session, const ExchangeParams& exchange);
    // Header state of the response block being received.
    struct HeaderBlock {
        std::uint32_t status = 0;
        std::uint32_t contentLength = 0;
        std::uint32_t serverSchemes = 0;
        std::uint32_t proxySchemes = 0;
        std::vector<std::string> serverChallenges;
        std::vector<std::string> proxyChallenges;
        bool ended = false;
    };

    static std::size_t HeaderCallback(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* self);
    static int PrereqCallback(void* self, char* primaryIp, char* localIp, int primaryPort,
                              int localPort);
    bool OnHeaderLine(std::string_view line);
    std::size_t OnBody(const char* data, std::size_t size);
    void Touch();
    void SettleTentativeLocked() REQUIRES(m_mutex);
    // Stats without the transfer's failure.
    ResponseStats BufferStats() const;
    bool WaitForData(bool refresh);

    // Members are destroyed in reverse order: the session outlives the
    // transfer that the destructor removes from it.
    const std::shared_ptr<CCurlSession> m_session;
    const std::uint32_t m_timeoutMs;
    CURL* m_easy = nullptr;
    CURLU* m_url = nullptr;
    // The Authorization header the client computed; lives as long as the
    // transfer.
    curl_slist* m_headers = nullptr;
    bool m_attached = false;

    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_connected{false};
    std::atomic<std::uint64_t> m_lastActivity;
    CCurlSocketWait m_wait;

    mutable brevane::Mutex m_mutex;
    HeaderBlock m_block GUARDED_BY(m_mutex);
    bool m_final GUARDED_BY(m_mutex) = false;  // m_block is the final response
    bool m_done GUARDED_BY(m_mutex) = false;
    CURLcode m_result GUARDED_BY(m_mutex) = CURLE_OK;
    long m_osError GUARDED_BY(m_mutex) = 0;  // the system's error of a failed transfer
    Failure m_waitFailure GUARDED_BY(m_mutex) = Failure::None;  // last body wait that failed
    bool m_paused GUARDED_BY(m_mutex) = false;
    CByteRing m_ring GUARDED_BY(m_mutex){kBufferCapacity};
    std::uint64_t m_received GUARDED_BY(m_mutex) = 0;
    std::uint32_t m_pauses GUARDED_BY(m_mutex) = 0;
    // Bytes of the last view not released yet: a release never drops bytes
    // the reader has not been shown.
    std::uint32_t m_shown GUARDED_BY(m_mutex) = 0;
};

}  // namespace Web
