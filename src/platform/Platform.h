// Small operating-system services the rest of the module uses: thread ids,
// the processor count, clocks and the host executable's location.
//
// Stateless apart from a cached value or two; every function may be called
// from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brevane::platform {

// Characters that end a directory in a path of the executable.
#if defined(_WIN32)
inline constexpr const char* kPathSeparators = "\\";
#else
inline constexpr const char* kPathSeparators = "/";
#endif

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

// Directory of the executable, with its trailing separator; empty when
// unknown. On Windows the text is in the system's ANSI code page.
std::string ExecutableDirectory();

#if defined(_WIN32)
// Directory of the executable in UTF-16, with its trailing backslash, for
// file calls that must work whatever characters the directory has.
std::wstring ExecutableDirectoryW();

// Text between the module's narrow strings and the system's UTF-16, through
// the given code page (0: the system's ANSI code page). Characters the code
// page cannot hold become '?' (no best-fit look-alikes). Throw std::bad_alloc
// when memory runs out.
std::wstring ToWide(std::string_view narrow, unsigned codePage = 0);
std::string ToNarrow(std::wstring_view wide, unsigned codePage = 0);
#endif

}  // namespace brevane::platform
