// Helpers for the stream tests: draining a source, taking its body apart
// (multipart parts, camera records), decoding JPEG and MPEG-4, a
// hand-driven clock and a reader of MPEG-4 header bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "streams/FramedStreamSource.h"
#include "streams/StreamSource.h"

namespace brevane::test {

struct Drained {
    std::vector<darvik::camsim::StreamPiece> pieces;
    std::vector<std::uint8_t> body;  // every piece's bytes in order
    bool ended = false;
    bool stalled = false;
};

// Pulls pieces until one says end or stall, or maxPieces were taken.
Drained Drain(darvik::camsim::StreamSource& source, std::size_t maxPieces = 100000);

// A source for the settings with the given clock; fails the test when none
// can be made.
std::unique_ptr<darvik::camsim::StreamSource> MakeSource(const darvik::camsim::StreamSettings& settings,
                                                        darvik::camsim::MicrosecondClock clock = nullptr);

struct Part {
    std::string headers;              // the part's header lines
    std::vector<std::uint8_t> jpeg;   // Content-Length bytes after the headers
    std::vector<std::uint8_t> junkBefore;  // bytes between the previous part and this one
};

// Splits a multipart body at "--boundary" lines; a part whose headers or
// length are broken ends the list with an empty part.
std::vector<Part> SplitMultipart(const std::vector<std::uint8_t>& body, const std::string& boundary);

struct Record {
    std::vector<std::uint8_t> header;   // the 280 header bytes
    std::uint32_t lengthField = 0;      // the little-endian length at offset 8
    std::vector<std::uint8_t> payload;  // bytes between the header and the end marker
    std::vector<std::uint8_t> junkBefore;  // bytes between the previous record and this one
};

// Splits a stream of records at their markers; an incomplete record at the
// end is left out.
std::vector<Record> SplitRecords(const std::vector<std::uint8_t>& body);

struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> luma;
    std::optional<std::uint32_t> FrameNumber() const;
};

// Decodes a JPEG to grey with libjpeg-turbo; nothing when it fails.
std::optional<GreyPicture> DecodeJpeg(const std::vector<std::uint8_t>& jpeg);

// Width and height from the first baseline start-of-frame segment (0xFFC0);
// nothing when there is none.
std::optional<std::pair<int, int>> BaselineSize(const std::vector<std::uint8_t>& jpeg);

// Decodes MPEG-4 packets as a host would receive them, in order. Any error
// or warning the decoder reports is kept in messages.
struct Mpeg4DecodeResult {
    std::vector<GreyPicture> pictures;
    std::vector<std::string> messages;
    int failedCalls = 0;
};
Mpeg4DecodeResult DecodeMpeg4(const std::vector<std::vector<std::uint8_t>>& packets);

// A clock the test moves by hand.
class ManualClock {
   public:
    std::uint64_t now = 1000000;
    darvik::camsim::MicrosecondClock Function() {
        return [this] { return now; };
    }
};

// Reads MPEG-4 header bits, most significant first.
class BitReader {
   public:
    BitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint32_t Read(int bits);
    bool Exhausted() const { return m_position > m_size * 8; }

   private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

// What the headers of a record's payload say: an optional group-of-VOP
// header, then the video object plane's header.
struct VopHeader {
    std::optional<std::uint32_t> groupSeconds;  // the group-of-VOP time code in seconds
    int codingType = -1;          // 0 intra, 1 predicted, 2 bidirectional
    std::uint32_t seconds = 0;    // modulo_time_base: whole seconds since the previous plane
    std::uint32_t increment = 0;  // vop_time_increment (15 bits for resolution 30000)
    int quantiser = 0;
};
// Parses a payload that starts with 00 00 01 B3 or 00 00 01 B6; nothing
// when it doesn't.
std::optional<VopHeader> ParseVopHeader(const std::vector<std::uint8_t>& vop);

}  // namespace brevane::test
