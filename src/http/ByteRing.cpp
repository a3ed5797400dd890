#include "http/ByteRing.h"

#include <algorithm>
#include <cstring>

namespace Web {

CByteRing::CByteRing(std::uint32_t capacity)
    : m_capacity(capacity), m_bytes(std::make_unique_for_overwrite<std::uint8_t[]>(capacity)) {}

bool CByteRing::Write(const std::uint8_t* data, std::uint32_t length) {
    if (length > Free()) {
        return false;
    }
    const std::uint32_t tail = (m_head + m_size) % m_capacity;
    const std::uint32_t first = std::min(length, m_capacity - tail);
    std::memcpy(m_bytes.get() + tail, data, first);
    std::memcpy(m_bytes.get(), data + first, length - first);
    m_size += length;
    m_peak = std::max(m_peak, m_size);
    return true;
}

std::uint32_t CByteRing::Read(std::uint8_t* out, std::uint32_t size) {
    const std::uint32_t length = std::min(size, m_size);
    const std::uint32_t first = std::min(length, m_capacity - m_head);
    std::memcpy(out, m_bytes.get() + m_head, first);
    std::memcpy(out + first, m_bytes.get(), length - first);
    return Discard(length);
}

void CByteRing::Peek(const std::uint8_t** first, std::uint32_t* firstSize,
                     const std::uint8_t** second, std::uint32_t* secondSize) const {
    const std::uint32_t firstLength = std::min(m_size, m_capacity - m_head);
    *first = m_bytes.get() + m_head;
    *firstSize = firstLength;
    *second = m_bytes.get();
    *secondSize = m_size - firstLength;
}

std::uint32_t CByteRing::Discard(std::uint32_t size) {
    const std::uint32_t length = std::min(size, m_size);
    m_head = (m_head + length) % m_capacity;
    m_size -= length;
    if (m_size == 0) {
        m_head = 0;  // the next bytes go in one piece
    }
    return length;
}

}  // namespace Web
