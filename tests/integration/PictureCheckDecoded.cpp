#include "PictureCheck.h"
#include "StreamTestSupport.h"

namespace brevane::test {

bool PicturesDecode() { return true; }

std::optional<JpegInfo> InspectJpeg(const std::vector<std::uint8_t>& jpeg) {
    const auto picture = DecodeJpeg(jpeg);
    if (!picture) return std::nullopt;
    return JpegInfo{picture->width, picture->height, picture->FrameNumber()};
}

std::vector<std::string> CheckMpeg4(const std::vector<std::vector<std::uint8_t>>& frames, int width, int height) {
    const auto result = DecodeMpeg4(frames);
    std::vector<std::string> problems = result.messages;
    if (result.failedCalls != 0) problems.push_back(std::to_string(result.failedCalls) + " failed decoder calls");
    if (result.pictures.size() != frames.size()) {
        problems.push_back(std::to_string(result.pictures.size()) + " pictures from " +
                           std::to_string(frames.size()) + " frames");
    }
    for (const auto& picture : result.pictures) {
        if (picture.width != width || picture.height != height) {
            problems.push_back("a picture of " + std::to_string(picture.width) + "x" + std::to_string(picture.height));
        }
    }
    return problems;
}

}  // namespace brevane::test
