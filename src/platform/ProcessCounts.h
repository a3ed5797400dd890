// What this process holds right now: its open handles (descriptors on
// Linux), its threads and its resident memory. Tests and the soak read it
// before and after work that must give everything back.
//
// Stateless; callable from any thread. Built as a library of its own
// (darvik_process_counts) so that the tools can read the counts without the
// rest of the module.
#pragma once

#include <cstdint>

namespace brevane::platform {

struct ProcessCounts {
    // Open descriptors (Linux: /proc/self/fd) or kernel handles (Windows:
    // GetProcessHandleCount); 0 when they cannot be read.
    std::uint64_t handles = 0;
    // Threads of this process (Linux: /proc/self/task; Windows: a
    // Toolhelp32 snapshot); 0 when they cannot be read.
    std::uint64_t threads = 0;
    // Resident memory in KiB (Linux: VmRSS; Windows: the working set).
    std::uint64_t residentKiB = 0;
};

ProcessCounts ReadProcessCounts();

// What descriptors are called on this platform, for reports.
const char* HandlesName();

}  // namespace brevane::platform
