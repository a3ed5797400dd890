// IMpegParserClient: where CMpegParser hands each frame's payload.
//
// Implemented by the MPEG channel; called on the channel's worker thread from
// inside CMpegParser::Feed. The parser never owns its client, so the
// interface has no virtual destructor. The payload is valid only during the
// call: the client copies what it keeps.
#pragma once

#include <cstdint>

namespace brevane {

class IMpegParserClient {
   public:
    // True when the frame was taken. False makes the parser wait for the
    // next key frame.
    virtual bool OnMpegFrame(const std::uint8_t* payload, std::uint32_t size, bool keyFrame) = 0;

   protected:
    ~IMpegParserClient() = default;
};

}  // namespace brevane
