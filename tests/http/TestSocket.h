// The few TCP calls the scripted test server makes, and setting environment
// variables in a test, one implementation per platform (TestSocketPosix.cpp,
// TestSocketWindows.cpp). Sockets are bound to
// 127.0.0.1 only and never block: waiting is done with the Wait* calls, so a
// serving thread can look at its stop flag between waits.
//
// Free functions without state of their own; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace brevane::test::sock {

using Handle = std::intptr_t;
inline constexpr Handle kInvalid = -1;

// A listening socket on 127.0.0.1:`port` (0: an ephemeral port, returned in
// `bound`); kInvalid on failure.
Handle Listen(std::uint16_t port, std::uint16_t* bound);
// The next pending connection, non-blocking; kInvalid when there is none.
Handle Accept(Handle listener);

// True when the socket became readable (or writable) within `ms`.
bool WaitReadable(Handle socket, int ms);
bool WaitWritable(Handle socket, int ms);

// Bytes moved (> 0), 0 when the peer closed (Receive), kWouldBlock when the
// call would have to wait, or -1 on failure.
inline constexpr long kWouldBlock = -2;
long Send(Handle socket, const char* data, std::size_t size);
long Receive(Handle socket, char* data, std::size_t size);

// Ends both directions, so a thread blocked on the peer notices.
void Shutdown(Handle socket);
void Close(Handle socket);

}  // namespace brevane::test::sock

namespace brevane::test {

// Sets (or, with no value, removes) an environment variable of the process.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

// An environment variable set for the life of the object, then restored.
class ScopedEnvironment {
   public:
    ScopedEnvironment(std::string name, const std::string& value) : m_name(std::move(name)) {
        if (const char* old = std::getenv(m_name.c_str())) {
            m_old = old;
        }
        SetEnvironment(m_name, value);
    }
    ~ScopedEnvironment() { SetEnvironment(m_name, m_old); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

   private:
    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace brevane::test
