#include "streams/FramedStreamSource.h"

#include <algorithm>
#include <chrono>

namespace darvik::camsim {
namespace {

// Filler pieces of the never-ending frame; the filler holds no 0xFF (a JPEG
// marker) and no '[' (a record marker).
constexpr std::size_t kUnendedPieceSize = 64 * 1024;
constexpr std::uint8_t kUnendedFiller = 0x55;

}  // namespace

std::uint64_t SteadyMicroseconds() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

FramedStreamSource::FramedStreamSource(const StreamFaults& faults, std::uint64_t frameIntervalMicroseconds,
                                       MicrosecondClock clock)
    : m_faults(faults),
      m_interval(frameIntervalMicroseconds),
      m_clock(clock ? std::move(clock) : SteadyMicroseconds),
      m_unendedLeft(faults.unendedFrameBytes) {
    // Chunk sizes of 0 would hand out empty pieces forever.
    std::erase(m_faults.chunkSizes, 0u);
    const std::uint32_t stall = m_faults.stallAfterFrames;
    const std::uint32_t close = m_faults.closeAfterFrames;
    if (close != 0 && (stall == 0 || close <= stall)) {
        m_frameLimit = close;
        m_endAtLimit = true;
    } else if (stall != 0) {
        m_frameLimit = stall;
    }
}

bool FramedStreamSource::MayProduce() const {
    return !m_failed && (m_frameLimit == 0 || m_framesProduced < m_frameLimit);
}

std::uint64_t FramedStreamSource::ScheduleFrame() {
    const std::uint64_t now = m_clock();
    if (!m_scheduled || now > m_nextDue + m_interval) {
        m_nextDue = now;
        m_scheduled = true;
    }
    const std::uint64_t due = m_nextDue;
    m_nextDue += m_interval;
    return due;
}

void FramedStreamSource::AppendGarbage() {
    // xorshift64: the same junk on every run, so failures repeat.
    auto next = [this] {
        m_garbageState ^= m_garbageState << 13;
        m_garbageState ^= m_garbageState >> 7;
        m_garbageState ^= m_garbageState << 17;
        return m_garbageState;
    };
    const std::size_t length = 1 + next() % 64;
    for (std::size_t i = 0; i < length; ++i) {
        auto byte = static_cast<std::uint8_t>(next());
        // No 0xFF (a JPEG marker) and no '[' (a record marker): junk must
        // not look like the start or end of a frame.
        if (byte == 0xFF || byte == '[') {
            byte = 'x';
        }
        m_pending.push_back(byte);
    }
}

std::uint64_t FramedStreamSource::ProduceFrame() {
    const std::uint64_t due = ScheduleFrame();
    // Drop the bytes already handed out, so the buffer holds at most the
    // unsent tail of one frame plus the new one.
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingOffset));
    m_pendingOffset = 0;
    const std::size_t rollback = m_pending.size();
    if (m_faults.garbageBetweenFrames && m_framesProduced > 0) {
        AppendGarbage();
    }
    if (!AppendFrame(m_framesProduced, m_pending)) {
        m_pending.resize(rollback);
        m_failed = true;
        return due;
    }
    ++m_framesProduced;
    return due;
}

StreamPiece FramedStreamSource::NextUnended() {
    StreamPiece piece;
    if (!m_unendedOpened) {
        AppendFrameOpening(piece.bytes);
        m_unendedOpened = true;
    }
    const auto filler = static_cast<std::size_t>(std::min<std::uint64_t>(kUnendedPieceSize, m_unendedLeft));
    piece.bytes.resize(piece.bytes.size() + filler, kUnendedFiller);
    m_unendedLeft -= filler;
    if (m_faults.closeAfterBytes != 0) {
        const std::uint64_t room = m_faults.closeAfterBytes - m_bytesOut;
        if (piece.bytes.size() >= room) {
            piece.bytes.resize(static_cast<std::size_t>(room));
            piece.end = true;
            m_finished = true;
        }
    }
    m_bytesOut += piece.bytes.size();
    return piece;
}

StreamPiece FramedStreamSource::Next() {
    StreamPiece piece;
    if (m_finished) {
        piece.end = true;
        return piece;
    }
    if (m_unendedLeft > 0) {
        return NextUnended();
    }

    const bool chunked = !m_faults.chunkSizes.empty();
    const std::size_t want =
        chunked ? m_faults.chunkSizes[m_chunkIndex++ % m_faults.chunkSizes.size()] : static_cast<std::size_t>(0);

    // Make frames until the piece can be filled (one whole frame when not
    // chunked), or no frame may follow.
    bool madeFrame = false;
    std::uint64_t due = 0;
    while (MayProduce() && (PendingSize() == 0 || (chunked && PendingSize() < want))) {
        due = ProduceFrame();
        madeFrame = true;
    }

    std::size_t take = chunked ? std::min(want, PendingSize()) : PendingSize();
    if (m_faults.closeAfterBytes != 0) {
        take = static_cast<std::size_t>(std::min<std::uint64_t>(take, m_faults.closeAfterBytes - m_bytesOut));
    }
    piece.bytes.assign(m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingOffset),
                       m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingOffset + take));
    m_pendingOffset += take;
    m_bytesOut += take;

    if (madeFrame) {
        const std::uint64_t now = m_clock();
        if (due > now) {
            piece.delayMs = static_cast<std::uint32_t>((due - now + 999) / 1000);
        }
    }

    if (m_faults.closeAfterBytes != 0 && m_bytesOut >= m_faults.closeAfterBytes) {
        piece.end = true;
    } else if (PendingSize() == 0 && !MayProduce()) {
        if (m_failed || m_endAtLimit) {
            piece.end = true;
        } else if (piece.bytes.empty()) {
            piece.stall = true;
        }
        // Otherwise the stall comes as the next, empty piece, after the last
        // frame's bytes have gone out.
    }
    m_finished = piece.end || piece.stall;
    return piece;
}

}  // namespace darvik::camsim
