// CByteRing: a fixed-size first-in first-out byte buffer that wraps around,
// for the body bytes a transport received while nobody was reading; they
// are copied out (Read) or shown in place (Peek) and then dropped. It
// allocates once, at construction; it does no locking (its owner's lock
// guards it).
#pragma once

#include <cstdint>
#include <memory>

namespace Web {

class CByteRing {
   public:
    explicit CByteRing(std::uint32_t capacity);

    std::uint32_t Capacity() const { return m_capacity; }
    // Unread bytes.
    std::uint32_t Size() const { return m_size; }
    std::uint32_t Free() const { return m_capacity - m_size; }
    // The most bytes ever held at once.
    std::uint32_t Peak() const { return m_peak; }

    // Appends all `length` bytes; false (and nothing taken) when they do not
    // fit.
    bool Write(const std::uint8_t* data, std::uint32_t length);
    // Moves up to `size` of the oldest bytes to `out`; returns how many.
    std::uint32_t Read(std::uint8_t* out, std::uint32_t size);
    // Where the unread bytes lie, oldest first: one run, or two when they
    // wrap around the end. Write never touches them; they stay until
    // Discard.
    void Peek(const std::uint8_t** first, std::uint32_t* firstSize, const std::uint8_t** second,
              std::uint32_t* secondSize) const;
    // Drops up to `size` of the oldest bytes; returns how many.
    std::uint32_t Discard(std::uint32_t size);

   private:
    const std::uint32_t m_capacity;
    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::uint32_t m_head = 0;  // first unread byte
    std::uint32_t m_size = 0;
    std::uint32_t m_peak = 0;
};

}  // namespace Web
