#include "kit/FrameReceiver.h"

#include "kit/FrameAllocator.h"

namespace darvik::host {

bool FrameReceiver::DeliverFrame(brevane::ipcapture::IFrame* frame) {
    FrameRecord record;
    std::span<const std::uint8_t> data;
    // Frames come from the host's own allocator; anything else is recorded
    // without details.
    const Frame* own = dynamic_cast<const Frame*>(frame);
    if (own != nullptr) {
        record.serial = own->Serial();
        record.format = own->Format();
        record.width = own->Width();
        record.height = own->Height();
        record.sizeClass = own->SizeClass();
        record.dataSize = own->DataSize();
        record.complete = own->Complete();
        data = own->Data();
    }
    Decider decider;
    DataCallback callback;
    bool accept = false;
    {
        brevane::MutexLock lock(m_mutex);
        decider = m_decider;
        callback = m_dataCallback;
        accept = m_accept;
    }
    if (decider) {
        accept = decider(record);
    }
    record.accepted = accept;
    if (callback) {
        callback(record, data);
    }
    {
        brevane::MutexLock lock(m_mutex);
        ++m_delivered;
        if (accept) {
            ++m_accepted;
        }
        if (m_records.size() < kMaxRecords) {
            m_records.push_back(record);
        }
    }
    m_changed.notify_all();
    return accept;
}

void FrameReceiver::OnSignalLost() {
    {
        brevane::MutexLock lock(m_mutex);
        ++m_signalLost;
    }
    m_changed.notify_all();
}

void FrameReceiver::SetAccept(bool accept) {
    brevane::MutexLock lock(m_mutex);
    m_accept = accept;
}

void FrameReceiver::SetDecider(Decider decider) {
    brevane::MutexLock lock(m_mutex);
    m_decider = std::move(decider);
}

void FrameReceiver::SetDataCallback(DataCallback callback) {
    brevane::MutexLock lock(m_mutex);
    m_dataCallback = std::move(callback);
}

std::uint64_t FrameReceiver::Delivered() const {
    brevane::MutexLock lock(m_mutex);
    return m_delivered;
}

std::uint64_t FrameReceiver::Accepted() const {
    brevane::MutexLock lock(m_mutex);
    return m_accepted;
}

std::uint64_t FrameReceiver::SignalLost() const {
    brevane::MutexLock lock(m_mutex);
    return m_signalLost;
}

std::vector<FrameRecord> FrameReceiver::Records() const {
    brevane::MutexLock lock(m_mutex);
    return m_records;
}

bool FrameReceiver::WaitForFrames(std::uint64_t count, std::chrono::milliseconds timeout) const {
    brevane::UniqueMutexLock lock(m_mutex);
    return m_changed.wait_for(lock.Native(), timeout,
                              [&]() REQUIRES(m_mutex) { return m_delivered >= count; });
}

bool FrameReceiver::WaitForSignalLost(std::uint64_t count, std::chrono::milliseconds timeout) const {
    brevane::UniqueMutexLock lock(m_mutex);
    return m_changed.wait_for(lock.Native(), timeout,
                              [&]() REQUIRES(m_mutex) { return m_signalLost >= count; });
}

}  // namespace darvik::host
