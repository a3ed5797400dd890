// What the end-to-end tests can tell about delivered pictures. On Linux they
// are decoded (libjpeg-turbo, libavcodec); the Windows build has neither, so
// there the JPEG markers with the start-of-frame size and the MPEG-4 start
// codes are checked instead (PictureCheckMarkers.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brevane::test {

// Whether pictures are decoded (and test-pattern frame numbers read).
bool PicturesDecode();

struct JpegInfo {
    int width = 0;
    int height = 0;
    std::optional<std::uint32_t> frameNumber;  // only where pictures decode
};

// Nothing when the bytes are not a whole JPEG picture.
std::optional<JpegInfo> InspectJpeg(const std::vector<std::uint8_t>& jpeg);

// Problems found in MPEG-4 frames delivered in order: each must be a picture
// of width x height, and the stream must start at a key frame. Empty: clean.
std::vector<std::string> CheckMpeg4(const std::vector<std::vector<std::uint8_t>>& frames, int width, int height);

}  // namespace brevane::test
