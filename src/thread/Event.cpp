#include "thread/Event.h"

#include <new>

namespace brevane {

bool CEvent::Create() {
    m_event.reset(new (std::nothrow) platform::WaitableEvent(/*manualReset=*/true, false));
    return static_cast<bool>(m_event);
}

bool CEvent::Set() {
    if (!m_event) {
        return false;
    }
    m_event->Set();
    return true;
}

bool CEvent::Reset() {
    if (!m_event) {
        return false;
    }
    m_event->Reset();
    return true;
}

bool CEvent::Wait(std::uint32_t timeoutMs) {
    return m_event ? m_event->Wait(timeoutMs) : false;
}

void CEvent::Close() {
    m_event.reset();
}

}  // namespace brevane
