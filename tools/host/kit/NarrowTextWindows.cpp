// Windows: the module's narrow text is in the ANSI code page; both ways go
// through UTF-16.
#include <windows.h>

#include "kit/NarrowText.h"

namespace darvik::host {
namespace {

std::wstring Wide(UINT codePage, DWORD flags, std::string_view text, bool& ok) {
    ok = true;
    if (text.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        ok = false;
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

}  // namespace

std::string NarrowToUtf8(std::string_view narrow) {
    bool ok = false;
    const std::wstring wide = Wide(CP_ACP, 0, narrow, ok);
    if (wide.empty()) {
        return {};
    }
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr,
                            nullptr);
    }
    return utf8;
}

bool Utf8ToNarrow(std::string_view utf8, std::string& narrow) {
    narrow.clear();
    if (utf8.find('\0') != std::string_view::npos) {
        return false;
    }
    bool ok = false;
    const std::wstring wide = Wide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, ok);
    if (!ok) {
        return false;
    }
    if (wide.empty()) {
        return true;
    }
    // The default character is refused rather than stored in a name.
    BOOL lossy = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, &lossy);
    if (length <= 0 || lossy) {
        return false;
    }
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), length,
                        nullptr, nullptr);
    narrow = std::move(out);
    return true;
}

}  // namespace darvik::host
