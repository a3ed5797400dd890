// Stream settings of the reference host: what a host hands to
// IIPVideoCapture::StartChannel (video format with its resolution, encoding
// with frame interval and quality) and to RestartChannel (a resolution).
// Every value is settable.
//
// Owned by the host; the module reads them on the host's thread during the
// call that received them. Not locked: set values before handing them over.
#pragma once

#include <cstdint>

#include "darvik/HostServices.h"

namespace darvik::host {

class Resolution final : public brevane::ipcapture::IResolution {
    DARVIK_IMPLEMENT_SLOT0(Resolution)

   public:
    Resolution() = default;
    Resolution(std::uint16_t w, std::uint16_t h) : width(w), height(h) {}

    std::uint16_t width = 352;
    std::uint16_t height = 288;

    std::uint16_t GetWidth() override { return width; }
    std::uint16_t GetHeight() override { return height; }
};

class VideoFormat final : public brevane::ipcapture::IVideoFormat {
    DARVIK_IMPLEMENT_SLOT0(VideoFormat)

   public:
    Resolution resolution;

    brevane::ipcapture::IResolution* GetResolution() override { return &resolution; }
};

class EncodingSettings final : public brevane::ipcapture::IEncodingSettings {
    DARVIK_IMPLEMENT_SLOT0(EncodingSettings)

   public:
    std::uint16_t frameIntervalMs = 40;
    std::uint16_t quality = 75;

    std::uint16_t GetFrameInterval() override { return frameIntervalMs; }
    std::uint16_t GetQuality() override { return quality; }
};

class StreamSettings final : public brevane::ipcapture::IStreamSettings {
    DARVIK_IMPLEMENT_SLOT0(StreamSettings)

   public:
    StreamSettings() = default;
    StreamSettings(std::uint16_t width, std::uint16_t height, std::uint16_t frameIntervalMs,
                   std::uint16_t quality) {
        format.resolution = Resolution(width, height);
        encoding.frameIntervalMs = frameIntervalMs;
        encoding.quality = quality;
    }

    VideoFormat format;
    EncodingSettings encoding;

    brevane::ipcapture::IVideoFormat* GetVideoFormat() override { return &format; }
    brevane::ipcapture::IEncodingSettings* GetEncoding() override { return &encoding; }
};

}  // namespace darvik::host
