#include "streams/StreamSourceFactory.h"

#include "streams/CameraTables.h"
#include "streams/JpegStreamSource.h"
#include "streams/MpegStreamSource.h"

namespace darvik::camsim {
namespace {

std::unique_ptr<StreamSource> Fail(std::string* error, std::string reason) {
    if (error != nullptr) {
        *error = std::move(reason);
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<StreamSource> CreateStreamSource(const StreamSettings& settings, MicrosecondClock clock,
                                                 std::string* error) {
    std::string reason;
    if (settings.group == "liv") {
        const auto size = MpegPictureSize(settings.mpegResolutionCode, settings.ntsc);
        if (!size) {
            return Fail(error, "no picture size for m_resl=" + std::to_string(settings.mpegResolutionCode));
        }
        const auto rate = MpegFrameRate(settings.mpegFrameRateCode, settings.ntsc);
        if (!rate) {
            return Fail(error, "no frame rate for m_fram=" + std::to_string(settings.mpegFrameRateCode));
        }
        if (settings.keyFrameInterval == 0) {
            return Fail(error, "the key frame interval must be at least 1");
        }
        auto source = std::make_unique<MpegStreamSource>(*size, *rate, settings.mpegQuality, settings.keyFrameInterval,
                                                         settings.mpegResolutionCode, settings.mpegFrameRateCode,
                                                         settings.faults, std::move(clock));
        if (!source->Init(&reason)) {
            return Fail(error, reason);
        }
        if (settings.unpaced) {
            source->Unpace();
        }
        return source;
    }

    const auto size = JpegPictureSize(settings.group, settings.ntsc);
    if (!size) {
        return Fail(error, "unknown stream \"" + settings.group + "\"");
    }
    const int quality = JpegStreamSource::QualityForCode(settings.jpegQualityCode);
    if (quality == 0) {
        return Fail(error, "no JPEG quality for j_qual=" + std::to_string(settings.jpegQualityCode));
    }
    if (settings.jpegFramesPerSecond == 0 || settings.jpegFramesPerSecond > kMaxJpegFramesPerSecond) {
        return Fail(error, "JPEG frame rate must be 1 to " + std::to_string(kMaxJpegFramesPerSecond) +
                               " frames per second");
    }
    auto source = std::make_unique<JpegStreamSource>(*size, quality, settings.jpegFramesPerSecond, settings.faults,
                                                     std::move(clock));
    if (!source->Init(&reason)) {
        return Fail(error, reason);
    }
    if (settings.unpaced) {
        source->Unpace();
    }
    return source;
}

std::unique_ptr<StreamSource> CreateStreamSource(const StreamSettings& settings, std::string* error) {
    return CreateStreamSource(settings, SteadyMicroseconds, error);
}

}  // namespace darvik::camsim
