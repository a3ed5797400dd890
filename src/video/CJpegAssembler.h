// CJpegAssembler: cuts JPEG pictures out of a motion-JPEG byte stream that
// arrives in chunks of any size, by their start-of-image (FF D8) and
// end-of-image (FF D9) markers, and remembers the picture size from the last
// baseline start-of-frame segment (FF C0).
//
// Owned by the MJPEG channel and fed on its worker thread only; the picture
// size may be read from any thread (guarded by m_sizeLock). A marker split
// between two chunks is recognised: the last few bytes of a chunk that may
// begin a marker are carried to the next one. Bytes outside a picture (the
// multipart boundaries and part headers) are never kept or delivered. A
// picture growing past kMaxPictureSize without its end marker is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "thread/RecursiveLock.h"
#include "video/ChunkView.h"
#include "video/IJpegReceiver.h"

namespace brevane {

class CJpegAssembler {
   public:
    static constexpr std::size_t kMaxPictureSize = 32u * 1024u * 1024u;
    // The most bytes a chunk can leave unresolved: a start-of-frame marker
    // whose size fields have not arrived yet (FF C0 plus 7 bytes).
    static constexpr std::size_t kMaxCarry = 9;

    explicit CJpegAssembler(IJpegReceiver* receiver);
    CJpegAssembler(const CJpegAssembler&) = delete;
    CJpegAssembler& operator=(const CJpegAssembler&) = delete;

    // Scans one received chunk; complete pictures go to the receiver before
    // Feed returns.
    void Feed(const std::uint8_t* data, std::size_t size);

    // Forgets the picture in progress and any carried bytes, for a new
    // stream. Keeps the storage and the last picture size.
    void Reset();

    // Width and height from the last baseline start-of-frame segment; 0
    // until one was seen.
    void GetSize(std::uint16_t& outWidth, std::uint16_t& outHeight);

    // Pictures dropped for passing kMaxPictureSize.
    std::uint64_t DroppedPictures() const { return m_droppedPictures; }

   private:
    void FinishPicture(const ChunkView& view, std::size_t from, std::size_t end);
    bool AppendPicture(const ChunkView& view, std::size_t from, std::size_t end);
    void DropPicture();

    std::vector<std::uint8_t> m_buffer;  // picture in progress, from its FF D8 on
    CRecursiveLock m_sizeLock;
    std::uint16_t width GUARDED_BY(m_sizeLock) = 0;
    std::uint16_t height GUARDED_BY(m_sizeLock) = 0;
    IJpegReceiver* m_jpegReceiver;

    bool m_inPicture = false;  // an FF D8 was seen and its FF D9 not yet
    std::uint8_t m_carry[kMaxCarry] = {};
    std::size_t m_carryLength = 0;
    std::uint64_t m_droppedPictures = 0;
};

}  // namespace brevane
