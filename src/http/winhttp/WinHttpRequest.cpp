#include "http/winhttp/WinHttpRequest.h"

#include <utility>

namespace Web {

namespace {

constexpr DWORD kNotifications = WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES;

// WinHTTP may call back after the host's last call into the module returned
// (a handle's teardown is asynchronous), so the module keeps a reference on
// itself while any request's state lives. That reference is let go from a
// later call of the host, a while after the last state ended, so no callback
// is still returning into the module when the host unloads it.
struct ModuleReference {
    brevane::Mutex mutex;
    int liveRequests GUARDED_BY(mutex) = 0;
    HMODULE pin GUARDED_BY(mutex) = nullptr;
    ULONGLONG lastEnded GUARDED_BY(mutex) = 0;
};
constexpr ULONGLONG kIdleBeforeRelease = 1000;  // ms

// Never destroyed: WinHTTP's threads may still call back at process exit.
ModuleReference& Module() {
    static ModuleReference& module = *new ModuleReference;
    return module;
}

}  // namespace

CWinHttpRequest::CWinHttpRequest() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    ModuleReference& module = Module();
    brevane::MutexLock lock(module.mutex);
    if (module.liveRequests++ == 0 && module.pin == nullptr) {
        ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                             reinterpret_cast<LPCWSTR>(&CWinHttpRequest::StatusCallback),
                             &module.pin);
    }
}

CWinHttpRequest::~CWinHttpRequest() {
    if (m_event != nullptr) {
        ::CloseHandle(m_event);
    }
    ModuleReference& module = Module();
    brevane::MutexLock lock(module.mutex);
    --module.liveRequests;
    module.lastEnded = ::GetTickCount64();
}

void CWinHttpRequest::ReleaseModuleWhenIdle() {
    ModuleReference& module = Module();
    HMODULE pin = nullptr;
    {
        brevane::MutexLock lock(module.mutex);
        if (module.liveRequests == 0 && module.pin != nullptr &&
            ::GetTickCount64() - module.lastEnded >= kIdleBeforeRelease) {
            pin = std::exchange(module.pin, nullptr);
        }
    }
    // The host's own reference keeps the module loaded through this call.
    if (pin != nullptr) {
        ::FreeLibrary(pin);
    }
}

int CWinHttpRequest::LiveRequests() {
    ModuleReference& module = Module();
    brevane::MutexLock lock(module.mutex);
    return module.liveRequests;
}

