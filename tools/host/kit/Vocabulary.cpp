#include "kit/Vocabulary.h"

#include "darvik/IIPPTZ.h"
#include "darvik/IIPVideoCapture.h"

namespace darvik::host {

const char* ChannelStateName(std::int32_t state) {
    switch (state) {
        case brevane::ipcapture::kChannelRunning: return "online";
        case brevane::ipcapture::kChannelConnecting: return "connecting";
        case brevane::ipcapture::kChannelSignalLost: return "signal lost";
        case brevane::ipcapture::kChannelStopped: return "stopped";
        default: return "unknown";
    }
}

const char* PtzStatusName(std::int32_t status) {
    switch (status) {
        case brevane::PTZ_OK: return "PTZ_OK";
        case brevane::PTZ_ERR_INVALID_ARGUMENT: return "PTZ_ERR_INVALID_ARGUMENT";
        case brevane::PTZ_ERR_NOT_READY: return "PTZ_ERR_NOT_READY";
        case brevane::PTZ_ERR_PRESET: return "PTZ_ERR_PRESET";
        case brevane::PTZ_ERR_FULL: return "PTZ_ERR_FULL";
        default: return "UNKNOWN_STATUS";
    }
}

std::optional<std::int32_t> DirectionCode(std::string_view name) {
    static constexpr std::string_view kNames[kDirections] = {
        "left", "right", "up", "down", "left-up", "right-up", "left-down", "right-down", "zoom-in", "zoom-out"};
    for (std::int32_t code = 0; code < kDirections; ++code) {
        if (name == kNames[code]) {
            return code;
        }
    }
    return std::nullopt;
}

}  // namespace darvik::host
