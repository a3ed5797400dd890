// MpegStreamSource: the camera's live MPEG-4 stream ("liv"): an endless body
// of records, each "[vgvdbs]", the rest of a 280-byte header with the
// payload length at offset 8 (little-endian), one video object plane encoded
// live from the test pattern (a key frame with its group-of-VOP header in
// front), and "[vgvdbe]".
//
// Owned by the server's connection thread that pulls its pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "streams/CameraTables.h"
#include "streams/FramedStreamSource.h"
#include "streams/Mpeg4Encoder.h"
#include "streams/TestPattern.h"

namespace darvik::camsim {

class MpegStreamSource final : public FramedStreamSource {
   public:
    static constexpr std::size_t kHeaderSize = 280;
    static constexpr std::size_t kEndMarkerSize = 8;
    static constexpr std::size_t kLengthOffset = 8;

    // Fixed quantiser for an m_qual value (500 worst ... 2000 best; values
    // outside are clamped): 20 down to 2.
    static int QuantiserForQuality(int mpegQuality);

    MpegStreamSource(PictureSize size, FrameRate rate, int mpegQuality, std::uint32_t keyFrameInterval,
                     int resolutionCode, int frameRateCode, const StreamFaults& faults, MicrosecondClock clock);

    // Opens the encoder; false with a reason on failure.
    bool Init(std::string* error);

    std::string ContentType() const override { return "application/octet-stream"; }

    // The encoder's own sequence headers (tests compare them with the driver's).
    std::vector<std::uint8_t> EncoderExtradata() const { return m_encoder.Extradata(); }

   protected:
    bool AppendFrame(std::uint64_t frameIndex, std::vector<std::uint8_t>& out) override;
    // A record's header whose length field claims the never-ending frame's
    // filler (at most 4 GiB - 1).
    void AppendFrameOpening(std::vector<std::uint8_t>& out) override;

   private:
    PictureSize m_size;
    FrameRate m_rate;
    int m_quantiser;
    std::uint32_t m_keyFrameInterval;
    std::uint32_t m_wrongLengthEvery;
    std::uint8_t m_header[kHeaderSize] = {};  // constant part of every record header
    TestPattern m_pattern;
    Mpeg4Encoder m_encoder;
    std::vector<std::uint8_t> m_vop;  // reused between frames
    std::uint64_t m_unendedFrameBytes;
};

}  // namespace darvik::camsim