std::shared_ptr<CWinHttpRequest> CWinHttpRequest::Open(HINTERNET connect, const std::wstring& verb,
                                                       const std::wstring& target, DWORD flags,
                                                       DWORD* error) {
    std::shared_ptr<CWinHttpRequest> request(new CWinHttpRequest());
    if (request->m_event == nullptr) {
        *error = ::GetLastError();
        return nullptr;
    }
    HINTERNET handle = ::WinHttpOpenRequest(connect, verb.c_str(), target.c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (handle == nullptr) {
        *error = ::GetLastError();
        return nullptr;
    }
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(request.get());
    if (!::WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
        *error = ::GetLastError();
        ::WinHttpCloseHandle(handle);
        return nullptr;
    }
    {
        brevane::MutexLock lock(request->m_mutex);
        request->m_handle = handle;
        request->m_self = request;
    }
    // Registered on the request alone: the session and connect handles have
    // no callback, so nothing calls back once the last request is gone.
    if (::WinHttpSetStatusCallback(handle, &CWinHttpRequest::StatusCallback, kNotifications, 0) ==
        WINHTTP_INVALID_STATUS_CALLBACK) {
        *error = ::GetLastError();
        {
            // No callback: the handle's closing will not be reported.
            brevane::MutexLock lock(request->m_mutex);
            request->m_self.reset();
        }
        request->Close();
        return nullptr;
    }
    return request;
}

CWinHttpRequest::Outcome CWinHttpRequest::Run(Op op, void* buffer, DWORD size, HANDLE abort) {
    const bool abandonable = op != Op::Read;
    if (abort != nullptr && ::WaitForSingleObject(abort, 0) == WAIT_OBJECT_0) {
        Close();
    } else if (Start(op, buffer, size) && !AwaitCompletion(abandonable, abort)) {
        Close();
    }
    brevane::MutexLock lock(m_mutex);
    if (m_pending || m_closed) {
        // Given up, or ended by the close: the operation counts as
        // cancelled whatever WinHTTP still reports for it.
        return Outcome{false, 0, ERROR_WINHTTP_OPERATION_CANCELLED};
    }
    return m_outcome;
}

bool CWinHttpRequest::Start(Op op, void* buffer, DWORD size) {
    {
        brevane::MutexLock lock(m_mutex);
        m_pending = true;
        m_outcome = Outcome{};
    }
    // The completion may be reported from inside the call, on this thread.
    const bool started = Use([&](HINTERNET handle) -> BOOL {
        switch (op) {
            case Op::Send:
                return ::WinHttpSendRequest(handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                            WINHTTP_NO_REQUEST_DATA, 0, 0,
                                            reinterpret_cast<DWORD_PTR>(this));
            case Op::Receive:
                return ::WinHttpReceiveResponse(handle, nullptr);
            case Op::QueryAvailable:
                return ::WinHttpQueryDataAvailable(handle, nullptr);
            case Op::Read:
                return ::WinHttpReadData(handle, buffer, size, nullptr);
        }
        return FALSE;
    });
    const DWORD error = ::GetLastError();
    if (!started) {
        // Refused at once: no callback follows.
        brevane::MutexLock lock(m_mutex);
        m_pending = false;
        m_outcome = Outcome{false, 0, m_closed ? ERROR_WINHTTP_OPERATION_CANCELLED : error};
    }
    return started;
}

// True once the operation completed; false when it was given up (abort or
// close) while still pending.
bool CWinHttpRequest::AwaitCompletion(bool abandonable, HANDLE abort) {
    const HANDLE events[2] = {m_event, abort};
    const DWORD count = abandonable && abort != nullptr ? 2 : 1;
    for (;;) {
        {
            brevane::MutexLock lock(m_mutex);
            if (!m_pending) {
                return true;
            }
            if (abandonable && m_closed) {
                return false;
            }
            // Reset under the lock that every signal is given under, so
            // no completion is missed between this check and the wait.
            ::ResetEvent(m_event);
        }
        const DWORD woken = ::WaitForMultipleObjects(count, events, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 1) {
            return false;
        }
        if (woken == WAIT_FAILED) {
            return false;
        }
    }
}

void CWinHttpRequest::Complete(bool ok, DWORD count, DWORD error) {
    brevane::MutexLock lock(m_mutex);
    if (!m_pending) {
        return;
    }
    m_pending = false;
    m_outcome = Outcome{ok, count, error};
    ::SetEvent(m_event);
}

void CWinHttpRequest::Close() {
    HINTERNET handle = nullptr;
    {
        brevane::MutexLock lock(m_mutex);
        if (!m_closed) {
            m_closed = true;
            ::SetEvent(m_event);
        }
        handle = TakeIfUnused();
    }
    // Closed unlocked: WinHTTP may report the closing from inside the call.
    if (handle != nullptr) {
        ::WinHttpCloseHandle(handle);
    }
}

bool CWinHttpRequest::IsClosed() const {
    brevane::MutexLock lock(m_mutex);
    return m_closed;
}

HINTERNET CWinHttpRequest::TakeIfUnused() {
    if (!m_closed || m_users != 0) {
        return nullptr;
    }
    return std::exchange(m_handle, nullptr);
}

void CWinHttpRequest::OnStatus(DWORD status, const void* info, DWORD length) {
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
            Complete(true, 0, ERROR_SUCCESS);
            break;
        case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
            Complete(true, info != nullptr ? *static_cast<const DWORD*>(info) : 0, ERROR_SUCCESS);
            break;
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            Complete(true, length, ERROR_SUCCESS);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
            const auto* result = static_cast<const WINHTTP_ASYNC_RESULT*>(info);
            Complete(false, 0, result != nullptr ? result->dwError : ERROR_WINHTTP_INTERNAL_ERROR);
            break;
        }
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING: {
            // The last callback of the handle: the state may go now.
            std::shared_ptr<CWinHttpRequest> last;
            {
                brevane::MutexLock lock(m_mutex);
                if (m_pending) {
                    m_pending = false;
                    m_outcome = Outcome{false, 0, ERROR_WINHTTP_OPERATION_CANCELLED};
                }
                ::SetEvent(m_event);
                last = std::move(m_self);
            }
            break;  // `last` may be the final owner: nothing is touched after it
        }
        default:
            break;
    }
}

void CALLBACK CWinHttpRequest::StatusCallback(HINTERNET /*handle*/, DWORD_PTR context, DWORD status,
                                              LPVOID info, DWORD length) {
    if (context != 0) {
        reinterpret_cast<CWinHttpRequest*>(context)->OnStatus(status, info, length);
    }
}

}  // namespace Web
