#include "streams/JpegStreamSource.h"

#include <turbojpeg.h>

namespace darvik::camsim {

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
      m_picture(static_cast<std::size_t>(size.width) * size.height * 3 / 2) {}

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
    return true;
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

    const unsigned char* sources[3] = {planes.y, planes.u, planes.v};
    const int strides[3] = {static_cast<int>(planes.yStride), static_cast<int>(planes.uvStride),
                            static_cast<int>(planes.uvStride)};
    unsigned char* jpeg = m_jpeg;
    unsigned long jpegSize = m_jpegCapacity;
    // The output buffer is sized for the worst case, so TurboJPEG never has to
    // reallocate it. No progressive or arithmetic flags: baseline pictures.
    if (tjCompressFromYUVPlanes(static_cast<tjhandle>(m_encoder), sources, static_cast<int>(m_size.width), strides,
                                static_cast<int>(m_size.height), TJSAMP_420, &jpeg, &jpegSize, m_quality,
                                TJFLAG_NOREALLOC | TJFLAG_FASTDCT) != 0) {
        return false;
    }

    const std::string head = std::string("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                             std::to_string(jpegSize) + "\r\n\r\n";
    out.insert(out.end(), head.begin(), head.end());
    out.insert(out.end(), jpeg, jpeg + jpegSize);
    out.push_back('\r');
    out.push_back('\n');
    return true;
}

}  // namespace darvik::camsim
