// CWinHttpSession: the WinHTTP backend of the session under one
// Web::CHttpClient (see http/Transport.h). It owns the client's WinHTTP
// session handle (asynchronous mode, never a proxy) and one connect handle
// to the camera, made once and used by every exchange, so WinHTTP's
// connection pool keeps the connection between requests.
//
// Owned jointly by its client and every response the client handed out, so
// the connect handle outlives each request handle opened on it. Exchange runs
// on the client's exchanging thread; Abort, ResetAbort and IsAborted on any
// thread. Every wait of its responses also waits on the session's abort
// event, and the session knows its live responses, so Abort ends them.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <memory>
#include <vector>

#include "core/Mutex.h"
#include "http/Transport.h"

namespace Web {

class CWinHttpResponse;

class CWinHttpSession final : public CHttpSession,
                              public std::enable_shared_from_this<CWinHttpSession> {
   public:
    // A new session, or null when WinHTTP refused the session or connect
    // handle.
    static std::shared_ptr<CWinHttpSession> Open(const SessionParams& params);
    ~CWinHttpSession() override;
    CWinHttpSession(const CWinHttpSession&) = delete;
    CWinHttpSession& operator=(const CWinHttpSession&) = delete;

    ExchangeResult Exchange(const ExchangeParams& params) override;

    // Sets the aborted mark and the abort event, then closes every response
    // of this session, so each of their waits returns.
    void Abort() override;
    void ResetAbort() override;
    bool IsAborted() const override { return m_aborted.load(); }

    // --- for the responses ---
    HINTERNET Connection() const { return m_connect; }
    // Manual-reset; signalled from Abort until ResetAbort.
    HANDLE AbortEvent() const { return m_abortEvent; }
    void Register(CWinHttpResponse* response);
    void Unregister(CWinHttpResponse* response);

   private:
    CWinHttpSession(HINTERNET session, HINTERNET connect, HANDLE abortEvent);

    const HINTERNET m_session;
    const HINTERNET m_connect;
    const HANDLE m_abortEvent;
    std::atomic<bool> m_aborted{false};

    brevane::Mutex m_liveMutex;
    std::vector<CWinHttpResponse*> m_live GUARDED_BY(m_liveMutex);
};

}  // namespace Web
