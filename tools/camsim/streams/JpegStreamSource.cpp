#include "streams/JpegStreamSource.h"

#include <turbojpeg.h>

#include <string_view>

namespace darvik::camsim {
namespace {

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, std::size_t bytes) {
    for (std::size_t i = bytes; i-- > 0;) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

int JpegStreamSource::QualityForCode(int code) {
    switch (code) {
        case 0:
            return 90;
        case 1:
            return 75;
        case 2:
            return 50;
        default:
            return 0;
    }
}

JpegStreamSource::JpegStreamSource(PictureSize size, int quality, std::uint32_t framesPerSecond,
                                   const StreamFaults& faults, MicrosecondClock clock)
    : FramedStreamSource(faults, 1000000ull / (framesPerSecond == 0 ? 1 : framesPerSecond), std::move(clock)),
      m_size(size),
      m_quality(quality),
      m_pattern(size.width, size.height),
      m_picture(static_cast<std::size_t>(size.width) * size.height * 3 / 2),
      m_exif(faults.exifThumbnails) {}

JpegStreamSource::~JpegStreamSource() {
    if (m_jpeg != nullptr) {
        tjFree(m_jpeg);
    }
    if (m_encoder != nullptr) {
        tjDestroy(static_cast<tjhandle>(m_encoder));
    }
}

bool JpegStreamSource::Init(std::string* error) {
    m_encoder = tjInitCompress();
    if (m_encoder == nullptr) {
        *error = std::string("JPEG encoder: ") + tjGetErrorStr2(nullptr);
        return false;
    }
    m_jpegCapacity = tjBufSize(static_cast<int>(m_size.width), static_cast<int>(m_size.height), TJSAMP_420);
    m_jpeg = m_jpegCapacity == static_cast<unsigned long>(-1) ? nullptr : tjAlloc(static_cast<int>(m_jpegCapacity));
    if (m_jpeg == nullptr) {
        *error = "JPEG encoder: no memory for the output buffer";
        return false;
    }
    return !m_exif || MakeExifSegment(error);
}

bool JpegStreamSource::Encode(const YuvPlanes& planes, unsigned width, unsigned height, unsigned long& size) {
    const unsigned char* sources[3] = {planes.y, planes.u, planes.v};
    const int strides[3] = {static_cast<int>(planes.yStride), static_cast<int>(planes.uvStride),
                            static_cast<int>(planes.uvStride)};
    unsigned char* jpeg = m_jpeg;
    size = m_jpegCapacity;
    // The output buffer is sized for the worst case, so TurboJPEG never has to
    // reallocate it. No progressive or arithmetic flags: baseline pictures.
    return tjCompressFromYUVPlanes(static_cast<tjhandle>(m_encoder), sources, static_cast<int>(width), strides,
                                   static_cast<int>(height), TJSAMP_420, &jpeg, &size, m_quality,
                                   TJFLAG_NOREALLOC | TJFLAG_FASTDCT) == 0;
}

// APP1: "Exif\0\0", a big-endian TIFF header, an empty IFD0 and an IFD1 that
// points at the thumbnail JPEG, then the thumbnail itself (SOI ... EOI).
bool JpegStreamSource::MakeExifSegment(std::string* error) {
    TestPattern pattern(kThumbnailWidth, kThumbnailHeight);
    std::vector<std::uint8_t> pixels(kThumbnailWidth * kThumbnailHeight * 3 / 2);
    YuvPlanes planes;
    planes.y = pixels.data();
    planes.u = planes.y + kThumbnailWidth * kThumbnailHeight;
    planes.v = planes.u + kThumbnailWidth * kThumbnailHeight / 4;
    planes.yStride = kThumbnailWidth;
    planes.uvStride = kThumbnailWidth / 2;
    pattern.Render(0, planes);
    unsigned long thumbnailSize = 0;
    if (!Encode(planes, kThumbnailWidth, kThumbnailHeight, thumbnailSize)) {
        *error = std::string("JPEG encoder: ") + tjGetErrorStr2(static_cast<tjhandle>(m_encoder));
        return false;
    }

    constexpr std::uint32_t kIfd1Offset = 8 + 6;              // after the TIFF header and an empty IFD0
    constexpr std::uint32_t kThumbnailOffset = kIfd1Offset + 30;  // after IFD1's two entries
    std::vector<std::uint8_t> tiff = {'M', 'M', 0x00, 0x2A};
    PutBigEndian(tiff, 8, 4);            // IFD0
    PutBigEndian(tiff, 0, 2);            // no entries
    PutBigEndian(tiff, kIfd1Offset, 4);  // next: IFD1
    PutBigEndian(tiff, 2, 2);
    for (const auto& [tag, value] : {std::pair<std::uint32_t, std::uint32_t>{0x0201, kThumbnailOffset},
                                     {0x0202, static_cast<std::uint32_t>(thumbnailSize)}}) {
        PutBigEndian(tiff, tag, 2);
        PutBigEndian(tiff, 4, 2);  // LONG
        PutBigEndian(tiff, 1, 4);
        PutBigEndian(tiff, value, 4);
    }
    PutBigEndian(tiff, 0, 4);  // no IFD2

    const std::size_t length = 2 + 6 + tiff.size() + thumbnailSize;
    if (length > 0xFFFF) {
        *error = "JPEG encoder: the EXIF thumbnail does not fit a segment";
        return false;
    }
    m_exifSegment = {0xFF, 0xE1};
    PutBigEndian(m_exifSegment, static_cast<std::uint32_t>(length), 2);
    constexpr std::string_view kExif("Exif\0\0", 6);
    m_exifSegment.insert(m_exifSegment.end(), kExif.begin(), kExif.end());
    m_exifSegment.insert(m_exifSegment.end(), tiff.begin(), tiff.end());
    m_exifSegment.insert(m_exifSegment.end(), m_jpeg, m_jpeg + thumbnailSize);
    return true;
}

void JpegStreamSource::AppendFrameOpening(std::vector<std::uint8_t>& out) {
    const std::string head = std::string("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\n\r\n";
    out.insert(out.end(), head.begin(), head.end());
    out.push_back(0xFF);
    out.push_back(0xD8);
}

std::string JpegStreamSource::ContentType() const {
    return std::string("multipart/x-mixed-replace; boundary=") + kBoundary;
}

bool JpegStreamSource::AppendFrame(std::uint64_t frameIndex, std::vector<std::uint8_t>& out) {
    const std::size_t lumaSize = static_cast<std::size_t>(m_size.width) * m_size.height;
    YuvPlanes planes;
    planes.y = m_picture.data();
    planes.u = planes.y + lumaSize;
    planes.v = planes.u + lumaSize / 4;
    planes.yStride = m_size.width;
    planes.uvStride = m_size.width / 2;
    m_pattern.Render(frameIndex, planes);

    unsigned long jpegSize = 0;
    if (!Encode(planes, m_size.width, m_size.height, jpegSize) || jpegSize < 2) {
        return false;
    }

    const std::string head = std::string("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                             std::to_string(jpegSize + m_exifSegment.size()) + "\r\n\r\n";
    out.insert(out.end(), head.begin(), head.end());
    // The EXIF segment, when there is one, follows the start-of-image marker.
    out.insert(out.end(), m_jpeg, m_jpeg + 2);
    out.insert(out.end(), m_exifSegment.begin(), m_exifSegment.end());
    out.insert(out.end(), m_jpeg + 2, m_jpeg + jpegSize);
    out.push_back('\r');
    out.push_back('\n');
    return true;
}

}  // namespace darvik::camsim
