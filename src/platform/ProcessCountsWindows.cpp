// Process counts on Windows: GetProcessHandleCount, the threads of a
// Toolhelp32 snapshot that belong to this process, and the working set from
// K32GetProcessMemoryInfo (kernel32, so no psapi import).
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include "platform/ProcessCounts.h"

namespace brevane::platform {

namespace {

std::uint64_t ThreadCount() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    std::uint64_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == self ? 1 : 0;
        entry.dwSize = sizeof entry;
    }
    ::CloseHandle(snapshot);
    return count;
}

}  // namespace

ProcessCounts ReadProcessCounts() {
    ProcessCounts counts;
    // Read first: the snapshot below holds a handle of its own while it lives.
    DWORD handles = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &handles)) {
        counts.handles = handles;
    }
    counts.threads = ThreadCount();
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (::K32GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory)) {
        counts.residentKiB = memory.WorkingSetSize / 1024;
    }
    return counts;
}

const char* HandlesName() { return "handles"; }

}  // namespace brevane::platform
