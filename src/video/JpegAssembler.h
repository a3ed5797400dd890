// CJpegAssembler: cuts JPEG pictures out of a motion-JPEG byte stream that
// arrives in chunks of any size, and remembers the picture size from the
// baseline start-of-frame segment (FF C0) of the last picture that had one.
//
// A picture begins at its start-of-image marker (FF D8). From there the
// marker segments up to start-of-scan are walked by their length fields, so
// whatever a segment carries (an EXIF thumbnail in APP1 is a whole JPEG with
// its own FF D8 ... FF D9 and FF C0) is passed over; the entropy-coded data
// after start-of-scan is then searched for the end-of-image marker (FF D9).
// A segment length below 2, or a byte other than FF where a marker belongs,
// ends the walk early and the rest is searched for FF D9 alone.
//
// Owned by the MJPEG channel and fed on its worker thread only; the picture
// size may be read from any thread (guarded by m_sizeLock). Markers and
// segment headers split between two chunks are recognised: the last few
// bytes of a chunk that may begin one are carried to the next, and a segment
// whose contents run past a chunk is skipped on into the next ones. Bytes
// outside a picture (the multipart boundaries and part headers) are never
// kept or delivered. A picture growing past kMaxPictureSize without its end
// marker is dropped; the storage of the picture in progress never exceeds
// kMaxPictureSize.
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
    static constexpr std::size_t kMaxPictureSize = 8u * 1024u * 1024u;
    // The most bytes a chunk can leave unresolved: a start-of-frame segment
    // header whose size fields have not arrived yet (FF C0 plus 7 bytes).
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

    // Bytes of storage held for the picture in progress.
    std::size_t BufferCapacity() const { return m_buffer.capacity(); }

   private:
    // Where the scan stands: between pictures, walking a picture's marker
    // segments, or in its entropy-coded data (looking for its end).
    enum class Phase { Outside, Segments, EntropyData };

    // Walks marker segments from pos; returns where the walk stopped, with
    // m_phase, m_skip and resume updated. pictureFrom moves when a new
    // picture starts.
    std::size_t WalkSegments(const ChunkView& view, std::size_t pos, std::size_t& pictureFrom,
                             std::size_t& resume);
    // The segment with a length whose marker (code) stands at pos: takes the
    // size from a baseline start-of-frame and passes over the contents,
    // moving pos. True when the walk stops there (at pos).
    bool PassSegment(const ChunkView& view, std::uint8_t code, std::size_t& pos, std::size_t& resume);
    void StartPicture();
    void FinishPicture(const ChunkView& view, std::size_t from, std::size_t end);
    bool AppendPicture(const ChunkView& view, std::size_t from, std::size_t end);
    void DropPicture();

    std::vector<std::uint8_t> m_buffer;  // picture in progress, from its FF D8 on
    CRecursiveLock m_sizeLock;
    std::uint16_t width GUARDED_BY(m_sizeLock) = 0;
    std::uint16_t height GUARDED_BY(m_sizeLock) = 0;
    IJpegReceiver* m_jpegReceiver;

    Phase m_phase = Phase::Outside;  // Segments and EntropyData: an FF D8 was seen and its FF D9 not yet
    std::size_t m_skip = 0;          // segment bytes still to pass over in the coming chunks
    std::uint8_t m_carry[kMaxCarry] = {};
    std::size_t m_carryLength = 0;
    std::uint64_t m_droppedPictures = 0;
};

}  // namespace brevane
