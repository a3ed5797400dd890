// Module-wide video tables and the small rules derived from them: the JPEG
// address table (picture width -> CGI path), the MPEG encoder's frame-rate and
// resolution codes of the NTSC and PAL families, the frame size class, the
// frame allocation sizes and the quality codes sent to the camera.
//
// The tables are constant data, fixed at compile time and only read, so any
// thread may use them at any time (channels, the capability query, tools).
// Each table is kept in ascending order of its key.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace brevane {

// One row of the JPEG address table.
struct JpegAddress {
    std::uint32_t width;
    const char* path;
};

// One row of a frame-rate table: frames per second (1000 / frame interval,
// integer division) and the camera's code for it.
struct FrameRateCode {
    std::uint32_t framesPerSecond;
    std::int32_t code;
};

// One row of a resolution table.
struct ResolutionCode {
    std::uint32_t width;
    std::uint32_t height;
    std::int32_t code;
};

// Widths 160, 352 and 704 with their JPEG stream paths, ascending by width.
std::span<const JpegAddress> JpegAddressTable();

// The JPEG stream path for a picture width; empty text when the width has no
// entry. Never null.
const char* JpegPathForWidth(std::uint32_t width);

// Frame-rate and resolution tables of one family (ntsc true: NTSC, else PAL),
// ascending by frames per second, respectively by width then height.
std::span<const FrameRateCode> FrameRateTable(bool ntsc);
std::span<const ResolutionCode> ResolutionTable(bool ntsc);

// The frame-rate code for a frame interval in milliseconds: the key is
// 1000 / interval. Empty for an interval of 0 or a key not in the table.
std::optional<std::int32_t> FindFrameRateCode(bool ntsc, std::uint32_t frameIntervalMs);

// The resolution code for width x height; empty when the pair is not listed.
std::optional<std::int32_t> FindResolutionCode(bool ntsc, std::uint32_t width,
                                               std::uint32_t height);

// Size class the host files a picture under: 3 for wide pictures (width below
// 1024 and more than twice the height), otherwise 2 up to 400 pixels wide,
// otherwise 4.
std::int32_t SizeClassFor(std::uint32_t width, std::uint32_t height);

// Buffer size asked of the host for an MPEG frame of dataSize bytes: raised to
// 4096, 16384, 32768 or 131072 so the host can reuse its buffers; larger
// frames get exactly their size.
std::uint32_t FrameAllocationSize(std::uint32_t dataSize);

// The camera's JPEG quality code for a quality in percent: 0 (high) from 67,
// 2 (low) below 34, otherwise 1.
std::int32_t JpegQualityCode(std::uint32_t qualityPercent);

// The MPEG encoder's quality value for a quality in percent: 500 + 15 x
// quality, at most 2000.
std::uint32_t MpegQualityValue(std::uint32_t qualityPercent);

}  // namespace brevane
