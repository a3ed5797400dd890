// Platform services on Windows: the kernel's thread id, the executable's
// path from GetModuleFileNameW and text conversion through the ANSI code page.
#include "platform/Platform.h"

#include <windows.h>

#include <new>

namespace brevane::platform {

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

namespace {

std::wstring ExecutablePathW() {
    // Paths may be longer than MAX_PATH; grow until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace

std::string ExecutablePath() { return ToNarrow(ExecutablePathW()); }

std::wstring ExecutableDirectoryW() {
    std::wstring path = ExecutablePathW();
    const auto slash = path.rfind(L'\\');
    if (slash != std::wstring::npos) {
        path.resize(slash + 1);
    }
    return path;
}

std::wstring ToWide(std::string_view narrow, unsigned codePage) {
    if (narrow.empty()) {
        return {};
    }
    const int size = static_cast<int>(narrow.size());
    const int length = ::MultiByteToWideChar(codePage, 0, narrow.data(), size, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, narrow.data(), size, wide.data(), length);
    return wide;
}

std::string ToNarrow(std::wstring_view wide, unsigned codePage) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, "?", nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), size, narrow.data(), length, "?", nullptr);
    return narrow;
}

}  // namespace brevane::platform
