#include "kit/HostSystem.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdio>

namespace darvik::host {

namespace {

std::wstring Widen(const std::string& text) {
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) {
        ::LocalFree(text);
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message + " (error " + std::to_string(code) + ")";
}

}  // namespace

void* OpenSharedLibrary(const std::string& path, std::string* error) {
    // The module's own dependencies are system DLLs; the altered search path
    // finds anything else beside the module rather than beside the host.
    HMODULE module = ::LoadLibraryExW(Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        *error = SystemMessage(::GetLastError());
    }
    return reinterpret_cast<void*>(module);
}

void* FindSharedLibrarySymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
}

void CloseSharedLibrary(void* handle) { ::FreeLibrary(static_cast<HMODULE>(handle)); }

std::string ExecutableDirectory() {
    wchar_t buffer[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer)) {
        return {};
    }
    std::wstring path(buffer, length);
    path.resize(path.rfind(L'\\') + 1);
    const int size = ::WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, narrow.data(), size, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(size - 1));
    return narrow;
}

bool StandardOutputIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void SetStandardOutputBinary() { ::_setmode(::_fileno(stdout), _O_BINARY); }

// A Windows pipe's size is set by whoever creates it.
void WidenStandardOutputPipe() {}

// Ctrl-C and Ctrl-Break set an event that Wait waits on; the console's
// default handler (ending the process) is bypassed while the object lives.
struct InterruptWait::State {
    HANDLE event = nullptr;
};

namespace {

std::atomic<HANDLE> g_interruptEvent{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
        if (HANDLE event = g_interruptEvent.load()) {
            ::SetEvent(event);
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace

InterruptWait::InterruptWait() : m_state(new State) {
    m_state->event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_interruptEvent = m_state->event;
    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

InterruptWait::~InterruptWait() {
    ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    g_interruptEvent = nullptr;
    if (m_state->event != nullptr) {
        ::CloseHandle(m_state->event);
    }
    delete m_state;
}

bool InterruptWait::Wait(long ms) {
    if (m_state->event == nullptr) {
        ::Sleep(static_cast<DWORD>(ms));
        return false;
    }
    return ::WaitForSingleObject(m_state->event, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

namespace {

// Closes a WinHTTP handle at scope end.
struct InternetHandle {
    HINTERNET handle = nullptr;
    ~InternetHandle() {
        if (handle != nullptr) {
            ::WinHttpCloseHandle(handle);
        }
    }
};

}  // namespace

bool HttpGet(const std::string& host, std::uint16_t port, const std::string& path,
             const std::string& user, const std::string& password, std::string* body) {
    InternetHandle session{::WinHttpOpen(L"darvik-host", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                         WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
    if (session.handle == nullptr) {
        return false;
    }
    ::WinHttpSetTimeouts(session.handle, 5000, 5000, 5000, 5000);
    InternetHandle connection{::WinHttpConnect(session.handle, Widen(host).c_str(), port, 0)};
    InternetHandle request{connection.handle == nullptr
                               ? nullptr
                               : ::WinHttpOpenRequest(connection.handle, L"GET", Widen(path).c_str(),
                                                      nullptr, WINHTTP_NO_REFERER,
                                                      WINHTTP_DEFAULT_ACCEPT_TYPES, 0)};
    if (request.handle == nullptr) {
        return false;
    }
    DWORD status = 0;
    // One answer to a challenge: the first exchange tells the scheme.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!::WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                  WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
            !::WinHttpReceiveResponse(request.handle, nullptr)) {
            return false;
        }
        DWORD size = sizeof(status);
        ::WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
        DWORD supported = 0;
        DWORD first = 0;
        DWORD target = 0;
        if (status != 401 || user.empty() ||
            !::WinHttpQueryAuthSchemes(request.handle, &supported, &first, &target)) {
            break;
        }
        const DWORD scheme =
            (supported & WINHTTP_AUTH_SCHEME_DIGEST) != 0 ? WINHTTP_AUTH_SCHEME_DIGEST : WINHTTP_AUTH_SCHEME_BASIC;
        ::WinHttpSetCredentials(request.handle, target, scheme, Widen(user).c_str(),
                                Widen(password).c_str(), nullptr);
    }
    if (status != 200) {
        return false;
    }
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request.handle, &available) || available == 0) {
            return true;
        }
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!::WinHttpReadData(request.handle, chunk.data(), available, &read) || read == 0) {
            return true;
        }
        body->append(chunk, 0, read);
    }
}

}  // namespace darvik::host
