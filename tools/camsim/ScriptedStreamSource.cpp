#include "ScriptedStreamSource.h"

#include <algorithm>

namespace darvik::camsim {

StreamPiece ScriptedStreamSource::Next() {
    StreamPiece piece;
    if (m_pos >= m_script.body.size()) {
        if (m_script.repeat && !m_script.body.empty()) {
            m_pos = 0;
        } else {
            piece.stall = m_script.stallAtEnd;
            piece.reset = !m_script.stallAtEnd && m_script.resetAtEnd;
            piece.end = !piece.stall && !piece.reset;
            return piece;
        }
    }
    std::size_t size = m_script.body.size() - m_pos;
    if (!m_script.pieceSizes.empty()) {
        size = std::min(size, m_script.pieceSizes[m_next++ % m_script.pieceSizes.size()]);
    }
    piece.bytes.assign(m_script.body.begin() + static_cast<std::ptrdiff_t>(m_pos),
                       m_script.body.begin() + static_cast<std::ptrdiff_t>(m_pos + size));
    piece.delayMs = m_script.delayMs;
    m_pos += size;
    return piece;
}

}  // namespace darvik::camsim
