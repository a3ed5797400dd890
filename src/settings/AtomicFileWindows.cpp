#include "settings/AtomicFile.h"

#include <windows.h>

#include <atomic>

#include "settings/WideText.h"

namespace brevane::settings {
namespace {

std::atomic<AtomicWriteHook> g_hook{nullptr};
std::atomic<unsigned> g_sequence{0};

// Attributes a replaced file hands on to its successor.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_READONLY;

void SetError(std::string* error, const std::string& what, DWORD code) {
    if (error == nullptr) {
        return;
    }
    char* message = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&message), 0, nullptr);
    std::string text = length != 0 && message != nullptr ? std::string(message, length) : std::string();
    ::LocalFree(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    *error = what + ": " + (text.empty() ? "error " + std::to_string(code) : text);
}

bool WriteAll(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = data.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (!::WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data.remove_prefix(written);
    }
    return true;
}

// Removes a temporary file that failed, read-only or not.
void Discard(const std::wstring& temporary) {
    ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(temporary.c_str());
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
    if (path.empty()) {
        SetError(error, "empty file name", ERROR_INVALID_NAME);
        return false;
    }
    // A name unique to this process and call; CREATE_NEW refuses a leftover.
    const std::string temporary = path + ".tmp" + std::to_string(::GetCurrentProcessId()) + "_" +
                                  std::to_string(g_sequence.fetch_add(1));
    const std::wstring wideTemporary = PathToWide(temporary);
    const std::wstring widePath = PathToWide(path);
    const HANDLE file = ::CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetError(error, "cannot create " + temporary, ::GetLastError());
        return false;
    }
    if (!WriteAll(file, data)) {
        SetError(error, "cannot write " + temporary, ::GetLastError());
        ::CloseHandle(file);
        Discard(wideTemporary);
        return false;
    }
    if (!::FlushFileBuffers(file)) {
        SetError(error, "cannot flush " + temporary, ::GetLastError());
        ::CloseHandle(file);
        Discard(wideTemporary);
        return false;
    }
    ::CloseHandle(file);
    // Keep the attributes of the file being replaced. A read-only file is
    // not replaced: the move below fails, as the file's owner asked.
    const DWORD old = ::GetFileAttributesW(widePath.c_str());
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY) == 0 && (old & kKeptAttributes) != 0) {
        ::SetFileAttributesW(wideTemporary.c_str(), old & kKeptAttributes);
    }
    if (const AtomicWriteHook hook = g_hook.load(); hook != nullptr) {
        hook(temporary);
    }
    if (!::MoveFileExW(wideTemporary.c_str(), widePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        SetError(error, "cannot rename " + temporary + " to " + path, ::GetLastError());
        Discard(wideTemporary);
        return false;
    }
    return true;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return ::MoveFileExW(PathToWide(from).c_str(), PathToWide(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void SetAtomicWriteHookForTesting(AtomicWriteHook hook) { g_hook.store(hook); }

}  // namespace brevane::settings
