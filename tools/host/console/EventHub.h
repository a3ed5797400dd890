// The console's event stream: every change a camera reports (status, log
// line, capability result, I/O states, presets, stream settings) becomes one
// named event with a JSON body, which the server relays to each open page as
// Server-Sent Events.
//
// Memory stays bounded however slow a page reads: the hub keeps the newest
// kRingSize events for the pages that follow along, the latest event of each
// state kind per camera, and the newest kLogSize log events for pages that
// arrive late or fell behind. A page that fell out of the ring starts over
// from that snapshot instead of being queued for.
//
// Owned by the console command. Publish is called from the cameras' worker
// threads and the module's threads, Follow from the server's connection
// threads; everything is guarded by m_mutex.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/Mutex.h"

namespace darvik::console {

struct Event {
    std::uint64_t seq = 0;
    std::string name;  // "status", "log", ...
    std::string data;  // one line of JSON
};

class EventHub {
   public:
    static constexpr std::size_t kRingSize = 512;
    static constexpr std::size_t kLogSize = 200;

    // A state event: replaces the previous one with the same name and key
    // (the camera) in the snapshot.
    void PublishState(const std::string& name, int key, std::string data);
    // A log event: kept among the newest kLogSize for late pages.
    void PublishLog(std::string data);

    // The events after *seq, waiting up to timeout for one to arrive. When
    // *seq is 0 or fell out of the ring, the snapshot (latest states, then the
    // kept log events) is returned instead. *seq is advanced past what was
    // returned. Returns nothing once Shutdown was called, or on time-out.
    std::vector<Event> Follow(std::uint64_t* seq, std::chrono::milliseconds timeout);

    // Drops every state event of `key` from the snapshot (a camera that was
    // removed); pages that follow along learn of it from the roster event.
    void Forget(int key);

    // Wakes every Follow and makes it return at once from now on.
    void Shutdown();
    bool IsShutDown() const;

   private:
    std::uint64_t AppendLocked(const std::string& name, const std::string& data) REQUIRES(m_mutex);

    mutable brevane::Mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_nextSeq GUARDED_BY(m_mutex) = 1;
    std::deque<Event> m_ring GUARDED_BY(m_mutex);
    std::map<std::pair<std::string, int>, Event> m_states GUARDED_BY(m_mutex);
    std::deque<Event> m_log GUARDED_BY(m_mutex);
    bool m_shutDown GUARDED_BY(m_mutex) = false;
};

}  // namespace darvik::console
