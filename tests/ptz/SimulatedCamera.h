// Test helper: a simulated camera on 127.0.0.1 and a fake driver whose
// device information points at it, with a short HTTP time-out.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camsim/Simulator.h"
#include "support/CameraRequests.h"
#include "support/DeviceInfo.h"
#include "support/FakeDriver.h"
#include "support/Wait.h"

namespace brevane::test {

class SimulatedCamera {
   public:
    explicit SimulatedCamera(darvik::camsim::Config config = {}) : m_simulator(config) {
        std::string error;
        m_started = m_simulator.Start(&error);
        EXPECT_TRUE(m_started) << error;
        driver.SetDevice(LocalDevice(m_simulator.Port(), 300));
    }

    darvik::camsim::Simulator& Sim() { return m_simulator; }

    // Targets the camera received, in order.
    std::vector<std::string> Targets() { return RequestTargets(m_simulator); }
    // Waits until the camera received at least `count` requests.
    std::vector<std::string> WaitForTargets(std::size_t count, int timeoutMs = 5000) {
        WaitUntil([&] { return m_simulator.RequestLog().size() >= count; }, timeoutMs);
        return Targets();
    }

    FakeDriver driver;

   private:
    darvik::camsim::Simulator m_simulator;
    bool m_started = false;
};

}  // namespace brevane::test
