// CWinHttpResponse: the WinHTTP backend of a response (see
// http/Transport.h): one request handle of a CWinHttpSession, from sending
// the request to the end of the body. WinHTTP buffers the body itself; the
// response counts what was read, for Stats.
//
// Shared through Web::RequestHandle by the client and its readers, which may
// call it from any thread. Every WinHTTP call on the request handle is
// counted under m_mutex while it runs, and none starts once the handle is
// closed. The calls that wait for the network (send, receive, query, read)
// run on the response's own worker thread while the caller waits for them:
// Close and the session's Abort close the handle, which makes WinHTTP give
// up the call, and release the waiting caller at once, also where WinHTTP
// keeps the call blocked until its time-out (Wine does). The worker is joined
// when the response is destroyed, or by the session when it is still in such
// a call then.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <memory>
#include <condition_variable>
#include <string>
#include <atomic>
#include <thread>
#include <vector>

#include "core/Mutex.h"
#include "http/Transport.h"

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

    // From the session's Abort: closes the request handle when a WinHTTP
    // call is running on it, so the call returns.
    void CancelRunningCall();

   private:
    // The WinHTTP calls that wait for the network.
    enum class Op { Send, Receive, QueryAvailable, Read };

    // Runs `op` on the worker and waits until it returned or the response
    // was closed; false then, or when the call failed. `count` receives the
    // byte count of QueryAvailable and Read, `error` the call's last error;
    // Read reads at most `size` bytes into `readInto`.
    bool Blocking(Op op, void* readInto, DWORD size, DWORD* count, DWORD* error);

    // Runs `call` on the request handle unless the response is closed or the
    // session aborted; false when it did not run, failed, or the response
    // was closed while it ran.
    template <typename Call>
    bool Guarded(Call&& call);
    // Releases a caller waiting for the worker; the response is closed.
    void Abandon();
    // Takes the handle out under m_mutex; the caller closes it unlocked.
    HINTERNET TakeHandleLocked() REQUIRES(m_mutex);
    bool QueryNumber(DWORD query, std::uint32_t* value);
    // Marks the body over; `ok` when it ended without a transfer error,
    // otherwise `error` is the failed call's last error.
    void EndBody(bool ok, DWORD error);

    const std::shared_ptr<CWinHttpSession> m_session;

    mutable brevane::Mutex m_mutex;
    HINTERNET m_request GUARDED_BY(m_mutex) = nullptr;  // null once closed
    bool m_closed GUARDED_BY(m_mutex) = false;
    int m_calls GUARDED_BY(m_mutex) = 0;  // WinHTTP calls running

    // The worker's side: shared with the worker thread, which may outlive
    // the response while WinHTTP keeps a given-up call blocked.
    struct Work {
        brevane::Mutex mutex;
        std::condition_variable changed;
        bool stop GUARDED_BY(mutex) = false;
        bool abandoned GUARDED_BY(mutex) = false;  // the response was closed
        bool pending GUARDED_BY(mutex) = false;
        bool running GUARDED_BY(mutex) = false;
        bool done GUARDED_BY(mutex) = false;
        Op op GUARDED_BY(mutex) = Op::Send;
        HINTERNET handle GUARDED_BY(mutex) = nullptr;
        DWORD size GUARDED_BY(mutex) = 0;
        BOOL result GUARDED_BY(mutex) = FALSE;
        DWORD count GUARDED_BY(mutex) = 0;
        DWORD error GUARDED_BY(mutex) = 0;
        std::vector<std::uint8_t> buffer;  // the worker's while running, else mutex
        std::atomic<bool> exited{false};   // the worker left its loop for good
    };
    static void WorkerLoop(const std::shared_ptr<Work>& work);

    // One blocking call at a time, from any number of readers.
    brevane::Mutex m_blockingMutex;
    const std::shared_ptr<Work> m_work;
    std::thread m_worker GUARDED_BY(m_blockingMutex);  // started on first use

    // Set by Run before the response is handed out, then only read.
    std::uint32_t m_status = 0;
    std::uint32_t m_contentLength = 0;
    bool m_hasContentLength = false;
    bool m_bodyless = false;  // HEAD, 204 or 304: no body whatever the headers say
    std::uint32_t m_serverSchemes = 0;
    std::uint32_t m_proxySchemes = 0;

    std::uint32_t m_buffered GUARDED_BY(m_mutex) = 0;  // last count, less what was read since
    std::uint32_t m_peak GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_received GUARDED_BY(m_mutex) = 0;
    bool m_ended GUARDED_BY(m_mutex) = false;
    bool m_complete GUARDED_BY(m_mutex) = false;
    Failure m_failure GUARDED_BY(m_mutex) = Failure::None;  // why the body ended early
};

}  // namespace Web
