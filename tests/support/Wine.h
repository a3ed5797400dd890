// Whether the test runs under Wine rather than on Windows or Linux. Wine's
// system DLLs differ from Windows' in places (its WinHTTP never answers a
// Digest challenge, for one); a case that Wine cannot run is skipped there
// with its reason and stays in the suite for a run on real Windows.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif

namespace brevane::test {

inline bool RunningUnderWine() {
#if defined(_WIN32)
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

}  // namespace brevane::test

// Skips the current test under Wine, printing why.
#define DARVIK_SKIP_UNDER_WINE(reason)                              \
    do {                                                            \
        if (::brevane::test::RunningUnderWine()) {                  \
            GTEST_SKIP() << "skipped under Wine: " << (reason);     \
        }                                                           \
    } while (false)
