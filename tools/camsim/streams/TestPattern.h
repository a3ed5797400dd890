// TestPattern: the simulated camera's moving picture. Colour bars scroll
// sideways and a grey square bounces below a white box in which the frame
// number is drawn as six large block digits, so that a person watching the
// stream and a test decoding it can both read which frame a picture is.
//
// Renders 8-bit YUV 4:2:0 (full chroma planes of half width and height).
// An object is used by one thread; ReadFrameNumber is a pure function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace darvik::camsim {

// Three planes of a 4:2:0 picture, owned elsewhere.
struct YuvPlanes {
    std::uint8_t* y = nullptr;
    std::uint8_t* u = nullptr;
    std::uint8_t* v = nullptr;
    std::ptrdiff_t yStride = 0;
    std::ptrdiff_t uvStride = 0;
};

class TestPattern {
   public:
    // Frame numbers are shown modulo this.
    static constexpr std::uint32_t kNumberModulus = 1000000;

    // width and height even, width at least 160 and height at least 120.
    TestPattern(std::uint32_t width, std::uint32_t height);

    std::uint32_t Width() const { return m_width; }
    std::uint32_t Height() const { return m_height; }

    // Draws frame frameNumber into the planes.
    void Render(std::uint64_t frameNumber, const YuvPlanes& planes);

    // Reads the frame number (modulo kNumberModulus) back from the luma plane
    // of a picture of the given size; nothing when the digits are not clear.
    static std::optional<std::uint32_t> ReadFrameNumber(const std::uint8_t* luma, std::uint32_t width,
                                                        std::uint32_t height, std::ptrdiff_t stride);

   private:
    std::uint32_t m_width;
    std::uint32_t m_height;
    // One row of each plane with the bars at the current offset; reused.
    std::vector<std::uint8_t> m_rowY;
    std::vector<std::uint8_t> m_rowU;
    std::vector<std::uint8_t> m_rowV;
};

}  // namespace darvik::camsim
