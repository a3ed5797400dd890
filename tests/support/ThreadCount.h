// How many threads this process has now: Toolhelp32's thread list on
// Windows (and under Wine), /proc/self/task on Linux. Tests compare it
// before and after work that must leave no thread behind.
#pragma once

#include <cstddef>

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#else
#include <filesystem>
#endif

namespace darvik::test {

inline std::size_t ProcessThreadCount() {
#if defined(_WIN32)
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    std::size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == self ? 1 : 0;
        entry.dwSize = sizeof entry;
    }
    ::CloseHandle(snapshot);
    return count;
#else
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
#endif
}

}  // namespace darvik::test
