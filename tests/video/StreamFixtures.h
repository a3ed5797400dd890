// Builders of synthetic camera streams for the video tests, fuzz seeds and
// benchmarks: JPEG-shaped pictures in multipart parts, and the camera's MPEG
// records around MPEG-4-shaped payloads. Plus a helper that cuts a byte
// stream into chunks.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace brevane::test {

using Bytes = std::vector<std::uint8_t>;

inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
inline void Append(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

// A picture shaped like a baseline JPEG: SOI, an APP0 segment, an SOF0
// segment carrying width and height, SOS, bodySize bytes of entropy-coded
// data (every 0xFF stuffed with 0x00, some restart markers) and EOI.
inline Bytes MakeJpeg(std::uint16_t width, std::uint16_t height, std::size_t bodySize,
                      std::uint32_t seed) {
    Bytes out = {0xFF, 0xD8,                                             // SOI
                 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01,
                 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00,               // APP0
                 0xFF, 0xC0, 0x00, 0x11, 0x08,                           // SOF0
                 static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                 static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width),
                 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01,
                 0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11,
                 0x00, 0x3F, 0x00};                                      // SOS
    std::mt19937 rng(seed);
    std::size_t written = 0;
    std::uint8_t restart = 0;
    while (written < bodySize) {
        const auto byte = static_cast<std::uint8_t>(rng());
        out.push_back(byte);
        ++written;
        if (byte == 0xFF) {
            out.push_back(0x00);
            ++written;
        } else if (byte == 0x42 && (rng() % 16) == 0) {
            out.push_back(0xFF);
            out.push_back(static_cast<std::uint8_t>(0xD0 + (restart++ & 7)));
            written += 2;
        }
    }
    out.push_back(0xFF);
    out.push_back(0xD9);  // EOI
    return out;
}

// makeJpeg's picture as a camera with EXIF sends it: after SOI a fill byte,
// an APP1 "Exif" segment holding a whole 160 x 128 thumbnail (its own SOI,
// SOF0 and EOI) and a comment whose text holds FF D8 and FF D9.
inline Bytes MakeExifJpeg(std::uint16_t width, std::uint16_t height, std::size_t bodySize,
                          std::uint32_t seed) {
    const Bytes picture = MakeJpeg(width, height, bodySize, seed);
    const Bytes thumbnail = MakeJpeg(160, 128, 300, seed + 1000);
    const Bytes comment = {'a', 0xFF, 0xD8, 'b', 0xFF, 0xD9};
    Bytes out = {0xFF, 0xD8, 0xFF};
    auto segment = [&out](std::uint8_t code, const Bytes& header, const Bytes& contents) {
        const std::size_t length = 2 + header.size() + contents.size();
        Append(out, Bytes{0xFF, code, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        Append(out, header);
        Append(out, contents);
    };
    segment(0xE1, Bytes{'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42}, thumbnail);
    segment(0xFE, Bytes{}, comment);
    out.insert(out.end(), picture.begin() + 2, picture.end());
    return out;
}

// One part of a multipart/x-mixed-replace response around a picture.
inline Bytes MultipartPart(const Bytes& picture) {
    Bytes out;
    Append(out, "--myboundary\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                    std::to_string(picture.size()) + "\r\n\r\n");
    Append(out, picture);
    Append(out, "\r\n");
    return out;
}

// An MPEG-4-shaped payload: a video object plane start code whose coding
// type says intra (key) or predicted, then pseudo-random bytes. A key frame
// begins with a short video object layer header, as the camera sends it.
inline Bytes MakeVopPayload(bool key, std::size_t size, std::uint32_t seed) {
    static constexpr std::uint8_t kVolHeader[] = {0x00, 0x00, 0x01, 0x20, 0x00, 0x86, 0xC5};
    static constexpr std::uint8_t kVop[] = {0x00, 0x00, 0x01, 0xB6};
    Bytes out;
    out.reserve(size + sizeof kVolHeader + sizeof kVop + 1);
    if (key) {
        for (std::uint8_t byte : kVolHeader) {
            out.push_back(byte);
        }
    }
    for (std::uint8_t byte : kVop) {
        out.push_back(byte);
    }
    out.push_back(key ? 0x10 : 0x50);  // top bits 00: intra; 01: predicted
    std::mt19937 rng(seed);
    while (out.size() < size) {
        out.push_back(static_cast<std::uint8_t>(rng()));
    }
    return out;
}

// A camera record around payload. The length field holds payload.size()
// unless lengthField is given.
inline Bytes MakeRecord(const Bytes& payload, std::int64_t lengthField = -1,
                        char sixth = 'b') {
    Bytes out;
    Append(out, std::string("[vgvd") + sixth + "s]");
    const auto length = static_cast<std::uint32_t>(lengthField < 0 ? payload.size() : lengthField);
    Bytes header(280 - 8, 0);
    header[0] = static_cast<std::uint8_t>(length);
    header[1] = static_cast<std::uint8_t>(length >> 8);
    header[2] = static_cast<std::uint8_t>(length >> 16);
    header[3] = static_cast<std::uint8_t>(length >> 24);
    for (std::size_t i = 4; i < header.size(); ++i) {
        header[i] = static_cast<std::uint8_t>(i * 7);
    }
    Append(out, header);
    Append(out, payload);
    Append(out, std::string("[vgvd") + sixth + "e]");
    return out;
}

// Calls feed with consecutive pieces of data whose sizes cycle through
// sizes.
inline void FeedInChunks(const Bytes& data, const std::vector<std::size_t>& sizes,
                         const std::function<void(const std::uint8_t*, std::size_t)>& feed) {
    std::size_t pos = 0;
    std::size_t next = 0;
    while (pos < data.size()) {
        std::size_t size = sizes.empty() ? data.size() : sizes[next++ % sizes.size()];
        size = std::min(size == 0 ? 1 : size, data.size() - pos);
        feed(data.data() + pos, size);
        pos += size;
    }
}

// Random chunk sizes from 1 to maxSize.
inline std::vector<std::size_t> RandomChunkSizes(std::uint32_t seed, std::size_t count,
                                                 std::size_t maxSize) {
    std::mt19937 rng(seed);
    std::vector<std::size_t> sizes(count);
    for (auto& size : sizes) {
        size = 1 + rng() % maxSize;
    }
    return sizes;
}

}  // namespace brevane::test
