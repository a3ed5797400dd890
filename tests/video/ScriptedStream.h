// A camera simulator whose streams send a scripted body (camsim's
// StreamScript): chosen bytes in chosen piece sizes and pace, repeated or
// not, then closed or stalled. Lets the channel tests meet exact byte
// layouts, splits and stream faults.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camsim/Simulator.h"
#include "support/CameraRequests.h"

namespace brevane::test {

using StreamScript = darvik::camsim::StreamScript;

// Starts a simulator on 127.0.0.1 whose every stream request is answered
// with the script (changeable between requests).
class ScriptedCamera {
   public:
    explicit ScriptedCamera(darvik::camsim::Config config = {}) {
        config.controlEnabled = false;
        m_simulator = std::make_unique<darvik::camsim::Simulator>(config);
        m_simulator->SetStreamScript(StreamScript{});
        std::string error;
        m_started = m_simulator->Start(&error);
        m_error = error;
    }
    ~ScriptedCamera() { m_simulator->Stop(); }

    void SetScript(StreamScript script) { m_simulator->SetStreamScript(std::move(script)); }
    bool Started() const { return m_started; }
    const std::string& Error() const { return m_error; }
    darvik::camsim::Simulator& Sim() { return *m_simulator; }
    std::uint16_t Port() const { return m_simulator->Port(); }

    // Targets of the requests received so far, in order.
    std::vector<std::string> Targets() const { return RequestTargets(*m_simulator); }
    std::size_t CountTarget(const std::string& target) const { return test::CountTarget(*m_simulator, target); }
    std::size_t CountAnswered(const std::string& target) const { return test::CountAnswered(*m_simulator, target); }

   private:
    std::unique_ptr<darvik::camsim::Simulator> m_simulator;
    bool m_started = false;
    std::string m_error;
};

}  // namespace brevane::test
