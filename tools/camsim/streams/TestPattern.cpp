#include "streams/TestPattern.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace darvik::camsim {
namespace {

constexpr int kDigits = 6;
constexpr int kGlyphColumns = 3;
constexpr int kGlyphRows = 5;
// The box: one cell of margin around six glyphs with one cell between them.
constexpr int kBoxColumns = 1 + kDigits * (kGlyphColumns + 1);
constexpr int kBoxRows = kGlyphRows + 2;

constexpr std::uint8_t kBlack = 16;
constexpr std::uint8_t kWhite = 235;
constexpr std::uint8_t kNeutral = 128;
// A sampled cell reads as black below the first level and as white above the
// second; anything between is too blurred to trust.
constexpr int kBlackBelow = 100;
constexpr int kWhiteAbove = 150;

// Rows of a 3 x 5 glyph, most significant of the three bits on the left.
constexpr std::array<std::array<std::uint8_t, kGlyphRows>, 10> kGlyphs = {{
    {7, 5, 5, 5, 7},  // 0
    {2, 6, 2, 2, 7},  // 1
    {7, 1, 7, 4, 7},  // 2
    {7, 1, 7, 1, 7},  // 3
    {5, 5, 7, 1, 1},  // 4
    {7, 4, 7, 1, 7},  // 5
    {7, 4, 7, 5, 7},  // 6
    {7, 1, 1, 1, 1},  // 7
    {7, 5, 7, 5, 7},  // 8
    {7, 5, 7, 1, 7},  // 9
}};

struct BarColour {
    std::uint8_t y, u, v;
};

// The classic eight bars, white to black, in studio-range BT.601.
constexpr std::array<BarColour, 8> kBars = {{
    {235, 128, 128},
    {210, 16, 146},
    {170, 166, 16},
    {145, 54, 34},
    {106, 202, 222},
    {81, 90, 240},
    {41, 240, 110},
    {16, 128, 128},
}};

// Side of one glyph cell in pixels for a picture width.
std::uint32_t CellSize(std::uint32_t width) {
    return std::max<std::uint32_t>(4, width / 32);
}

// Bouncing position in [0, span] for a step count.
std::uint32_t Bounce(std::uint64_t steps, std::uint32_t span) {
    if (span == 0) {
        return 0;
    }
    const std::uint64_t period = 2ull * span;
    const std::uint64_t phase = steps % period;
    return static_cast<std::uint32_t>(phase <= span ? phase : period - phase);
}

void FillRect(std::uint8_t* plane, std::ptrdiff_t stride, std::uint32_t x, std::uint32_t y, std::uint32_t w,
              std::uint32_t h, std::uint8_t value) {
    for (std::uint32_t row = 0; row < h; ++row) {
        std::memset(plane + static_cast<std::ptrdiff_t>(y + row) * stride + x, value, w);
    }
}

}  // namespace

TestPattern::TestPattern(std::uint32_t width, std::uint32_t height)
    : m_width(width), m_height(height), m_rowY(width), m_rowU(width / 2), m_rowV(width / 2) {}

