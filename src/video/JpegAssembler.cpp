#include "video/JpegAssembler.h"

#include <cstring>

namespace brevane {
namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kStartOfFrameBaseline = 0xC0;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kTemporary = 0x01;
constexpr std::uint8_t kFirstRestart = 0xD0;
constexpr std::uint8_t kLastRestart = 0xD7;
// FF, code and the 2-byte segment length.
constexpr std::size_t kSegmentHeaderBytes = 4;
// FF C0, segment length (2), precision (1), height (2), width (2), and one
// byte more: the size fields are read once this many bytes are at hand.
constexpr std::size_t kStartOfFrameBytes = 10;
// The segment length counts itself, precision, height and width at least.
constexpr std::size_t kStartOfFrameMinLength = 7;
constexpr BytePair kStartMarker{kMarkerPrefix, {kStartOfImage}, 1};
constexpr BytePair kStartOrEndMarker{kMarkerPrefix, {kStartOfImage, kEndOfImage}, 2};

}  // namespace

CJpegAssembler::CJpegAssembler(IJpegReceiver* receiver) : m_jpegReceiver(receiver) {}

void CJpegAssembler::Reset() {
    m_buffer.clear();
    m_phase = Phase::Outside;
    m_skip = 0;
    m_carryLength = 0;
}

void CJpegAssembler::GetSize(std::uint16_t& outWidth, std::uint16_t& outHeight) {
    CLockGuard guard(m_sizeLock);
    outWidth = width;
    outHeight = height;
}

void CJpegAssembler::StartPicture() {
    // Whatever was collected is dropped: a new picture begins here.
    m_buffer.clear();
    m_phase = Phase::Segments;
    m_skip = 0;
}

void CJpegAssembler::Feed(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size == 0) {
        return;
    }
    const ChunkView view(m_carry, m_carryLength, data, size);
    const std::size_t total = view.size();
    // While in a picture: the first position whose bytes are not yet in
    // m_buffer (carried bytes never are).
    std::size_t pictureFrom = 0;
    // The first position left unresolved for the next chunk.
    std::size_t resume = total;

    // The rest of a segment begun in an earlier chunk. Nothing is carried
    // then: the chunk ended inside the segment's contents.
    std::size_t pos = m_skip < total ? m_skip : total;
    m_skip -= pos;

    while (pos < total || m_phase == Phase::Segments) {
        if (m_phase == Phase::Segments) {
            pos = WalkSegments(view, pos, pictureFrom, resume);
            if (m_phase == Phase::Segments) {
                break;  // the walk goes on in the next chunk
            }
            continue;
        }
        // Between pictures only a start matters; in entropy-coded data an
        // FF is followed by 00, a restart code or a real marker, and only
        // the end (or a new start) matters.
        const BytePair& wanted = m_phase == Phase::Outside ? kStartMarker : kStartOrEndMarker;
        const std::size_t marker = view.FindPair(pos, wanted);
        if (marker == ChunkView::npos) {
            if (total > pos && view[total - 1] == kMarkerPrefix) {
                resume = total - 1;  // its code byte comes with the next chunk
            }
            break;
        }
        if (view[marker + 1] == kStartOfImage) {
            StartPicture();
            pictureFrom = marker;
        } else {
            FinishPicture(view, pictureFrom, marker + 2);
        }
        pos = marker + 2;
    }

    if (m_phase != Phase::Outside) {
        AppendPicture(view, pictureFrom, resume);
    }

    // Keep the unresolved tail. The view may read from m_carry itself, so
    // copy through a local array.
    std::uint8_t tail[kMaxCarry];
    const std::size_t tailLength = total - resume;
    view.CopyTo(tail, resume, total);
    std::memcpy(m_carry, tail, tailLength);
    m_carryLength = tailLength;
}

