#include "settings/WideText.h"

#include <windows.h>

namespace brevane::settings {
namespace {

constexpr UINT kLatin1CodePage = 28591;

UINT TextCodePage() {
    static const UINT codePage = ::GetACP() == CP_UTF8 ? kLatin1CodePage : CP_ACP;
    return codePage;
}

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

}  // namespace

std::wstring PathToWide(std::string_view path) { return ToWide(CP_ACP, path); }

std::wstring TextToWide(std::string_view text) { return ToWide(TextCodePage(), text); }

std::string WideToText(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const UINT codePage = TextCodePage();
    const int size = static_cast<int>(text.size());
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int length = ::WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, "?", nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, flags, text.data(), size, narrow.data(), length, "?", nullptr);
    return narrow;
}

}  // namespace brevane::settings
