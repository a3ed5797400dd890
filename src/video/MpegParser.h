// CMpegParser: reassembles the camera's live MPEG stream records from chunks
// of any size and hands each frame's MPEG-4 payload to its client.
//
// A record is "[vgvdbs]", a 280-byte header with the payload length L
// (little-endian, offset 8), L payload bytes and "[vgvdbe]"; it is valid when
// it is exactly L + 288 bytes long. After any damage (a record of the wrong
// size, a record cut short by the next start marker, an end marker without a
// start, an oversized record, a frame the client refused) the parser drops
// frames until the next key frame, so the client never gets a frame that
// depends on a lost one.
//
// A marker split between two chunks is recognised: the last few bytes of a
// chunk that may begin a marker are carried to the next one. A record growing
// past kMaxRecordSize without its end marker is dropped; the storage of the
// record in progress never exceeds kMaxRecordSize. Owned by one channel
// worker and used on that thread only; no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "video/ChunkView.h"
#include "video/IMpegParserClient.h"

namespace brevane {

class CMpegParser {
   public:
    static constexpr std::size_t kHeaderSize = 280;
    static constexpr std::size_t kMarkerSize = 8;
    static constexpr std::size_t kMaxRecordSize = 8u * 1024u * 1024u;

    explicit CMpegParser(IMpegParserClient* client);
    virtual ~CMpegParser() = default;
    CMpegParser(const CMpegParser&) = delete;
    CMpegParser& operator=(const CMpegParser&) = delete;

    // Processes one received chunk; frames go to the client before Feed
    // returns.
    void Feed(const std::uint8_t* data, std::size_t size);

    bool IsWaitingForKeyFrame() const { return m_waitKeyFrame; }
    // Records dropped for passing kMaxRecordSize.
    std::uint64_t DroppedRecords() const { return m_droppedRecords; }
    // Bytes of storage held for the record in progress.
    std::size_t BufferCapacity() const { return m_buffer.capacity(); }

   private:
    void FinishRecord(const ChunkView& view, std::size_t from, std::size_t end);
    bool AppendRecord(const ChunkView& view, std::size_t from, std::size_t end);
    void DropRecord();
    void HandFrame(const std::uint8_t* payload, std::uint32_t size);

    IMpegParserClient* m_parserClient;
    std::vector<std::uint8_t> m_buffer;  // record in progress, from its start marker on
    bool m_waitKeyFrame = true;

    bool m_inRecord = false;  // a start marker was seen and its end marker not yet
    std::uint8_t m_carry[kMarkerSize - 1] = {};
    std::size_t m_carryLength = 0;
    std::uint64_t m_droppedRecords = 0;
};

}  // namespace brevane
