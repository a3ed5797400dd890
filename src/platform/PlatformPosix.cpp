// Platform services on Linux: the kernel's thread id and /proc/self/exe.
#include "platform/Platform.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

namespace brevane::platform {

std::uint32_t CurrentThreadId() {
    // The kernel's thread id is unique among live threads and never 0.
    thread_local const std::uint32_t id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return id;
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace brevane::platform
