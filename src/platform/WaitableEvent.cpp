#include "platform/WaitableEvent.h"

#include <chrono>

#include "platform/Platform.h"

namespace brevane::platform {

WaitableEvent::WaitableEvent(bool manualReset, bool initiallySignalled)
    : m_manualReset(manualReset), m_signalled(initiallySignalled) {}

void WaitableEvent::Set() {
    // Notify while holding the mutex: a waiter cannot return from Wait before
    // the mutex is released, so a woken thread that goes on to destroy this
    // event (for example the owner of a lock handed over through it) never
    // does so while Set still uses the condition variable.
    MutexLock guard(m_mutex);
    m_signalled = true;
    if (m_manualReset) {
        m_changed.notify_all();
    } else {
        m_changed.notify_one();
    }
}

void WaitableEvent::Reset() {
    MutexLock guard(m_mutex);
    m_signalled = false;
}

bool WaitableEvent::Wait(std::uint32_t timeoutMs) {
    UniqueMutexLock lock(m_mutex);
    auto signalled = [this]() REQUIRES(m_mutex) { return m_signalled; };
    if (timeoutMs == 0) {
        // A poll of the state: no timed wait, which would cost a system call
        // even when the answer is known.
        if (!m_signalled) {
            return false;
        }
    } else if (timeoutMs == kInfinite) {
        m_changed.wait(lock.Native(), signalled);
    } else if (!m_changed.wait_for(lock.Native(), std::chrono::milliseconds(timeoutMs), signalled)) {
        return false;
    }
    if (!m_manualReset) {
        m_signalled = false;
    }
    return true;
}

}  // namespace brevane::platform