void TestPattern::Render(std::uint64_t frameNumber, const YuvPlanes& planes) {
    const std::uint32_t chromaWidth = m_width / 2;
    const std::uint32_t chromaHeight = m_height / 2;

    // Bars scroll four pixels per frame; build one row and copy it down.
    const std::uint32_t barWidth = std::max<std::uint32_t>(2, m_width / 8) & ~1u;
    const std::uint32_t shift = static_cast<std::uint32_t>((frameNumber * 4) % m_width) & ~1u;
    for (std::uint32_t x = 0; x < m_width; x += 2) {
        const std::uint32_t bar = ((x + shift) % m_width) / barWidth % kBars.size();
        m_rowY[x] = kBars[bar].y;
        m_rowY[x + 1] = kBars[bar].y;
        m_rowU[x / 2] = kBars[bar].u;
        m_rowV[x / 2] = kBars[bar].v;
    }
    for (std::uint32_t y = 0; y < m_height; ++y) {
        std::memcpy(planes.y + static_cast<std::ptrdiff_t>(y) * planes.yStride, m_rowY.data(), m_width);
    }
    for (std::uint32_t y = 0; y < chromaHeight; ++y) {
        std::memcpy(planes.u + static_cast<std::ptrdiff_t>(y) * planes.uvStride, m_rowU.data(), chromaWidth);
        std::memcpy(planes.v + static_cast<std::ptrdiff_t>(y) * planes.uvStride, m_rowV.data(), chromaWidth);
    }

    // The number box, always at the same place near the top left corner.
    const std::uint32_t cell = CellSize(m_width);
    const std::uint32_t boxX = cell & ~1u;
    const std::uint32_t boxY = cell & ~1u;
    FillRect(planes.y, planes.yStride, boxX, boxY, kBoxColumns * cell, kBoxRows * cell, kWhite);
    FillRect(planes.u, planes.uvStride, boxX / 2, boxY / 2, (kBoxColumns * cell + 1) / 2, (kBoxRows * cell + 1) / 2,
             kNeutral);
    FillRect(planes.v, planes.uvStride, boxX / 2, boxY / 2, (kBoxColumns * cell + 1) / 2, (kBoxRows * cell + 1) / 2,
             kNeutral);
    std::uint32_t number = static_cast<std::uint32_t>(frameNumber % kNumberModulus);
    for (int digit = kDigits - 1; digit >= 0; --digit) {
        const auto& glyph = kGlyphs[number % 10];
        number /= 10;
        const std::uint32_t glyphX = boxX + (1 + digit * (kGlyphColumns + 1)) * cell;
        for (int row = 0; row < kGlyphRows; ++row) {
            for (int column = 0; column < kGlyphColumns; ++column) {
                if ((glyph[row] >> (kGlyphColumns - 1 - column)) & 1) {
                    FillRect(planes.y, planes.yStride, glyphX + column * cell, boxY + (1 + row) * cell, cell, cell,
                             kBlack);
                }
            }
        }
    }

    // A grey square bouncing through the area below the box.
    const std::uint32_t side = std::max<std::uint32_t>(8, m_height / 6) & ~1u;
    const std::uint32_t areaTop = (boxY + kBoxRows * cell + cell) & ~1u;
    if (areaTop + side <= m_height && side <= m_width) {
        const std::uint32_t x = Bounce(frameNumber * 6, m_width - side) & ~1u;
        const std::uint32_t y = (areaTop + Bounce(frameNumber * 4, m_height - side - areaTop)) & ~1u;
        FillRect(planes.y, planes.yStride, x, y, side, side, kNeutral);
        FillRect(planes.u, planes.uvStride, x / 2, y / 2, side / 2, side / 2, kNeutral);
        FillRect(planes.v, planes.uvStride, x / 2, y / 2, side / 2, side / 2, kNeutral);
    }
}

std::optional<std::uint32_t> TestPattern::ReadFrameNumber(const std::uint8_t* luma, std::uint32_t width,
                                                          std::uint32_t height, std::ptrdiff_t stride) {
    const std::uint32_t cell = CellSize(width);
    const std::uint32_t boxX = cell & ~1u;
    const std::uint32_t boxY = cell & ~1u;
    if (luma == nullptr || boxX + kBoxColumns * cell > width || boxY + kBoxRows * cell > height) {
        return std::nullopt;
    }
    // Average the middle half of a cell, away from its blurred edges.
    const std::uint32_t inset = cell / 4;
    const std::uint32_t span = std::max<std::uint32_t>(1, cell - 2 * inset);
    auto cellIsBlack = [&](std::uint32_t x, std::uint32_t y) -> std::optional<bool> {
        std::uint32_t sum = 0;
        for (std::uint32_t row = 0; row < span; ++row) {
            const std::uint8_t* line = luma + static_cast<std::ptrdiff_t>(y + inset + row) * stride + x + inset;
            for (std::uint32_t column = 0; column < span; ++column) {
                sum += line[column];
            }
        }
        const std::uint32_t mean = sum / (span * span);
        if (mean < kBlackBelow) {
            return true;
        }
        if (mean > kWhiteAbove) {
            return false;
        }
        return std::nullopt;
    };

    std::uint32_t number = 0;
    for (int digit = 0; digit < kDigits; ++digit) {
        const std::uint32_t glyphX = boxX + (1 + digit * (kGlyphColumns + 1)) * cell;
        std::array<std::uint8_t, kGlyphRows> rows{};
        for (int row = 0; row < kGlyphRows; ++row) {
            for (int column = 0; column < kGlyphColumns; ++column) {
                const auto black = cellIsBlack(glyphX + column * cell, boxY + (1 + row) * cell);
                if (!black) {
                    return std::nullopt;
                }
                rows[row] = static_cast<std::uint8_t>((rows[row] << 1) | (*black ? 1 : 0));
            }
        }
        const auto found = std::find(kGlyphs.begin(), kGlyphs.end(), rows);
        if (found == kGlyphs.end()) {
            return std::nullopt;
        }
        number = number * 10 + static_cast<std::uint32_t>(found - kGlyphs.begin());
    }
    return number;
}

}  // namespace darvik::camsim
