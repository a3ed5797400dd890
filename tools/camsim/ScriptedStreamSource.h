// ScriptedStreamSource: the body of a stream request answered with a
// StreamScript (Simulator::SetStreamScript). Created per stream request and
// used by that connection's thread only, like every StreamSource.
#pragma once

#include "Config.h"

namespace darvik::camsim {

class ScriptedStreamSource : public StreamSource {
   public:
    explicit ScriptedStreamSource(StreamScript script) : m_script(std::move(script)) {}

    std::string ContentType() const override { return "application/octet-stream"; }
    std::uint64_t FramesProduced() const override { return 0; }
    StreamPiece Next() override;

   private:
    StreamScript m_script;
    std::size_t m_pos = 0;
    std::size_t m_next = 0;
};

}  // namespace darvik::camsim
