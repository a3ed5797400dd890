#include "streams/ReplayStreamSource.h"

#include <algorithm>

#include "streams/StreamSourceFactory.h"

namespace darvik::camsim {
namespace {

// What distinguishes the pictures of one stream kind from another's.
std::string KindKey(const StreamSettings& s) {
    std::string key = s.group + (s.ntsc ? "/ntsc" : "/pal");
    if (s.group == "liv") {
        return key + "/" + std::to_string(s.mpegResolutionCode) + "/" + std::to_string(s.mpegFrameRateCode) + "/" +
               std::to_string(s.mpegQuality) + "/" + std::to_string(s.keyFrameInterval);
    }
    return key + "/" + std::to_string(s.jpegQualityCode) + "/" + std::to_string(s.jpegFramesPerSecond);
}

}  // namespace

ReplayStreamSource::ReplayStreamSource(std::shared_ptr<const ReplayCycle> cycle, const StreamFaults& faults,
                                       MicrosecondClock clock)
    : FramedStreamSource(faults, cycle->intervalMicroseconds, std::move(clock)), m_cycle(std::move(cycle)) {}

bool ReplayStreamSource::AppendFrame(std::uint64_t frameIndex, std::vector<std::uint8_t>& out) {
    const std::vector<std::uint8_t>& unit = m_cycle->units[frameIndex % m_cycle->units.size()];
    out.insert(out.end(), unit.begin(), unit.end());
    return true;
}

ReplayLibrary::ReplayLibrary(std::uint32_t pictures) : m_pictures(std::max<std::uint32_t>(pictures, 1)) {}

std::shared_ptr<const ReplayCycle> ReplayLibrary::Cycle(const StreamSettings& settings, std::string* error) {
    const std::string key = KindKey(settings);
    // Encoded under the lock, so that a burst of first requests encodes the
    // kind once; later requests only look it up.
    brevane::MutexLock guard(m_mutex);
    std::shared_ptr<const ReplayCycle>& slot = m_cycles[key];
    if (slot != nullptr) {
        return slot;
    }
    StreamSettings clean = settings;
    clean.faults = StreamFaults{};
    clean.unpaced = false;
    std::unique_ptr<StreamSource> live = CreateStreamSource(clean, error);
    auto* framed = dynamic_cast<FramedStreamSource*>(live.get());
    if (framed == nullptr) {
        m_cycles.erase(key);
        return nullptr;
    }
    auto made = std::make_shared<ReplayCycle>();
    made->intervalMicroseconds = framed->FrameInterval();
    made->contentType = framed->ContentType();
    made->units.resize(m_pictures);
    for (std::uint32_t i = 0; i < m_pictures; ++i) {
        if (!framed->MakeFrame(i, made->units[i])) {
            m_cycles.erase(key);
            if (error != nullptr) {
                *error = "a picture of the replayed stream could not be encoded";
            }
            return nullptr;
        }
    }
    slot = std::move(made);
    return slot;
}

std::unique_ptr<StreamSource> ReplayLibrary::Create(const StreamSettings& settings, std::string* error) {
    const StreamFaults& faults = settings.faults;
    if (faults.exifThumbnails || faults.wrongLengthEvery != 0 || faults.unendedFrameBytes != 0) {
        return CreateStreamSource(settings, error);
    }
    std::shared_ptr<const ReplayCycle> cycle = Cycle(settings, error);
    if (cycle == nullptr) {
        return nullptr;
    }
    auto source = std::make_unique<ReplayStreamSource>(std::move(cycle), faults, nullptr);
    if (settings.unpaced) {
        source->Unpace();
    }
    return source;
}

}  // namespace darvik::camsim
