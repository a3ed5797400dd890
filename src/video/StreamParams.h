// StreamParams: what the host asked of one video stream, handed to a camera
// channel's Start and Restart. A plain record copied by value.
#pragma once

#include <cstdint>

namespace brevane {

struct StreamParams {
    std::uint32_t frameInterval = 0;  // milliseconds between frames
    std::uint32_t quality = 0;        // percent, 0 to 100
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

}  // namespace brevane
