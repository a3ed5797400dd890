#include "kit/IOEventSink.h"

namespace darvik::host {

void IOEventSink::OnInputChanged(std::uint32_t inputIndex, std::int32_t state) {
    IOEvent event;
    event.kind = IOEvent::Kind::InputChanged;
    event.input = inputIndex;
    event.state = state;
    Record(event);
}

void IOEventSink::OnIOFailure() {
    IOEvent event;
    event.kind = IOEvent::Kind::Failure;
    Record(event);
}

void IOEventSink::Record(IOEvent event) {
    event.time = std::chrono::steady_clock::now();
    {
        brevane::MutexLock lock(m_mutex);
        ++m_count;
        if (m_events.size() < kMaxEvents) {
            m_events.push_back(event);
        }
    }
    m_changed.notify_all();
}

std::vector<IOEvent> IOEventSink::Events() const {
    brevane::MutexLock lock(m_mutex);
    return m_events;
}

std::size_t IOEventSink::Count() const {
    brevane::MutexLock lock(m_mutex);
    return m_count;
}

void IOEventSink::Clear() {
    brevane::MutexLock lock(m_mutex);
    m_events.clear();
    m_count = 0;
}

bool IOEventSink::WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
    brevane::UniqueMutexLock lock(m_mutex);
    return m_changed.wait_for(lock.Native(), timeout, [&]() REQUIRES(m_mutex) { return m_count >= count; });
}

}  // namespace darvik::host
