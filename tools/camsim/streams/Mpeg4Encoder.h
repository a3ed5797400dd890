// Mpeg4Encoder: libavcodec's MPEG-4 Part 2 encoder set up so that its video
// object planes decode with the driver's generated sequence header: simple
// profile tools only, time base 1/30000, no B-frames, H.263 quantisation, no
// resync markers, no data partitioning, progressive, no quarter-pel, no
// global motion compensation, a fixed quantiser and a key frame every
// keyFrameInterval frames. It returns video object planes (intra planes
// with their group-of-VOP header in front) and never a sequence header: those
// go to the codec's extradata.
//
// Owned and used by one thread (the stream source's).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "streams/TestPattern.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace darvik::camsim {

struct Mpeg4EncoderSettings {
    std::uint32_t width = 352;
    std::uint32_t height = 288;
    std::uint32_t ticksPerFrame = 1200;  // in 1/30000 s
    int quantiser = 8;                   // 2 (best) to 31
    std::uint32_t keyFrameInterval = 25; // at least 1
};

class Mpeg4Encoder {
   public:
    Mpeg4Encoder() = default;
    ~Mpeg4Encoder();
    Mpeg4Encoder(const Mpeg4Encoder&) = delete;
    Mpeg4Encoder& operator=(const Mpeg4Encoder&) = delete;

    // Opens the codec; false with a reason on failure.
    bool Open(const Mpeg4EncoderSettings& settings, std::string* error);

    // Encodes frame frameIndex (0, 1, ... in order), drawn into the encoder's
    // picture by render. On success vop holds the video object plane (after
    // a group-of-VOP header for intra planes) and keyFrame tells whether it
    // is intra coded.
    bool Encode(std::uint64_t frameIndex, const std::function<void(const YuvPlanes&)>& render,
                std::vector<std::uint8_t>& vop, bool& keyFrame);

    // The sequence headers the codec made (for tests that compare them with
    // the driver's own); empty before Open.
    std::vector<std::uint8_t> Extradata() const;

   private:
    Mpeg4EncoderSettings m_settings;
    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
};

}  // namespace darvik::camsim
