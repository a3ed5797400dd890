// CEvent: a manual-reset event wrapper with an explicit create step, used as
// the stop event of the camera channels.
//
// Owned by the object it signals for; Set, Reset and Wait may be called from
// any thread once Create has returned. Create and Close belong to the owner.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/WaitableEvent.h"

namespace brevane {

class CEvent {
   public:
    CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    // Makes a manual-reset, non-signalled event. False when it cannot.
    bool Create();
    // False when there is no event.
    bool Set();
    bool Reset();
    // True when the event is signalled within timeoutMs; false on time-out
    // or when there is no event.
    bool Wait(std::uint32_t timeoutMs);
    void Close();
    bool IsCreated() const { return static_cast<bool>(m_event); }

   private:
    std::unique_ptr<platform::WaitableEvent> m_event;
};

}  // namespace brevane
