// Digital I/O event sink of the reference host: records every input change
// and I/O failure the module reports, with the time it arrived.
//
// Owned by the host. Called from the host's thread during Start and from the
// module's I/O threads afterwards; accessors from any thread. State is
// guarded by m_mutex.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <vector>

#include "core/Mutex.h"
#include "darvik/HostServices.h"

namespace darvik::host {

struct IOEvent {
    enum class Kind { InputChanged, Failure };
    Kind kind = Kind::InputChanged;
    std::uint32_t input = 0;  // InputChanged only
    std::int32_t state = 0;   // InputChanged only: 1 low, 2 high
    std::chrono::steady_clock::time_point time;
};

class IOEventSink final : public brevane::ipcapture::IIOEventSink {
    DARVIK_IMPLEMENT_SLOT0(IOEventSink)

   public:
    IOEventSink() = default;
    ~IOEventSink() = default;

    void OnInputChanged(std::uint32_t inputIndex, std::int32_t state) override;
    void OnIOFailure() override;

    std::vector<IOEvent> Events() const;
    std::size_t Count() const;
    void Clear();
    bool WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const;

    static constexpr std::size_t kMaxEvents = 100000;

   private:
    void Record(IOEvent event);

    mutable brevane::Mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<IOEvent> m_events GUARDED_BY(m_mutex);
    std::size_t m_count GUARDED_BY(m_mutex) = 0;  // also counts events beyond kMaxEvents
};

}  // namespace darvik::host
