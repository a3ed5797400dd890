// ChunkView: the bytes a stream scanner works on in one step, made of the few
// bytes it carried over from the previous chunk (head) followed by the new
// chunk (tail), addressed as one run of positions without joining them.
//
// Used by CJpegAssembler and CMpegParser on their owner's thread; it only
// borrows both byte ranges for the duration of one Feed call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace brevane {

class ChunkView {
   public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    ChunkView(const std::uint8_t* head, std::size_t headSize, const std::uint8_t* tail,
              std::size_t tailSize)
        : m_head(head), m_headSize(headSize), m_tail(tail), m_tailSize(tailSize) {}

    std::size_t size() const { return m_headSize + m_tailSize; }
    std::size_t headSize() const { return m_headSize; }

    std::uint8_t operator[](std::size_t pos) const {
        return pos < m_headSize ? m_head[pos] : m_tail[pos - m_headSize];
    }

    // Position of the first byte equal to value at or after from; npos when
    // there is none.
    std::size_t Find(std::uint8_t value, std::size_t from) const {
        if (from < m_headSize) {
            const void* hit = std::memchr(m_head + from, value, m_headSize - from);
            if (hit != nullptr) {
                return static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - m_head);
            }
            from = m_headSize;
        }
        const std::size_t offset = from - m_headSize;
        if (offset >= m_tailSize) {
            return npos;
        }
        const void* hit = std::memchr(m_tail + offset, value, m_tailSize - offset);
        if (hit == nullptr) {
            return npos;
        }
        return m_headSize + static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - m_tail);
    }

    // True when the bytes at pos equal text[0 .. length); all must lie in
    // the view.
    bool Matches(std::size_t pos, const char* text, std::size_t length) const {
        if (pos + length > size()) {
            return false;
        }
        for (std::size_t i = 0; i < length; ++i) {
            if ((*this)[pos + i] != static_cast<std::uint8_t>(text[i])) {
                return false;
            }
        }
        return true;
    }

    // Pointer to [begin, end) when the range lies wholly in the tail, else
    // null.
    const std::uint8_t* TailPointer(std::size_t begin, std::size_t end) const {
        if (begin < m_headSize || end > size() || begin > end) {
            return nullptr;
        }
        return m_tail + (begin - m_headSize);
    }

    // Appends the bytes [begin, end) to out.
    void AppendTo(std::vector<std::uint8_t>& out, std::size_t begin, std::size_t end) const {
        if (begin >= end) {
            return;
        }
        if (begin < m_headSize) {
            const std::size_t headEnd = end < m_headSize ? end : m_headSize;
            out.insert(out.end(), m_head + begin, m_head + headEnd);
            begin = headEnd;
        }
        if (begin < end) {
            out.insert(out.end(), m_tail + (begin - m_headSize), m_tail + (end - m_headSize));
        }
    }

    // Copies [begin, end) into dest, which holds at least end - begin bytes.
    void CopyTo(std::uint8_t* dest, std::size_t begin, std::size_t end) const {
        for (std::size_t pos = begin; pos < end && pos < m_headSize; ++pos) {
            *dest++ = m_head[pos];
        }
        if (end > m_headSize) {
            const std::size_t from = begin > m_headSize ? begin : m_headSize;
            std::memcpy(dest, m_tail + (from - m_headSize), end - from);
        }
    }

   private:
    const std::uint8_t* m_head;
    std::size_t m_headSize;
    const std::uint8_t* m_tail;
    std::size_t m_tailSize;
};

}  // namespace brevane
