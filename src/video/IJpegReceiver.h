// IJpegReceiver: where CJpegAssembler hands each complete JPEG picture.
//
// Implemented by the MJPEG channel; called on the channel's worker thread
// from inside CJpegAssembler::Feed. The bytes are valid only during the call.
#pragma once

#include <cstdint>

namespace brevane {

class IJpegReceiver {
   public:
    virtual ~IJpegReceiver() = default;
    // One picture, from its start-of-image marker to its end-of-image marker
    // inclusive.
    virtual void OnJpegFrame(const std::uint8_t* data, std::uint32_t size) = 0;
};

}  // namespace brevane
