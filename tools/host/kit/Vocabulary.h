// The words the host tools use for the module's numbers: channel states,
// PTZ statuses and PTZ directions. The command line and the web console
// print and accept the same names through these functions.
//
// Stateless functions over constant tables; any thread may call them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace darvik::host {

// A channel state of GetChannelStatus: "online" (the word of the module's
// own log), "connecting", "signal lost", "stopped" or "unknown".
const char* ChannelStateName(std::int32_t state);

// A PTZ status by its constant's name ("PTZ_OK", "PTZ_ERR_PRESET", ...), or
// "UNKNOWN_STATUS".
const char* PtzStatusName(std::int32_t status);

// Directions 0 to 7 pan and tilt the head; 8 and 9 zoom.
inline constexpr std::int32_t kPanTiltDirections = 8;
inline constexpr std::int32_t kDirections = 10;

// The direction code of a name ("left", "right-up", "zoom-in", ...); none
// for any other text.
std::optional<std::int32_t> DirectionCode(std::string_view name);

}  // namespace darvik::host
