#include "video/SequenceHeader.h"

namespace brevane {

std::array<std::uint8_t, kSequenceHeaderSize> BuildSequenceHeader(std::uint32_t width, std::uint32_t height) {
    std::array<std::uint8_t, kSequenceHeaderSize> header = kSequenceHeaderTemplate;
    const std::uint32_t sizeField = (((width << 14) | height) << 4) | 0x8002000Au;
    header[kSequenceHeaderSizeOffset + 0] = static_cast<std::uint8_t>(sizeField >> 24);
    header[kSequenceHeaderSizeOffset + 1] = static_cast<std::uint8_t>(sizeField >> 16);
    header[kSequenceHeaderSizeOffset + 2] = static_cast<std::uint8_t>(sizeField >> 8);
    header[kSequenceHeaderSizeOffset + 3] = static_cast<std::uint8_t>(sizeField);
    return header;
}

}  // namespace brevane
