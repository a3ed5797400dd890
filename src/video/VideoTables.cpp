#include "video/VideoTables.h"

#include <algorithm>
#include <array>

namespace brevane {
namespace {

constexpr std::array<JpegAddress, 3> kJpegAddresses{{
    {160, "/cgi-bin/get?jpgl"},
    {352, "/cgi-bin/get?jpgn"},
    {704, "/cgi-bin/get?jpgh"},
}};

constexpr std::array<FrameRateCode, 5> kNtscFrameRates{{
    {6, 5}, {7, 4}, {10, 3}, {15, 2}, {30, 1},
}};

constexpr std::array<FrameRateCode, 5> kPalFrameRates{{
    {5, 5}, {6, 4}, {8, 3}, {13, 2}, {25, 1},
}};

constexpr std::array<ResolutionCode, 3> kNtscResolutions{{
    {352, 240, 2}, {704, 240, 3}, {704, 480, 4},
}};

constexpr std::array<ResolutionCode, 3> kPalResolutions{{
    {352, 288, 2}, {704, 288, 3}, {704, 576, 4},
}};

template <class Table, class Less>
constexpr bool IsAscending(const Table& table, Less less) {
    for (std::size_t i = 1; i < table.size(); ++i) {
        if (!less(table[i - 1], table[i])) {
            return false;
        }
    }
    return true;
}

constexpr auto kByRate = [](const FrameRateCode& a, const FrameRateCode& b) {
    return a.framesPerSecond < b.framesPerSecond;
};
constexpr auto kBySize = [](const ResolutionCode& a, const ResolutionCode& b) {
    return a.width < b.width || (a.width == b.width && a.height < b.height);
};
static_assert(IsAscending(kNtscFrameRates, kByRate));
static_assert(IsAscending(kPalFrameRates, kByRate));
static_assert(IsAscending(kNtscResolutions, kBySize));
static_assert(IsAscending(kPalResolutions, kBySize));
static_assert(IsAscending(kJpegAddresses,
                          [](const JpegAddress& a, const JpegAddress& b) { return a.width < b.width; }));

}  // namespace

std::span<const JpegAddress> JpegAddressTable() { return kJpegAddresses; }

const char* JpegPathForWidth(std::uint32_t width) {
    for (const JpegAddress& row : kJpegAddresses) {
        if (row.width == width) {
            return row.path;
        }
    }
    return "";
}

std::span<const FrameRateCode> FrameRateTable(bool ntsc) {
    if (ntsc) {
        return kNtscFrameRates;
    }
    return kPalFrameRates;
}

std::span<const ResolutionCode> ResolutionTable(bool ntsc) {
    if (ntsc) {
        return kNtscResolutions;
    }
    return kPalResolutions;
}

std::optional<std::int32_t> FindFrameRateCode(bool ntsc, std::uint32_t frameIntervalMs) {
    if (frameIntervalMs == 0) {
        return std::nullopt;
    }
    const std::uint32_t key = 1000u / frameIntervalMs;
    for (const FrameRateCode& row : FrameRateTable(ntsc)) {
        if (row.framesPerSecond == key) {
            return row.code;
        }
    }
    return std::nullopt;
}

std::optional<std::int32_t> FindResolutionCode(bool ntsc, std::uint32_t width,
                                               std::uint32_t height) {
    for (const ResolutionCode& row : ResolutionTable(ntsc)) {
        if (row.width == width && row.height == height) {
            return row.code;
        }
    }
    return std::nullopt;
}

std::int32_t SizeClassFor(std::uint32_t width, std::uint32_t height) {
    // Compare in 64 bits: twice a 32-bit height must not wrap.
    if (width < 1024 && static_cast<std::uint64_t>(width) > 2ull * height) {
        return 3;
    }
    if (width <= 400) {
        return 2;
    }
    return 4;
}

std::uint32_t FrameAllocationSize(std::uint32_t dataSize) {
    for (std::uint32_t step : {4096u, 16384u, 32768u, 131072u}) {
        if (dataSize <= step) {
            return step;
        }
    }
    return dataSize;
}

std::int32_t JpegQualityCode(std::uint32_t qualityPercent) {
    if (qualityPercent >= 67) {
        return 0;
    }
    if (qualityPercent < 34) {
        return 2;
    }
    return 1;
}

std::uint32_t MpegQualityValue(std::uint32_t qualityPercent) {
    const std::uint64_t value = 500ull + 15ull * qualityPercent;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 2000));
}

}  // namespace brevane
