#include "settings/WideText.h"

#include <windows.h>

#include "platform/Platform.h"

namespace brevane::settings {
namespace {

constexpr UINT kLatin1CodePage = 28591;

UINT TextCodePage() {
    static const UINT codePage = ::GetACP() == CP_UTF8 ? kLatin1CodePage : CP_ACP;
    return codePage;
}

}  // namespace

std::wstring PathToWide(std::string_view path) { return platform::ToWide(path); }

std::wstring TextToWide(std::string_view text) { return platform::ToWide(text, TextCodePage()); }

std::string WideToText(std::wstring_view text) { return platform::ToNarrow(text, TextCodePage()); }

}  // namespace brevane::settings
