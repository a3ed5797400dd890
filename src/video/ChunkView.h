// ChunkView: the bytes a stream scanner works on in one step, made of the few
// bytes it carried over from the previous chunk (head) followed by the new
// chunk (tail), addressed as one run of positions without joining them.
//
// Used by CJpegAssembler and CMpegParser on their owner's thread; it only
// borrows both byte ranges for the duration of one Feed call. ReserveWithin
// grows their accumulators without letting the storage pass their cap, and
// without old and new storage both being large while it copies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "video/BytePairScan.h"

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

    // Position of the first p >= from where pair.first is followed by one of
    // pair.seconds, the two bytes possibly on both sides of the seam; npos
    // when there is none.
    std::size_t FindPair(std::size_t from, const BytePair& pair) const {
        for (; from < m_headSize; ++from) {
            if (m_head[from] == pair.first && from + 1 < size() &&
                pair.MatchesSecond((*this)[from + 1])) {
                return from;
            }
        }
        const std::size_t offset = from - m_headSize;
        const std::size_t hit = FindBytePair(m_tail, m_tailSize, offset, pair);
        return hit < m_tailSize ? m_headSize + hit : npos;
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

// Makes room for `needed` bytes in `buffer` (needed <= cap): the storage
// grows geometrically, as the vector would grow it, but never past `cap`, so
// an accumulator that stops at its cap never holds twice the cap.
inline void ReserveWithin(std::vector<std::uint8_t>& buffer, std::size_t needed, std::size_t cap) {
    if (needed <= buffer.capacity()) {
        return;
    }
    // Doubling keeps small pictures cheap, but each step holds the old
    // storage and the new one at once while it copies: from 4 MiB to 8 MiB
    // that is 12 MiB. So once the storage would pass an eighth of the cap it
    // takes the cap in one step, from storage of at most that eighth, and
    // never grows again: the peak is the cap plus an eighth, and the system
    // commits only the pages the picture has filled.
    std::size_t grown = buffer.capacity() * 2;
    if (grown < needed) {
        grown = needed;
    }
    buffer.reserve(grown <= cap / 8 ? grown : cap);
}

}  // namespace brevane
