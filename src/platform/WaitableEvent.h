// An event with manual reset (stays signalled until Reset) or auto reset (a
// successful wait consumes the signal and releases exactly one waiter), on
// a mutex and a condition variable. The module's threads signal stops and
// wake-ups through it.
//
// Owned by whoever creates it; Set, Reset and Wait may be called from any
// thread at once.
#pragma once

#include <condition_variable>
#include <cstdint>

#include "core/Mutex.h"

namespace brevane::platform {

class WaitableEvent {
   public:
    WaitableEvent(bool manualReset, bool initiallySignalled);
    WaitableEvent(const WaitableEvent&) = delete;
    WaitableEvent& operator=(const WaitableEvent&) = delete;

    void Set();
    void Reset();

    // Waits up to timeoutMs milliseconds (kInfinite: no limit) on a monotonic
    // clock. True when the event was signalled, false on time-out.
    bool Wait(std::uint32_t timeoutMs);

   private:
    const bool m_manualReset;
    Mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled GUARDED_BY(m_mutex);
};

}  // namespace brevane::platform
