// Process counts on Linux, from /proc/self.
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/ProcessCounts.h"

namespace brevane::platform {

namespace {

std::uint64_t Entries(const char* directory) {
    std::uint64_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(directory, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

}  // namespace

ProcessCounts ReadProcessCounts() {
    ProcessCounts counts;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> counts.residentKiB;
        }
    }
    // The directory's own descriptor, open while it is listed, is not counted.
    const std::uint64_t descriptors = Entries("/proc/self/fd");
    counts.handles = descriptors > 0 ? descriptors - 1 : 0;
    counts.threads = Entries("/proc/self/task");
    return counts;
}

const char* HandlesName() { return "descriptors"; }

}  // namespace brevane::platform
