#include "streams/CameraTables.h"

namespace darvik::camsim {

std::optional<PictureSize> JpegPictureSize(std::string_view group, bool ntsc) {
    if (group == "jpgl") {
        return PictureSize{160, ntsc ? 120u : 144u};
    }
    if (group == "jpgn") {
        return PictureSize{352, ntsc ? 240u : 288u};
    }
    if (group == "jpgh") {
        return PictureSize{704, ntsc ? 480u : 576u};
    }
    return std::nullopt;
}

std::optional<PictureSize> MpegPictureSize(int resolutionCode, bool ntsc) {
    switch (resolutionCode) {
        case 2:
            return PictureSize{352, ntsc ? 240u : 288u};
        case 3:
            return PictureSize{704, ntsc ? 240u : 288u};
        case 4:
            return PictureSize{704, ntsc ? 480u : 576u};
        default:
            return std::nullopt;
    }
}

std::optional<FrameRate> MpegFrameRate(int frameRateCode, bool ntsc) {
    if (frameRateCode < 1 || frameRateCode > 5) {
        return std::nullopt;
    }
    return FrameRate{ntsc ? 30u : 25u, static_cast<std::uint32_t>(frameRateCode)};
}

}  // namespace darvik::camsim
