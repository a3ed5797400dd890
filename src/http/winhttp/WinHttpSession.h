// CWinHttpSession: the WinHTTP backend of the session under one
// Web::CHttpClient (see http/Transport.h). It owns the client's WinHTTP
// session handle (synchronous mode, never a proxy) and one connect handle to
// the camera, made once and used by every exchange, so WinHTTP's connection
// pool keeps the connection between requests.
//
// Owned jointly by its client and every response the client handed out, so
// the connect handle outlives each request handle opened on it. Exchange runs
// on the client's exchanging thread; Abort, ResetAbort and IsAborted on any
// thread. The session knows its live responses, so Abort can cancel the
// WinHTTP calls blocked in them.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <functional>
#include <thread>
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

    // Sets the aborted mark, then cancels every WinHTTP call running in a
    // response of this session.
    void Abort() override;
    void ResetAbort() override { m_aborted = false; }
    bool IsAborted() const override { return m_aborted.load(); }

    // --- for the responses ---
    HINTERNET Connection() const { return m_connect; }
    void Register(CWinHttpResponse* response);
    void Unregister(CWinHttpResponse* response);
    // Takes a response's worker thread that is still in a WinHTTP call the
    // response gave up (`exited` tells when it is over). Nobody waits for it:
    // when the session ends it joins the module's stranded workers, which a
    // later session joins once they are over, and the module stays loaded
    // until then, so the thread never returns into unloaded code.
    void Adopt(std::thread worker, std::function<bool()> exited);

   private:
    CWinHttpSession(HINTERNET session, HINTERNET connect);

    const HINTERNET m_session;
    const HINTERNET m_connect;
    std::atomic<bool> m_aborted{false};

    brevane::Mutex m_liveMutex;
    std::vector<CWinHttpResponse*> m_live GUARDED_BY(m_liveMutex);
    struct Adopted {
        std::thread worker;
        std::function<bool()> exited;
    };
    std::vector<Adopted> m_adopted GUARDED_BY(m_liveMutex);
};

}  // namespace Web
