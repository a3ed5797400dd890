// The soak's check of each picture a channel delivers, counting whole and
// damaged ones. A JPEG picture must be one baseline picture of the expected
// size: start and end markers, intact marker segments up to its one scan, and
// no marker inside the scan but restarts (a cut picture glued to the next
// one shows there). Where libjpeg-turbo is built (Linux) the picture is also
// decoded in full. An MPEG-4 frame must begin with a start code.
//
// Owned by the soak's channel; Check is called on the channel's worker
// thread, the counters are read from the soak's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace darvik::cli {

// Whether `data` is one whole baseline JPEG picture of width x height, by
// its structure alone.
bool JpegStructureIsWhole(std::span<const std::uint8_t> data, std::uint32_t width, std::uint32_t height);

class PictureCheck {
   public:
    using Clock = std::chrono::steady_clock;

    PictureCheck(bool jpeg, std::uint32_t width, std::uint32_t height);
    ~PictureCheck();
    PictureCheck(const PictureCheck&) = delete;
    PictureCheck& operator=(const PictureCheck&) = delete;

    // Whether pictures are decoded in full, not only checked for structure.
    static bool Decodes();

    // Called on the channel's worker only.
    void Check(std::span<const std::uint8_t> data);
    // Starts looking for the next first picture.
    void Mark() { m_firstSinceMark.store(0); }
    std::uint64_t WholeCount() const { return m_whole.load(); }
    std::uint64_t DamagedCount() const { return m_damaged.load(); }
    // When the first picture since Mark arrived; 0 when none did.
    Clock::rep FirstSinceMark() const { return m_firstSinceMark.load(); }

   private:
    bool Whole(std::span<const std::uint8_t> data);

    const bool m_jpeg;
    const std::uint32_t m_width;
    const std::uint32_t m_height;
    [[maybe_unused]] void* m_decoder = nullptr;  // libjpeg-turbo's handle where it is built
    std::vector<unsigned char> m_pixels;  // the decoder's output, reused
    std::atomic<std::uint64_t> m_whole{0};
    std::atomic<std::uint64_t> m_damaged{0};
    std::atomic<Clock::rep> m_firstSinceMark{0};
};

}  // namespace darvik::cli
