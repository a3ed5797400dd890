// Replayed streams: every stream kind (JPEG size and quality, MPEG-4 size,
// rate, quality and key-frame interval) is encoded once, as a cycle of N
// frame units (multipart parts or records), and each stream of that kind
// sends the same bytes from memory in a loop. A camera serving hundreds of
// streams then costs a copy per picture instead of an encoder run, so the
// reader, not the simulator, is what a benchmark measures.
//
// ReplayLibrary is owned by the simulator and called on the connection
// threads; its cycles are guarded by m_mutex and, once made, shared
// read-only by every stream of their kind. A ReplayStreamSource belongs to
// one connection thread, like every source.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Mutex.h"
#include "streams/FramedStreamSource.h"

namespace darvik::camsim {

// The encoded frame units of one stream kind, in order, the interval at
// which the live stream would send them and its content type.
struct ReplayCycle {
    std::vector<std::vector<std::uint8_t>> units;
    std::uint64_t intervalMicroseconds = 0;
    std::string contentType;
};

class ReplayStreamSource final : public FramedStreamSource {
   public:
    ReplayStreamSource(std::shared_ptr<const ReplayCycle> cycle, const StreamFaults& faults, MicrosecondClock clock);

    std::string ContentType() const override { return m_cycle->contentType; }

   protected:
    bool AppendFrame(std::uint64_t frameIndex, std::vector<std::uint8_t>& out) override;
    // Not used: streams with a never-ending first frame are encoded live.
    void AppendFrameOpening(std::vector<std::uint8_t>&) override {}

   private:
    std::shared_ptr<const ReplayCycle> m_cycle;
};

class ReplayLibrary {
   public:
    // pictures: the length of every cycle (at least 1).
    explicit ReplayLibrary(std::uint32_t pictures);

    // A source replaying the cycle for these settings, encoding it first
    // when no stream of this kind came before. Streams whose pictures carry
    // faults of their own (EXIF thumbnails, wrong record lengths, a frame
    // that never ends) are encoded live, as without replay. Null with a
    // reason in *error when the stream cannot be made.
    std::unique_ptr<StreamSource> Create(const StreamSettings& settings, std::string* error);

   private:
    // The cycle for the settings, made now when there is none yet; null with
    // a reason in *error when the live source fails.
    std::shared_ptr<const ReplayCycle> Cycle(const StreamSettings& settings, std::string* error);

    std::uint32_t m_pictures;
    brevane::Mutex m_mutex;
    std::map<std::string, std::shared_ptr<const ReplayCycle>> m_cycles GUARDED_BY(m_mutex);
};

}  // namespace darvik::camsim
