#include "streams/MpegStreamSource.h"

#include <algorithm>
#include <cstring>

namespace darvik::camsim {
namespace {

constexpr char kStartMarker[] = "[vgvdbs]";
constexpr char kEndMarker[] = "[vgvdbe]";

void PutLittleEndian16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

int MpegStreamSource::QuantiserForQuality(int mpegQuality) {
    const int quality = std::clamp(mpegQuality, 500, 2000);
    return 2 + ((2000 - quality) * 18 + 750) / 1500;
}

MpegStreamSource::MpegStreamSource(PictureSize size, FrameRate rate, int mpegQuality, std::uint32_t keyFrameInterval,
                                   int resolutionCode, int frameRateCode, const StreamFaults& faults,
                                   MicrosecondClock clock)
    : FramedStreamSource(faults, rate.IntervalMicroseconds(), std::move(clock)),
      m_size(size),
      m_rate(rate),
      m_quantiser(QuantiserForQuality(mpegQuality)),
      m_keyFrameInterval(keyFrameInterval),
      m_wrongLengthEvery(faults.wrongLengthEvery),
      m_pattern(size.width, size.height),
      m_unendedFrameBytes(faults.unendedFrameBytes) {
    // The header fields after the length describe the stream and stay the
    // same for every record: picture size, the two codes, the quantiser. The
    // rest is zero, so no header can contain a marker.
    std::memcpy(m_header, kStartMarker, 8);
    PutLittleEndian16(m_header + 12, size.width);
    PutLittleEndian16(m_header + 14, size.height);
    m_header[16] = static_cast<std::uint8_t>(resolutionCode);
    m_header[17] = static_cast<std::uint8_t>(frameRateCode);
    m_header[18] = static_cast<std::uint8_t>(m_quantiser);
    m_header[19] = 4;  // MPEG-4 Part 2
}

bool MpegStreamSource::Init(std::string* error) {
    Mpeg4EncoderSettings settings;
    settings.width = m_size.width;
    settings.height = m_size.height;
    settings.ticksPerFrame = m_rate.IntervalTicks();
    settings.quantiser = m_quantiser;
    settings.keyFrameInterval = m_keyFrameInterval;
    return m_encoder.Open(settings, error);
}

bool MpegStreamSource::AppendFrame(std::uint64_t frameIndex, std::vector<std::uint8_t>& out) {
    bool keyFrame = false;
    if (!m_encoder.Encode(
            frameIndex, [&](const YuvPlanes& planes) { m_pattern.Render(frameIndex, planes); }, m_vop, keyFrame)) {
        return false;
    }
    std::uint32_t length = static_cast<std::uint32_t>(m_vop.size());
    // Records 1 ... count from one: every Nth one claims a byte too many.
    if (m_wrongLengthEvery != 0 && (frameIndex + 1) % m_wrongLengthEvery == 0) {
        length += 1;
    }
    const std::size_t at = out.size();
    out.resize(at + kHeaderSize + m_vop.size() + kEndMarkerSize);
    std::uint8_t* record = out.data() + at;
    std::memcpy(record, m_header, kHeaderSize);
    record[kLengthOffset + 0] = static_cast<std::uint8_t>(length);
    record[kLengthOffset + 1] = static_cast<std::uint8_t>(length >> 8);
    record[kLengthOffset + 2] = static_cast<std::uint8_t>(length >> 16);
    record[kLengthOffset + 3] = static_cast<std::uint8_t>(length >> 24);
    std::memcpy(record + kHeaderSize, m_vop.data(), m_vop.size());
    std::memcpy(record + kHeaderSize + m_vop.size(), kEndMarker, kEndMarkerSize);
    return true;
}

void MpegStreamSource::AppendFrameOpening(std::vector<std::uint8_t>& out) {
    const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_unendedFrameBytes, 0xFFFFFFFFu));
    const std::size_t at = out.size();
    out.insert(out.end(), m_header, m_header + kHeaderSize);
    for (std::size_t i = 0; i < 4; ++i) {
        out[at + kLengthOffset + i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
}

}  // namespace darvik::camsim