std::size_t CJpegAssembler::WalkSegments(const ChunkView& view, std::size_t pos, std::size_t& pictureFrom,
                                         std::size_t& resume) {
    const std::size_t total = view.size();
    while (pos < total) {
        if (view[pos] != kMarkerPrefix) {
            // Not a marker where one belongs: search the rest for the end.
            m_phase = Phase::EntropyData;
            return pos;
        }
        if (pos + 1 == total) {
            resume = pos;
            return total;
        }
        const std::uint8_t code = view[pos + 1];
        if (code == kMarkerPrefix) {
            ++pos;  // fill byte
            continue;
        }
        if (code == kStartOfImage) {
            StartPicture();
            pictureFrom = pos;
            pos += 2;
            continue;
        }
        if (code == kEndOfImage) {
            // A picture without a scan ends like any other.
            FinishPicture(view, pictureFrom, pos + 2);
            return pos + 2;
        }
        if (code == kTemporary || (code >= kFirstRestart && code <= kLastRestart)) {
            pos += 2;  // markers without a segment
            continue;
        }
        if (code == 0x00) {
            m_phase = Phase::EntropyData;  // stuffed byte: no marker at all
            return pos;
        }
        if (PassSegment(view, code, pos, resume)) {
            return pos;
        }
    }
    return pos;
}

bool CJpegAssembler::PassSegment(const ChunkView& view, std::uint8_t code, std::size_t& pos, std::size_t& resume) {
    const std::size_t total = view.size();
    const std::size_t headerBytes = code == kStartOfFrameBaseline ? kStartOfFrameBytes : kSegmentHeaderBytes;
    if (pos + headerBytes > total) {
        resume = pos;  // the header's rest comes with the next chunk
        pos = total;
        return true;
    }
    const std::size_t length = (static_cast<std::size_t>(view[pos + 2]) << 8) | view[pos + 3];
    if (length < 2) {
        m_phase = Phase::EntropyData;  // a length that cannot be
        return true;
    }
    if (code == kStartOfFrameBaseline && length >= kStartOfFrameMinLength) {
        const auto h = static_cast<std::uint16_t>((view[pos + 5] << 8) | view[pos + 6]);
        const auto w = static_cast<std::uint16_t>((view[pos + 7] << 8) | view[pos + 8]);
        CLockGuard guard(m_sizeLock);
        height = h;
        width = w;
    }
    // The segment's contents, whatever they hold, are passed over; after
    // start-of-scan's header the entropy-coded data follow.
    pos += 2;
    const std::size_t available = total - pos;
    if (length > available) {
        m_skip = length - available;
        pos = total;
    } else {
        pos += length;
    }
    if (code == kStartOfScan) {
        m_phase = Phase::EntropyData;
        return true;
    }
    return false;
}

bool CJpegAssembler::AppendPicture(const ChunkView& view, std::size_t from, std::size_t end) {
    if (end <= from) {
        return true;
    }
    if (m_buffer.size() + (end - from) > kMaxPictureSize) {
        DropPicture();
        return false;
    }
    ReserveWithin(m_buffer, m_buffer.size() + (end - from), kMaxPictureSize);
    view.AppendTo(m_buffer, from, end);
    return true;
}

void CJpegAssembler::FinishPicture(const ChunkView& view, std::size_t from, std::size_t end) {
    // A picture lying wholly in the new chunk goes out without a copy.
    const std::uint8_t* direct = m_buffer.empty() ? view.TailPointer(from, end) : nullptr;
    if (direct != nullptr && end - from <= kMaxPictureSize) {
        if (m_jpegReceiver != nullptr) {
            m_jpegReceiver->OnJpegFrame(direct, static_cast<std::uint32_t>(end - from));
        }
    } else if (AppendPicture(view, from, end)) {
        if (m_jpegReceiver != nullptr) {
            m_jpegReceiver->OnJpegFrame(m_buffer.data(), static_cast<std::uint32_t>(m_buffer.size()));
        }
    }
    m_buffer.clear();
    m_phase = Phase::Outside;
    m_skip = 0;
}

void CJpegAssembler::DropPicture() {
    ++m_droppedPictures;
    m_phase = Phase::Outside;
    m_skip = 0;
    // Give back the storage of the oversized picture.
    std::vector<std::uint8_t>().swap(m_buffer);
}

}  // namespace brevane
