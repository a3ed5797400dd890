// StreamSource: produces the body of one endless camera stream response
// (the multipart JPEG streams "jpgl", "jpgn", "jpgh" and the MPEG-4 record
// stream "liv"), piece by piece, with the stream faults the simulator was
// told to inject.
//
// The simulator's HTTP server creates one source per stream request and
// pulls pieces from it on that connection's thread; a source is used by one
// thread only. The source does no I/O and never sleeps: it tells the server
// how long to wait before sending each piece, so the server can end any wait
// at once when it stops.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace darvik::camsim {

// Faults injected into a stream.
struct StreamFaults {
    std::uint32_t stallAfterFrames = 0;    // after N frames send nothing more, keep the connection (0: never)
    std::uint32_t closeAfterFrames = 0;    // end the response after N frames (0: never)
    std::uint64_t closeAfterBytes = 0;     // end the response after N bytes (0: never)
    std::vector<std::uint32_t> chunkSizes; // write in pieces of these sizes, cycling (empty: one piece per frame)
    bool garbageBetweenFrames = false;     // junk bytes between multipart parts or between records
    std::uint32_t wrongLengthEvery = 0;    // every Nth MPEG record carries a wrong length field (0: never)
    std::uint32_t refuseFirstConnections = 0;  // handled by the server: the first N stream requests are refused
    bool exifThumbnails = false;           // JPEG pictures carry an APP1 EXIF segment with a 160 x 128 thumbnail JPEG
    // The stream opens with a frame that never ends: a JPEG start-of-image
    // (an MPEG record's start marker and header) followed by N filler bytes
    // without the frame's end, made while sent; the ordinary frames follow
    // (0: none; the largest value: the frame goes on for ever).
    std::uint64_t unendedFrameBytes = 0;
};

// What the camera is set to when the stream starts.
struct StreamSettings {
    std::string group;                     // "jpgl", "jpgn", "jpgh" or "liv"
    bool ntsc = false;                     // picture heights and frame rates of the NTSC family
    int jpegQualityCode = 0;               // j_qual: 0 high, 1 medium, 2 low
    std::uint32_t jpegFramesPerSecond = 10;
    int mpegResolutionCode = 2;            // applied m_resl
    int mpegFrameRateCode = 1;             // applied m_fram
    int mpegQuality = 1250;                // applied m_qual (500 ... 2000)
    std::uint32_t keyFrameInterval = 25;   // MPEG-4: a key frame every N frames
    bool unpaced = false;                  // send each frame as soon as the reader takes the previous one
    StreamFaults faults;
};

struct StreamPiece {
    std::vector<std::uint8_t> bytes;
    std::uint32_t delayMs = 0;    // wait this long before sending the bytes
    bool stall = false;           // send nothing more; keep the connection open until the server stops
    bool end = false;             // end the response after these bytes
    bool reset = false;           // abort the connection with a TCP reset after these bytes
};

class StreamSource {
   public:
    virtual ~StreamSource() = default;
    virtual std::string ContentType() const = 0;
    // The next piece of the body. Called again after each piece until a
    // piece says stall or end.
    virtual StreamPiece Next() = 0;
    // Frames produced so far (for the control interface and tests).
    virtual std::uint64_t FramesProduced() const = 0;
};

// A source for the settings, or null with a reason in *error (unknown group,
// resolution or frame-rate code without a table entry, encoder failure).
std::unique_ptr<StreamSource> CreateStreamSource(const StreamSettings& settings, std::string* error);

}  // namespace darvik::camsim
