// Making stream sources with a chosen clock: CreateStreamSource of
// StreamSource.h uses the process's steady clock; tests pass their own to
// control pacing.
#pragma once

#include <memory>
#include <string>

#include "streams/FramedStreamSource.h"
#include "streams/StreamSource.h"

namespace darvik::camsim {

// Highest JPEG frame rate the simulated camera offers.
inline constexpr std::uint32_t kMaxJpegFramesPerSecond = 60;

std::unique_ptr<StreamSource> CreateStreamSource(const StreamSettings& settings, MicrosecondClock clock,
                                                 std::string* error);

}  // namespace darvik::camsim
