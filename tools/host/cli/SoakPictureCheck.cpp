#include "cli/SoakPictureCheck.h"

#if DARVIK_SOAK_DECODES
#include <turbojpeg.h>
#endif

namespace darvik::cli {

namespace {

bool IsStartOfFrame(std::uint8_t marker) {
    // C0-CF less DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsRestart(std::uint8_t marker) { return marker >= 0xD0 && marker <= 0xD7; }

std::uint32_t Be16(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<std::uint32_t>(data[at] << 8 | data[at + 1]);
}

}  // namespace

bool JpegStructureIsWhole(std::span<const std::uint8_t> data, std::uint32_t width, std::uint32_t height) {
    const std::size_t n = data.size();
    if (n < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[n - 2] != 0xFF || data[n - 1] != 0xD9) {
        return false;
    }
    const std::size_t end = n - 2;  // the end-of-image marker
    bool sized = false;
    std::size_t i = 2;
    // Marker segments up to the start of scan.
    for (;;) {
        if (i + 4 > end || data[i] != 0xFF) {
            return false;
        }
        const std::uint8_t marker = data[i + 1];
        if (marker == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        if (marker == 0xD8 || marker == 0xD9 || marker == 0x00 || IsRestart(marker)) {
            return false;
        }
        const std::size_t length = Be16(data, i + 2);
        if (length < 2 || i + 2 + length > end) {
            return false;
        }
        if (IsStartOfFrame(marker)) {
            if (length < 8 || sized || Be16(data, i + 5) != height || Be16(data, i + 7) != width) {
                return false;
            }
            sized = true;
        }
        i += 2 + length;
        if (marker == 0xDA) {
            break;
        }
    }
    if (!sized || i == end) {
        return false;
    }
    // The entropy-coded scan: 0xFF only as a stuffed FF 00, a restart or fill.
    for (; i < end; ++i) {
        if (data[i] != 0xFF) {
            continue;
        }
        const std::uint8_t next = i + 1 < end ? data[i + 1] : 0xD9;
        if (next == 0xD9) {
            return false;  // an end of image before the last two bytes
        }
        if (next != 0x00 && next != 0xFF && !IsRestart(next)) {
            return false;
        }
        if (next != 0xFF) {
            ++i;
        }
    }
    return true;
}

PictureCheck::PictureCheck(bool jpeg, std::uint32_t width, std::uint32_t height)
    : m_jpeg(jpeg), m_width(width), m_height(height) {
#if DARVIK_SOAK_DECODES
    if (jpeg) {
        m_decoder = tjInitDecompress();
    }
#endif
}

PictureCheck::~PictureCheck() {
#if DARVIK_SOAK_DECODES
    if (m_decoder != nullptr) {
        tjDestroy(m_decoder);
    }
#endif
}

bool PictureCheck::Decodes() { return DARVIK_SOAK_DECODES != 0; }

void PictureCheck::Check(std::span<const std::uint8_t> data) {
    (Whole(data) ? m_whole : m_damaged).fetch_add(1);
    Clock::rep none = 0;
    m_firstSinceMark.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
}

bool PictureCheck::Whole(std::span<const std::uint8_t> data) {
    if (!m_jpeg) {
        // An MPEG-4 record begins with a start code.
        return data.size() > 4 && data[0] == 0 && data[1] == 0 && data[2] == 1;
    }
    if (!JpegStructureIsWhole(data, m_width, m_height)) {
        return false;
    }
#if DARVIK_SOAK_DECODES
    const auto n = static_cast<unsigned long>(data.size());
    auto* bytes = const_cast<unsigned char*>(data.data());
    const int width = static_cast<int>(m_width);
    const int height = static_cast<int>(m_height);
    m_pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    return tjDecompress2(m_decoder, bytes, n, m_pixels.data(), width, 0, height, TJPF_GRAY, TJFLAG_STOPONWARNING) ==
           0;
#else
    return true;
#endif
}

}  // namespace darvik::cli
