// Test helper: the DEVICE_INFO of a camera or web server on 127.0.0.1, as the
// HTTP client, the request helpers and the PTZ and capability classes take
// it. A value built on the test's own thread; nothing is shared.
#pragma once

#include <cstdint>
#include <string>

#include "core/DeviceInfo.h"

namespace brevane::test {

// The time-out is always written, so that no test runs on a default it did
// not choose; empty credentials send none.
inline DEVICE_INFO LocalDevice(std::uint16_t port, std::uint32_t timeoutMs, const std::string& user = {},
                               const std::string& password = {}) {
    DEVICE_INFO device;
    device.address = "127.0.0.1";
    device.port = port;
    device.timeout = timeoutMs;
    device.userName = user;
    device.password = password;
    return device;
}

}  // namespace brevane::test
