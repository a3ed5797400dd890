// The address the console listens on, as --listen gives it, and whether an
// address is a loopback one.
//
// Stateless functions; any thread may call them.
#pragma once

#include <cstdint>
#include <string>

namespace darvik::console {

// "ADDR:PORT", "[V6]:PORT", "ADDR" (port 8088) or ":PORT" (127.0.0.1); port
// 0 asks for an ephemeral port. False with a reason in error.
bool ParseListenAddress(const std::string& text, std::string& address, std::uint16_t& port, std::string& error);
// True for 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackAddress(const std::string& address);

}  // namespace darvik::console
