// The MPEG-4 sequence header that the MPEG channel puts in front of every
// key frame: visual object sequence, visual object and video object layer
// headers for a picture size, so that each key frame can be decoded on its
// own. The camera's stream carries video object planes only.
//
// A pure function of its arguments; any thread may call it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace brevane {

inline constexpr std::size_t kSequenceHeaderSize = 28;

// The header for 352 x 288. Its video object layer declares: simple object
// type, square pixels, 4:2:0, low delay (no B-frames), no VBV parameters,
// rectangular shape, vop_time_increment_resolution 30000, variable frame
// rate, progressive, OBMC disabled, no sprites, 8-bit, H.263 quantisation,
// no complexity estimation, no resync markers, no data partitioning, no
// scalability.
inline constexpr std::array<std::uint8_t, kSequenceHeaderSize> kSequenceHeaderTemplate = {
    0x00, 0x00, 0x01, 0xB0, 0xF4, 0x00, 0x00, 0x01, 0xB5, 0x08, 0x00, 0x00, 0x01, 0x00,
    0x00, 0x00, 0x01, 0x20, 0x00, 0x86, 0xC5, 0xD4, 0xC2, 0x85, 0x82, 0x12, 0x0A, 0x30};

// Offset of the four bytes that carry the picture size (marker, 13-bit width,
// marker, 13-bit height, and the four flag bits that follow).
inline constexpr std::size_t kSequenceHeaderSizeOffset = 23;

// The header for a picture of width x height. The size field is
// (((width << 14) | height) << 4) | 0x8002000A in unsigned 32-bit
// arithmetic, most significant byte first; widths and heights above 8191 do
// not fit the 13-bit fields and spill into the neighbouring bits.
std::array<std::uint8_t, kSequenceHeaderSize> BuildSequenceHeader(std::uint32_t width, std::uint32_t height);

}  // namespace brevane
