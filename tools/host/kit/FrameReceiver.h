// Frame receiver of the reference host: accepts or refuses frames on demand
// and records what it got (count, format, size, width, height, size class),
// optionally handing each frame's bytes to a callback. Counts OnSignalLost.
//
// Owned by the host. DeliverFrame and OnSignalLost are called from a channel
// worker thread, the accessors from any thread; state is guarded by m_mutex.
// The data callback runs on the worker thread, outside the lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/Mutex.h"
#include "darvik/HostServices.h"

namespace darvik::host {

struct FrameRecord {
    std::uint64_t serial = 0;  // the allocator's serial, 0 for a foreign frame
    std::uint32_t format = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t sizeClass = 0;
    std::uint32_t dataSize = 0;
    bool complete = false;  // the module made the whole call sequence
    bool accepted = false;
};

class FrameReceiver final : public brevane::ipcapture::IFrameReceiver {
    DARVIK_IMPLEMENT_SLOT0(FrameReceiver)

   public:
    using DataCallback = std::function<void(const FrameRecord&, std::span<const std::uint8_t>)>;
    using Decider = std::function<bool(const FrameRecord&)>;

    FrameReceiver() = default;
    ~FrameReceiver() = default;

    bool DeliverFrame(brevane::ipcapture::IFrame* frame) override;
    void OnSignalLost() override;

    void SetAccept(bool accept);
    // Decides per frame; replaces SetAccept while set.
    void SetDecider(Decider decider);
    void SetDataCallback(DataCallback callback);

    std::uint64_t Delivered() const;
    std::uint64_t Accepted() const;
    std::uint64_t SignalLost() const;
    // The first kMaxRecords frames delivered.
    std::vector<FrameRecord> Records() const;
    // Waits until at least count frames were delivered.
    bool WaitForFrames(std::uint64_t count, std::chrono::milliseconds timeout) const;
    bool WaitForSignalLost(std::uint64_t count, std::chrono::milliseconds timeout) const;

    static constexpr std::size_t kMaxRecords = 100000;

   private:
    mutable brevane::Mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_accept GUARDED_BY(m_mutex) = true;
    Decider m_decider GUARDED_BY(m_mutex);
    DataCallback m_dataCallback GUARDED_BY(m_mutex);
    std::uint64_t m_delivered GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_accepted GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_signalLost GUARDED_BY(m_mutex) = 0;
    std::vector<FrameRecord> m_records GUARDED_BY(m_mutex);
};

}  // namespace darvik::host
