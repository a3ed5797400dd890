// JpegStreamSource: the camera's JPEG stream ("jpgl", "jpgn", "jpgh"): an
// endless multipart/x-mixed-replace body whose parts are baseline JPEG
// pictures of the test pattern, encoded live with TurboJPEG; with the
// exifThumbnails fault each picture carries an APP1 EXIF segment holding a
// 160 x 128 thumbnail JPEG, as many real cameras send it.
//
// Owned by the server's connection thread that pulls its pieces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "streams/CameraTables.h"
#include "streams/FramedStreamSource.h"
#include "streams/TestPattern.h"

namespace darvik::camsim {

class JpegStreamSource final : public FramedStreamSource {
   public:
    // The boundary between the parts of the body.
    static constexpr const char* kBoundary = "darvik-camsim-frame";

    // TurboJPEG quality for a j_qual code (0 high, 1 medium, 2 low); 0 for an
    // unknown code.
    static int QualityForCode(int code);

    // quality: 1 to 100; framesPerSecond: at least 1.
    JpegStreamSource(PictureSize size, int quality, std::uint32_t framesPerSecond, const StreamFaults& faults,
                     MicrosecondClock clock);
    ~JpegStreamSource() override;

    JpegStreamSource(const JpegStreamSource&) = delete;
    JpegStreamSource& operator=(const JpegStreamSource&) = delete;

    // Width and height of the EXIF thumbnail.
    static constexpr unsigned kThumbnailWidth = 160;
    static constexpr unsigned kThumbnailHeight = 128;

    // Prepares the encoder (and the EXIF segment); false with a reason when
    // TurboJPEG fails.
    bool Init(std::string* error);

    std::string ContentType() const override;

   protected:
    bool AppendFrame(std::uint64_t frameIndex, std::vector<std::uint8_t>& out) override;
    // A part header without a length, and a start-of-image marker.
    void AppendFrameOpening(std::vector<std::uint8_t>& out) override;

   private:
    // Encodes planes of width x height into m_jpeg; false on failure.
    bool Encode(const YuvPlanes& planes, unsigned width, unsigned height, unsigned long& size);
    bool MakeExifSegment(std::string* error);
    PictureSize m_size;
    int m_quality;
    TestPattern m_pattern;
    std::vector<std::uint8_t> m_picture;  // Y, U and V planes, reused
    void* m_encoder = nullptr;            // tjhandle
    unsigned char* m_jpeg = nullptr;      // worst-case sized output buffer (tjAlloc)
    unsigned long m_jpegCapacity = 0;
    bool m_exif;
    std::vector<std::uint8_t> m_exifSegment;  // APP1 with the thumbnail; empty without the fault
};

}  // namespace darvik::camsim
