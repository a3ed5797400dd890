#include "bench_streams.h"

#include <turbojpeg.h>

#include <random>
#include <stdexcept>
#include <string>

namespace bench {

Bytes EncodeTestPicture(int width, int height, int frame, int quality) {
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    std::mt19937 noise(static_cast<unsigned>(frame));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            const int band = ((x + frame * 4) / 32 + y / 32) % 2;
            const int grain = static_cast<int>(noise() % 24);
            pixel[0] = static_cast<unsigned char>((band ? 200 : 40) + grain);
            pixel[1] = static_cast<unsigned char>((x * 255) / width);
            pixel[2] = static_cast<unsigned char>(((y + frame) * 255) / height);
        }
    }
    tjhandle handle = tjInitCompress();
    if (handle == nullptr) {
        throw std::runtime_error("tjInitCompress failed");
    }
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size,
                                   TJSAMP_420, quality, 0);
    if (result != 0) {
        tjDestroy(handle);
        throw std::runtime_error("tjCompress2 failed");
    }
    Bytes out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

Bytes MakeMjpegStream(int width, int height, int count) {
    Bytes stream;
    for (int frame = 0; frame < count; ++frame) {
        const Bytes picture = EncodeTestPicture(width, height, frame, 85);
        const std::string head = "--myboundary\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                 std::to_string(picture.size()) + "\r\n\r\n";
        stream.insert(stream.end(), head.begin(), head.end());
        stream.insert(stream.end(), picture.begin(), picture.end());
        stream.push_back('\r');
        stream.push_back('\n');
    }
    return stream;
}

Bytes MakeMpegStream(int count) {
    Bytes stream;
    std::mt19937 rng(7);
    for (int frame = 0; frame < count; ++frame) {
        const bool key = frame % 25 == 0;
        const std::size_t size = key ? 40000 + rng() % 8000 : 6000 + rng() % 4000;
        Bytes payload = {0x00, 0x00, 0x01, 0xB6, static_cast<std::uint8_t>(key ? 0x10 : 0x50)};
        while (payload.size() < size) {
            payload.push_back(static_cast<std::uint8_t>(rng()));
        }
        const std::string start = "[vgvdbs]";
        stream.insert(stream.end(), start.begin(), start.end());
        const auto length = static_cast<std::uint32_t>(payload.size());
        for (int i = 0; i < 4; ++i) {
            stream.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
        }
        stream.insert(stream.end(), 268, 0);
        stream.insert(stream.end(), payload.begin(), payload.end());
        const std::string end = "[vgvdbe]";
        stream.insert(stream.end(), end.begin(), end.end());
    }
    return stream;
}

}  // namespace bench
