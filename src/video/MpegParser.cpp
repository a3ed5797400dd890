#include "video/MpegParser.h"

#include <algorithm>
#include <cstring>

namespace brevane {
namespace {

// "[vgvd" opens every marker; the sixth byte is not examined, the seventh
// tells the kind and the eighth closes it.
constexpr char kMarkerOpening[] = "[vgvd";
constexpr std::size_t kMarkerOpeningLength = sizeof(kMarkerOpening) - 1;
constexpr std::uint8_t kStartKind = 's';
constexpr std::uint8_t kEndKind = 'e';
constexpr std::uint8_t kMarkerClose = ']';
constexpr std::size_t kMarkerSize = CMpegParser::kMarkerSize;

constexpr BytePair kMarkerFirstBytes{'[', {'v'}, 1};

// True when the bytes from pos to the end of the view (at most eight) agree
// with a start or end marker.
bool CouldBeMarker(const ChunkView& view, std::size_t pos) {
    const std::size_t available = view.size() - pos;
    for (std::size_t i = 0; i < kMarkerSize && i < available; ++i) {
        const std::uint8_t byte = view[pos + i];
        if (i < kMarkerOpeningLength) {
            if (byte != static_cast<std::uint8_t>(kMarkerOpening[i])) {
                return false;
            }
        } else if (i == 6) {
            if (byte != kStartKind && byte != kEndKind) {
                return false;
            }
        } else if (i == 7 && byte != kMarkerClose) {
            return false;
        }
    }
    return true;
}

// Video object plane start code.
constexpr std::uint8_t kVopStartCode[] = {0x00, 0x00, 0x01, 0xB6};

std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// True when the payload's first video object plane is intra-coded: the two
// most significant bits of the byte after its start code are 0.
bool IsKeyFrame(const std::uint8_t* payload, std::size_t size) {
    if (size < sizeof(kVopStartCode)) {
        return false;
    }
    const std::uint8_t* end = payload + size;
    const std::uint8_t* hit = std::search(payload, end, std::begin(kVopStartCode), std::end(kVopStartCode));
    if (hit == end) {
        return false;
    }
    const std::size_t codingType = static_cast<std::size_t>(hit - payload) + sizeof(kVopStartCode);
    return codingType < size && (payload[codingType] & 0xC0) == 0;
}

}  // namespace

CMpegParser::CMpegParser(IMpegParserClient* client) : m_parserClient(client) {}

void CMpegParser::Feed(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size == 0) {
        return;
    }
    const ChunkView view(m_carry, m_carryLength, data, size);
    const std::size_t total = view.size();
    // While in a record: the first position whose bytes are not yet in
    // m_buffer (carried bytes never are).
    std::size_t recordFrom = 0;
    // The first position left unresolved for the next chunk.
    std::size_t resume = total;

    std::size_t pos = 0;
    for (;;) {
        const std::size_t marker = view.FindPair(pos, kMarkerFirstBytes);
        if (marker == ChunkView::npos) {
            if (total > pos && view[total - 1] == kMarkerOpening[0]) {
                resume = total - 1;  // a marker may begin with the last byte
            }
            break;
        }
        if (!CouldBeMarker(view, marker)) {
            // Ordinary bytes: keep scanning.
            pos = marker + 1;
            continue;
        }
        if (marker + kMarkerSize > total) {
            resume = marker;  // the next chunk tells
            break;
        }
        const std::uint8_t kind = view[marker + 6];
        if (kind == kStartKind) {
            if (m_inRecord) {
                // The previous record lost its end marker: its frame is gone.
                m_waitKeyFrame = true;
            }
            m_buffer.clear();
            m_inRecord = true;
            recordFrom = marker;
        } else if (m_inRecord) {
            FinishRecord(view, recordFrom, marker + kMarkerSize);
        } else {
            // An end marker whose record was never seen start.
            m_waitKeyFrame = true;
        }
        pos = marker + kMarkerSize;
    }

    if (m_inRecord) {
        AppendRecord(view, recordFrom, resume);
    }

    // Keep the unresolved tail. The view may read from m_carry itself, so
    // copy through a local array.
    std::uint8_t tail[sizeof(m_carry)];
    const std::size_t tailLength = total - resume;
    view.CopyTo(tail, resume, total);
    std::memcpy(m_carry, tail, tailLength);
    m_carryLength = tailLength;
}

bool CMpegParser::AppendRecord(const ChunkView& view, std::size_t from, std::size_t end) {
    if (end <= from) {
        return true;
    }
    if (m_buffer.size() + (end - from) > kMaxRecordSize) {
        DropRecord();
        return false;
    }
    ReserveWithin(m_buffer, m_buffer.size() + (end - from), kMaxRecordSize);
    view.AppendTo(m_buffer, from, end);
    return true;
}

void CMpegParser::DropRecord() {
    ++m_droppedRecords;
    m_inRecord = false;
    m_waitKeyFrame = true;
    // Give back the storage of the oversized record.
    std::vector<std::uint8_t>().swap(m_buffer);
}

void CMpegParser::FinishRecord(const ChunkView& view, std::size_t from, std::size_t end) {
    m_inRecord = false;
    // A record lying wholly in the new chunk is read in place.
    const std::uint8_t* record = m_buffer.empty() ? view.TailPointer(from, end) : nullptr;
    std::size_t recordSize = end - from;
    if (record == nullptr || recordSize > kMaxRecordSize) {
        if (!AppendRecord(view, from, end)) {
            return;
        }
        record = m_buffer.data();
        recordSize = m_buffer.size();
    }
    // A record holds at least its two markers, so the length field at
    // offsets 8 to 11 is always inside it. The sum is formed in 64 bits so a
    // length near 4 GiB cannot wrap around to a short record's size.
    const std::uint32_t payloadSize = ReadLittleEndian32(record + kMarkerSize);
    const std::uint64_t expected =
        static_cast<std::uint64_t>(payloadSize) + kHeaderSize + kMarkerSize;
    if (recordSize == expected) {
        HandFrame(record + kHeaderSize, payloadSize);
    } else {
        m_waitKeyFrame = true;
    }
    m_buffer.clear();
}

void CMpegParser::HandFrame(const std::uint8_t* payload, std::uint32_t size) {
    const bool keyFrame = IsKeyFrame(payload, size);
    if (keyFrame) {
        m_waitKeyFrame = false;
    }
    if (!m_waitKeyFrame && m_parserClient != nullptr) {
        m_waitKeyFrame = !m_parserClient->OnMpegFrame(payload, size, keyFrame);
    }
}

}  // namespace brevane
