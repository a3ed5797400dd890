// Process counts on Windows: GetProcessHandleCount, the threads of a
// Toolhelp32 snapshot that belong to this process, and the working set from
// K32GetProcessMemoryInfo (kernel32, so no psapi import).
//
// Wine's GetProcessHandleCount succeeds with 0 handles, which no Windows
// process has; there the handles are counted in the system's handle table
// (NtQuerySystemInformation, SystemHandleInformation), which Wine fills.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <vector>

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

// The system handle table's layout (winternl.h leaves it out).
struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectTypeIndex;
    UCHAR attributes;
    USHORT handle;
    PVOID object;
    ULONG grantedAccess;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

std::uint64_t HandlesInSystemTable() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto query = ntdll == nullptr ? nullptr
                                        : reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void (*)()>(
                                              ::GetProcAddress(ntdll, "NtQuerySystemInformation")));
    if (query == nullptr) {
        return 0;
    }
    std::vector<std::byte> buffer(256 * 1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0) {
            return 0;
        }
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        const std::size_t room = (buffer.size() - offsetof(HandleTable, entries)) / sizeof(HandleEntry);
        const auto self = static_cast<USHORT>(::GetCurrentProcessId());
        std::uint64_t count = 0;
        for (std::size_t i = 0; i < table->count && i < room; ++i) {
            count += table->entries[i].processId == self ? 1 : 0;
        }
        return count;
    }
    return 0;
}

}  // namespace

ProcessCounts ReadProcessCounts() {
    ProcessCounts counts;
    // Read first: the snapshot below holds a handle of its own while it lives.
    DWORD handles = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &handles)) {
        counts.handles = handles;
    }
    if (counts.handles == 0) {
        counts.handles = HandlesInSystemTable();
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
