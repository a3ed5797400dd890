#include "console/EventHub.h"

#include <algorithm>

namespace darvik::console {

std::uint64_t EventHub::AppendLocked(const std::string& name, const std::string& data) {
    const std::uint64_t seq = m_nextSeq++;
    m_ring.push_back(Event{seq, name, data});
    if (m_ring.size() > kRingSize) {
        m_ring.pop_front();
    }
    return seq;
}

void EventHub::PublishState(const std::string& name, int key, std::string data) {
    {
        brevane::MutexLock lock(m_mutex);
        const std::uint64_t seq = AppendLocked(name, data);
        m_states[{name, key}] = Event{seq, name, std::move(data)};
    }
    m_changed.notify_all();
}

void EventHub::PublishLog(std::string data) {
    {
        brevane::MutexLock lock(m_mutex);
        const std::uint64_t seq = AppendLocked("log", data);
        m_log.push_back(Event{seq, "log", std::move(data)});
        if (m_log.size() > kLogSize) {
            m_log.pop_front();
        }
    }
    m_changed.notify_all();
}

std::vector<Event> EventHub::Follow(std::uint64_t* seq, std::chrono::milliseconds timeout) {
    brevane::UniqueMutexLock lock(m_mutex);
    std::vector<Event> events;
    if (m_shutDown) {
        return events;
    }
    const bool fellBehind = *seq == 0 || (!m_ring.empty() && *seq + 1 < m_ring.front().seq);
    if (fellBehind) {
        // Start over: the latest state of everything, then the recent log, in
        // the order they happened.
        for (const auto& [key, event] : m_states) {
            events.push_back(event);
        }
        std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.seq < b.seq; });
        events.insert(events.end(), m_log.begin(), m_log.end());
        *seq = m_nextSeq - 1;
        return events;
    }
    m_changed.wait_for(lock.Native(), timeout,
                       [&]() REQUIRES(m_mutex) { return m_shutDown || m_nextSeq - 1 > *seq; });
    if (m_shutDown) {
        return events;
    }
    for (const Event& event : m_ring) {
        if (event.seq > *seq) {
            events.push_back(event);
        }
    }
    *seq = m_nextSeq - 1;
    return events;
}

void EventHub::Forget(int key) {
    brevane::MutexLock lock(m_mutex);
    std::erase_if(m_states, [key](const auto& state) { return state.first.second == key; });
}

void EventHub::Shutdown() {
    {
        brevane::MutexLock lock(m_mutex);
        m_shutDown = true;
    }
    m_changed.notify_all();
}

bool EventHub::IsShutDown() const {
    brevane::MutexLock lock(m_mutex);
    return m_shutDown;
}

}  // namespace darvik::console
