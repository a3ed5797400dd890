// Platform services that the standard library provides the same way on every
// platform.
#include "platform/Platform.h"

#include <chrono>
#include <thread>

namespace brevane::platform {

unsigned ProcessorCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : count;
}

std::uint64_t MonotonicMilliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint64_t SystemTimeAsFileTime() {
    using namespace std::chrono;
    // Seconds between 1601-01-01 and 1970-01-01.
    constexpr std::uint64_t kEpochDifference = 11644473600ull;
    const auto sinceUnixEpoch = system_clock::now().time_since_epoch();
    const auto hundredNs = duration_cast<duration<std::int64_t, std::ratio<1, 10000000>>>(sinceUnixEpoch);
    return static_cast<std::uint64_t>(hundredNs.count()) + kEpochDifference * 10000000ull;
}

std::string ExecutableDirectory() {
    std::string path = ExecutablePath();
    const auto slash = path.find_last_of(kPathSeparators);
    if (slash == std::string::npos) {
        return path;
    }
    path.resize(slash + 1);
    return path;
}

}  // namespace brevane::platform
