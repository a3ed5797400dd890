// The simulated camera's picture sizes and frame rates: the JPEG stream of
// each width, and the MPEG-4 encoder's resolution and frame-rate codes, for
// the PAL and the NTSC family.
//
// Constant tables behind free functions; any thread may call them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace darvik::camsim {

struct PictureSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// Ticks of the MPEG-4 time base (1/30000 s) per second.
inline constexpr std::uint32_t kMpegTicksPerSecond = 30000;

// A frame rate of the camera's encoder: the family's base rate (25 or 30
// frames per second) divided by the frame-rate code.
struct FrameRate {
    std::uint32_t base = 0;     // frames per second at code 1
    std::uint32_t divisor = 1;  // the frame-rate code
    // Time between frames in microseconds, rounded down.
    std::uint64_t IntervalMicroseconds() const { return 1000000ull * divisor / base; }
    // Time between frames in ticks of 1/30000 s (always a whole number).
    std::uint32_t IntervalTicks() const { return kMpegTicksPerSecond * divisor / base; }
};

// Size of the JPEG pictures of stream "jpgl" (160 wide), "jpgn" (352) or
// "jpgh" (704); nothing for any other name.
std::optional<PictureSize> JpegPictureSize(std::string_view group, bool ntsc);

// Picture size for an m_resl code (2, 3 or 4); nothing for other codes.
std::optional<PictureSize> MpegPictureSize(int resolutionCode, bool ntsc);

// Frame rate for an m_fram code (1 to 5); nothing for other codes.
std::optional<FrameRate> MpegFrameRate(int frameRateCode, bool ntsc);

}  // namespace darvik::camsim
