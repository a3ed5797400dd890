// CCurlSession: the libcurl backend of the session under one
// Web::CHttpClient (see http/Transport.h). It runs every exchange of the
// client as a transfer of the process's shared multi handle (CCurlMulti),
// whose connection cache keeps the client's connection to the camera for
// reuse. A thread waiting for one of its transfers drives that transfer
// itself: it waits on the transfer's own sockets and runs it when they are
// ready, and runs libcurl's timers when they are due.
//
// Owned jointly by its client and every response the client handed out, so a
// reader's handle stays valid after the client is gone. Abort and ResetAbort
// may be called from any thread; an abort concerns this session's exchanges
// only.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/Mutex.h"
#include "http/Transport.h"
#include "http/curl/CurlMulti.h"

namespace Web {

class CCurlResponse;

class CCurlSession final : public CHttpSession,
                           public std::enable_shared_from_this<CCurlSession> {
   public:
    enum class WaitResult { Ready, Aborted, Closed, TimedOut, Failed };

    // A new session, or null when the library could not provide one.
    static std::shared_ptr<CCurlSession> Open(const SessionParams& params);
    ~CCurlSession() override;
    CCurlSession(const CCurlSession&) = delete;
    CCurlSession& operator=(const CCurlSession&) = delete;

    // libcurl's own authentication passes and interim responses are waited
    // out before the exchange returns.
    ExchangeResult Exchange(const ExchangeParams& params) override;

    void Abort() override;
    void ResetAbort() override;
    bool IsAborted() const override { return m_aborted.load(); }

    // Drives the session until `ready` holds for `response` (checked before
    // each round), the session is aborted, the response is closed, or the
    // response's time-out passes without progress. With `refresh`, a
    // response that is ready at once still gets one look at its sockets
    // without waiting, so it takes in what the network has.
    WaitResult Drive(CCurlResponse& response, const std::function<bool()>& ready,
                     bool refresh = false);

    // Transfers in the shared handle; called by CCurlResponse.
    bool Attach(CCurlResponse& response);
    void Detach(CCurlResponse& response);

   private:
    CCurlSession(std::shared_ptr<CCurlMulti> multi, SessionParams params);
    // One step for `response`: runs due timers, or waits up to waitMs for
    // its sockets and runs it. False when the handle failed.
    bool Step(CCurlResponse& response, std::uint64_t waitMs, const std::function<bool()>& ready);

    const std::shared_ptr<CCurlMulti> m_multi;
    const SessionParams m_params;
    std::atomic<bool> m_aborted{false};
    // The session's transfers in the handle, woken by an abort.
    brevane::Mutex m_liveMutex;
    std::vector<CCurlResponse*> m_live GUARDED_BY(m_liveMutex);
};

}  // namespace Web
