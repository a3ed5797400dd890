// A camera simulator whose streams send a scripted body: chosen bytes in
// chosen piece sizes and pace, repeated or not, then closed or stalled. Lets
// the channel tests meet exact byte layouts, splits and stream faults.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camsim/Simulator.h"

namespace brevane::testing {

struct StreamScript {
    std::vector<std::uint8_t> body;
    std::vector<std::size_t> pieceSizes;  // cycled; empty: the body in one piece
    std::uint32_t delayMs = 5;            // before each piece
    bool repeat = true;                   // start the body over at its end
    bool stallAtEnd = false;              // when not repeating: stall instead of closing
};

class ScriptedSource : public darvik::camsim::StreamSource {
   public:
    explicit ScriptedSource(StreamScript script) : m_script(std::move(script)) {}

    std::string ContentType() const override { return "application/octet-stream"; }
    std::uint64_t FramesProduced() const override { return 0; }

    darvik::camsim::StreamPiece Next() override {
        darvik::camsim::StreamPiece piece;
        if (m_pos >= m_script.body.size()) {
            if (m_script.repeat && !m_script.body.empty()) {
                m_pos = 0;
            } else {
                piece.stall = m_script.stallAtEnd;
                piece.end = !m_script.stallAtEnd;
                return piece;
            }
        }
        std::size_t size = m_script.body.size() - m_pos;
        if (!m_script.pieceSizes.empty()) {
            size = std::min(size, m_script.pieceSizes[m_next++ % m_script.pieceSizes.size()]);
        }
        piece.bytes.assign(m_script.body.begin() + static_cast<std::ptrdiff_t>(m_pos),
                           m_script.body.begin() + static_cast<std::ptrdiff_t>(m_pos + size));
        piece.delayMs = m_script.delayMs;
        m_pos += size;
        return piece;
    }

   private:
    StreamScript m_script;
    std::size_t m_pos = 0;
    std::size_t m_next = 0;
};

// Starts a simulator on 127.0.0.1 whose every stream request is answered
// with the script (changeable between requests).
class ScriptedCamera {
   public:
    explicit ScriptedCamera(darvik::camsim::Config config = {}) {
        config.controlEnabled = false;
        config.streamFactory = [this](const darvik::camsim::StreamSettings&, std::string*) {
            std::lock_guard<std::mutex> guard(m_mutex);
            return std::unique_ptr<darvik::camsim::StreamSource>(new ScriptedSource(m_script));
        };
        m_simulator = std::make_unique<darvik::camsim::Simulator>(config);
        std::string error;
        m_started = m_simulator->Start(&error);
        m_error = error;
    }
    ~ScriptedCamera() { m_simulator->Stop(); }

    void SetScript(StreamScript script) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_script = std::move(script);
    }
    bool Started() const { return m_started; }
    const std::string& Error() const { return m_error; }
    darvik::camsim::Simulator& Sim() { return *m_simulator; }
    std::uint16_t Port() const { return m_simulator->Port(); }

    // Targets of the requests received so far, in order.
    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const auto& entry : m_simulator->RequestLog()) {
            targets.push_back(entry.target);
        }
        return targets;
    }
    std::size_t CountTarget(const std::string& target) const {
        std::size_t count = 0;
        for (const auto& entry : m_simulator->RequestLog()) {
            count += entry.target == target ? 1 : 0;
        }
        return count;
    }

   private:
    std::mutex m_mutex;
    StreamScript m_script;  // guarded by m_mutex
    std::unique_ptr<darvik::camsim::Simulator> m_simulator;
    bool m_started = false;
    std::string m_error;
};

}  // namespace brevane::testing
