// CWinHttpResponse: the WinHTTP backend of a response (see
// http/Transport.h): one asynchronous request of a CWinHttpSession, from
// sending the request to the end of the body. WinHTTP buffers the body
// itself; the response counts what was read, for Stats.
//
// Shared through Web::RequestHandle by the client and its readers, which may
// call it from any thread. The waiting operations run one at a time on the
// response's CWinHttpRequest, each waiting on the request's event together
// with the session's abort event, so Close and the session's Abort end a
// wait at once by closing the request. The request's state lives on past
// the response until WinHTTP reports its handle closing.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <memory>

#include "core/Mutex.h"
#include "http/Transport.h"
#include "http/winhttp/WinHttpRequest.h"

namespace Web {

class CWinHttpSession;

class CWinHttpResponse final : public CHttpResponse {
   public:
    explicit CWinHttpResponse(std::shared_ptr<CWinHttpSession> session);
    ~CWinHttpResponse() override;
    CWinHttpResponse(const CWinHttpResponse&) = delete;
    CWinHttpResponse& operator=(const CWinHttpResponse&) = delete;

    // Opens the request, sends it and waits for the final response's
    // headers. False when no response arrived, with the cause in `failure`;
    // `connected` is set when the request reached a server that accepted
    // the connection.
    bool Run(const ExchangeParams& params, bool* connected, Failure* failure);

    bool QueryDataAvailable(std::uint32_t* count) override;
    bool ReadData(void* buffer, std::uint32_t size, std::uint32_t* read) override;
    void Close() override;
    ResponseStats Stats() const override;

    std::uint32_t StatusCode() const override;
    std::uint32_t ContentLength() const override;
    std::uint32_t ServerAuthSchemes() const override;
    std::uint32_t ProxyAuthSchemes() const override;
    std::vector<std::string> AuthChallenges(bool proxy) const override;

   private:
    // Opens the request with the exchange's flags, credentials and TLS
    // options; false with the cause in `failure`.
    bool Open(const ExchangeParams& params, Failure* failure);
    // Runs one waiting operation on the request; fails once closed.
    CWinHttpRequest::Outcome Wait(CWinHttpRequest::Op op, void* buffer, DWORD size)
        REQUIRES(m_waitMutex);
    bool QueryAvailableLocked(std::uint32_t* count) REQUIRES(m_waitMutex);
    std::shared_ptr<CWinHttpRequest> Request() const;
    // Marks the body over; `ok` when it ended without a transfer error,
    // otherwise `error` is the failed operation's error.
    // A failure also closes the request: no other WinHTTP call follows a
    // failed one.
    void EndBody(bool ok, DWORD error);
    // True once the body ended; `complete` tells a whole body from a failure.
    bool EndedAlready(bool* complete) const;

    const std::shared_ptr<CWinHttpSession> m_session;

    mutable brevane::Mutex m_mutex;
    std::shared_ptr<CWinHttpRequest> m_request GUARDED_BY(m_mutex);
    bool m_closed GUARDED_BY(m_mutex) = false;

    // Held for each waiting operation, and by a read from its query to the
    // end of the read, so a read never asks for more than is there.
    brevane::Mutex m_waitMutex;

    // Set by Run before the response is handed out, then only read.
    std::uint32_t m_status = 0;
    std::uint32_t m_contentLength = 0;
    bool m_hasContentLength = false;
    bool m_bodyless = false;  // HEAD, 204 or 304: no body whatever the headers say
    std::uint32_t m_serverSchemes = 0;
    std::uint32_t m_proxySchemes = 0;
    std::vector<std::string> m_serverChallenges;
    std::vector<std::string> m_proxyChallenges;

    std::uint32_t m_buffered GUARDED_BY(m_mutex) = 0;  // last count, less what was read since
    std::uint32_t m_peak GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_received GUARDED_BY(m_mutex) = 0;
    bool m_ended GUARDED_BY(m_mutex) = false;
    bool m_complete GUARDED_BY(m_mutex) = false;
    Failure m_failure GUARDED_BY(m_mutex) = Failure::None;  // why the body ended early
};

}  // namespace Web
