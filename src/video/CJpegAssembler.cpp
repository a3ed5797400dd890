#include "video/CJpegAssembler.h"

#include <cstring>

namespace brevane {
namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kStartOfFrameBaseline = 0xC0;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
// FF C0, segment length (2), precision (1), height (2), width (2), and one
// byte more: the size fields are read once this many bytes are at hand.
constexpr std::size_t kStartOfFrameBytes = 10;
constexpr BytePair kMarkersActedOn{kMarkerPrefix, {kStartOfFrameBaseline, kStartOfImage, kEndOfImage}, 3};

}  // namespace

CJpegAssembler::CJpegAssembler(IJpegReceiver* receiver) : m_jpegReceiver(receiver) {}

void CJpegAssembler::Reset() {
    m_buffer.clear();
    m_inPicture = false;
    m_carryLength = 0;
}

void CJpegAssembler::GetSize(std::uint16_t& outWidth, std::uint16_t& outHeight) {
    CLockGuard guard(m_sizeLock);
    outWidth = width;
    outHeight = height;
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

    std::size_t pos = 0;
    for (;;) {
        // Only these three codes matter; every other 0xFF is passed over.
        const std::size_t marker = view.FindPair(pos, kMarkersActedOn);
        if (marker == ChunkView::npos) {
            if (total > pos && view[total - 1] == kMarkerPrefix) {
                resume = total - 1;  // its code byte comes with the next chunk
            }
            break;
        }
        const std::uint8_t code = view[marker + 1];
        if (code == kStartOfFrameBaseline) {
            if (marker + kStartOfFrameBytes > total) {
                resume = marker;  // size fields still to come
                break;
            }
            const auto h = static_cast<std::uint16_t>((view[marker + 5] << 8) | view[marker + 6]);
            const auto w = static_cast<std::uint16_t>((view[marker + 7] << 8) | view[marker + 8]);
            CLockGuard guard(m_sizeLock);
            height = h;
            width = w;
        } else if (code == kStartOfImage) {
            // Whatever was collected is dropped: a new picture begins here.
            m_buffer.clear();
            m_inPicture = true;
            pictureFrom = marker;
        } else if (m_inPicture) {  // end of image
            FinishPicture(view, pictureFrom, marker + 2);
        }
        // Go on at the byte after the 0xFF (fill bytes: FF FF D8).
        pos = marker + 1;
    }

    if (m_inPicture) {
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

bool CJpegAssembler::AppendPicture(const ChunkView& view, std::size_t from, std::size_t end) {
    if (end <= from) {
        return true;
    }
    if (m_buffer.size() + (end - from) > kMaxPictureSize) {
        DropPicture();
        return false;
    }
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
    m_inPicture = false;
}

void CJpegAssembler::DropPicture() {
    ++m_droppedPictures;
    m_inPicture = false;
    // Give back the storage of the oversized picture.
    std::vector<std::uint8_t>().swap(m_buffer);
}

}  // namespace brevane
