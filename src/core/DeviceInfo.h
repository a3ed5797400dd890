// DEVICE_INFO: a camera's connection data, copied by value wherever it is
// handed on (driver, HTTP clients, capability query).
//
// A plain record; each copy belongs to its holder.
#pragma once

#include <cstdint>
#include <string>

namespace brevane {

struct DEVICE_INFO {
    DEVICE_INFO() = default;
    DEVICE_INFO(const DEVICE_INFO&) = default;
    DEVICE_INFO& operator=(const DEVICE_INFO&) = default;
    virtual ~DEVICE_INFO() = default;

    // HTTP connect, send and receive time-out; doubled, the wait for a
    // channel's worker to end.
    std::uint32_t timeout = 5000;
    // Doubled, the MPEG channel's no-frame watchdog.
    std::uint32_t streamTimeout = 5000;
    std::string address;  // host name or dotted address
    std::uint16_t port = 80;
    std::string userName;
    std::string password;
};

}  // namespace brevane
