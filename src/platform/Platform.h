// Small operating-system services the rest of the module uses: thread ids,
// the processor count, clocks and the host executable's location.
//
// Stateless apart from a cached value or two; every function may be called
// from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace brevane::platform {

// Wait time meaning "no time-out".
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Id of the calling thread: never 0, unique among the live threads.
std::uint32_t CurrentThreadId();

// Number of processors the process may use; at least 1.
unsigned ProcessorCount();

// Milliseconds on a monotonic clock (unaffected by changes of the wall clock).
std::uint64_t MonotonicMilliseconds();

// Wall-clock time in 100-nanosecond units since 1601-01-01 UTC, the unit the
// camera channels keep frame times in.
std::uint64_t SystemTimeAsFileTime();

// Full path of the executable of the current process; empty when unknown.
std::string ExecutablePath();

// Directory of the executable, with its trailing '/'; empty when unknown.
std::string ExecutableDirectory();

}  // namespace brevane::platform
