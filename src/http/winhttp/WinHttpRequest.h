// CWinHttpRequest: one WinHTTP request handle in asynchronous mode, and the
// state its status callback touches. An operation that waits for the network
// (send, receive, query, read) is started on the handle and completes through
// the callback, which records the outcome and signals the request's event;
// the caller waits on that event together with the session's abort event.
//
// Owned by its CWinHttpResponse, and by itself from opening until WinHTTP
// reports the handle closing: WinHTTP may call back after the handle was
// closed, so the state the callback touches outlives the response when
// needed. Any thread may call any member; one operation runs at a time (the
// response serialises them). The handle is used only inside Use, counted
// under m_mutex; Close marks it closed and the last user closes it, so no
// call ever meets a handle that is closed.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/Mutex.h"

namespace Web {

class CWinHttpRequest {
   public:
    enum class Op { Send, Receive, QueryAvailable, Read };
    struct Outcome {
        bool ok = false;
        DWORD count = 0;  // bytes available or read
        DWORD error = ERROR_SUCCESS;
    };

    // Opens a request on `connect` and registers the callback on it; null
    // with WinHTTP's error in `error` when that failed.
    static std::shared_ptr<CWinHttpRequest> Open(HINTERNET connect, const std::wstring& verb,
                                                 const std::wstring& target, DWORD flags,
                                                 DWORD* error);
    ~CWinHttpRequest();
    CWinHttpRequest(const CWinHttpRequest&) = delete;
    CWinHttpRequest& operator=(const CWinHttpRequest&) = delete;

    // Runs `call(handle)`, a WinHTTP call that does not wait, unless the
    // request is closed. False when it did not run or returned FALSE.
    template <typename Call>
    bool Use(Call&& call);

    // Starts `op` and waits for its completion. A send, receive or query
    // also ends when `abort` is signalled or the request is closed, which
    // closes it; a read into `buffer` (of at most `size` bytes, which must
    // be available already) is always waited out, since WinHTTP writes into
    // the buffer until it completes.
    Outcome Run(Op op, void* buffer, DWORD size, HANDLE abort);

    // Ends the request: wakes a caller waiting in Run and closes the handle
    // once no call uses it. Idempotent.
    void Close();
    bool IsClosed() const;

    // Releases the module reference taken while requests were live, once
    // none has been for a while. Call only from the host's calls into the
    // module.
    static void ReleaseModuleWhenIdle();
    // Request states alive in the process, those WinHTTP may still call
    // back for included.
    static int LiveRequests();

   private:
    CWinHttpRequest();
    bool Start(Op op, void* buffer, DWORD size);
    bool AwaitCompletion(bool abandonable, HANDLE abort);
    // The handle to close now: the request is closed and no call uses it.
    HINTERNET TakeIfUnused() REQUIRES(m_mutex);
    void Complete(bool ok, DWORD count, DWORD error);
    void OnStatus(DWORD status, const void* info, DWORD length);
    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                        LPVOID info, DWORD length);

    const HANDLE m_event;  // manual-reset: an operation completed or the request closed

    mutable brevane::Mutex m_mutex;
    HINTERNET m_handle GUARDED_BY(m_mutex) = nullptr;  // null once handed to WinHttpCloseHandle
    bool m_closed GUARDED_BY(m_mutex) = false;
    int m_users GUARDED_BY(m_mutex) = 0;
    bool m_pending GUARDED_BY(m_mutex) = false;  // an operation was started and has not completed
    Outcome m_outcome GUARDED_BY(m_mutex);
    // Holds the state while WinHTTP may still call back; let go when the
    // handle closes.
    std::shared_ptr<CWinHttpRequest> m_self GUARDED_BY(m_mutex);
};

template <typename Call>
bool CWinHttpRequest::Use(Call&& call) {
    HINTERNET handle = nullptr;
    {
        brevane::MutexLock lock(m_mutex);
        if (m_closed || m_handle == nullptr) {
            return false;
        }
        handle = m_handle;
        ++m_users;
    }
    const bool ok = call(handle) != FALSE;
    const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    {
        brevane::MutexLock lock(m_mutex);
        --m_users;
        handle = TakeIfUnused();
    }
    // Closed unlocked: WinHTTP may call back from inside the close.
    if (handle != nullptr) {
        ::WinHttpCloseHandle(handle);
    }
    ::SetLastError(error);
    return ok;
}

}  // namespace Web
