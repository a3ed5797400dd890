#include "platform/Platform.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <thread>

namespace brevane::platform {

std::uint32_t CurrentThreadId() {
    // The kernel's thread id is unique among live threads and never 0.
    thread_local const std::uint32_t id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return id;
}

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

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string ExecutableDirectory() {
    std::string path = ExecutablePath();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return path;
    }
    path.resize(slash + 1);
    return path;
}

}  // namespace brevane::platform
