#include <algorithm>

#include "PictureCheck.h"
#include "video/SequenceHeader.h"

namespace brevane::test {

namespace {

using Bytes = std::vector<std::uint8_t>;

// How many start codes 00 00 01 `code` the data holds.
std::size_t CountStartCodes(const Bytes& data, std::uint8_t code) {
    std::size_t count = 0;
    for (std::size_t i = 0; i + 3 < data.size(); ++i) {
        count += data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == code ? 1 : 0;
    }
    return count;
}

}  // namespace

bool PicturesDecode() { return false; }

std::optional<JpegInfo> InspectJpeg(const Bytes& jpeg) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8 || jpeg[jpeg.size() - 2] != 0xFF ||
        jpeg.back() != 0xD9) {
        return std::nullopt;
    }
    // Walks the marker segments up to the baseline start of frame.
    for (std::size_t i = 2; i + 9 < jpeg.size();) {
        if (jpeg[i] != 0xFF) return std::nullopt;
        const std::uint8_t marker = jpeg[i + 1];
        const std::size_t length = static_cast<std::size_t>(jpeg[i + 2] << 8 | jpeg[i + 3]);
        if (marker == 0xC0) {
            return JpegInfo{jpeg[i + 7] << 8 | jpeg[i + 8], jpeg[i + 5] << 8 | jpeg[i + 6], std::nullopt};
        }
        if (marker == 0xDA || length < 2) return std::nullopt;
        i += 2 + length;
    }
    return std::nullopt;
}

std::vector<std::string> CheckMpeg4(const std::vector<Bytes>& frames, int width, int height) {
    std::vector<std::string> problems;
    const auto header =
        brevane::BuildSequenceHeader(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    if (frames.empty() || !std::equal(header.begin(), header.end(), frames[0].begin(),
                                      frames[0].begin() + std::min(frames[0].size(), header.size()))) {
        problems.push_back("the first frame does not start with the sequence header of the size");
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (CountStartCodes(frames[i], 0xB6) != 1) {
            problems.push_back("frame " + std::to_string(i) + " does not hold exactly one video object plane");
        }
    }
    return problems;
}

}  // namespace brevane::test
