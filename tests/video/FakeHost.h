// Host-side objects for the video tests: frames, a frame allocator, a frame
// receiver that records what it gets, and the reference host's stream
// settings. Thread-safe where channel workers call them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "darvik/HostServices.h"
#include "kit/StreamSettings.h"

namespace brevane::test {

class FakeFrame final : public ipcapture::IFrame {
    DARVIK_IMPLEMENT_SLOT0(FakeFrame)

   public:
    FakeFrame(std::uint32_t format, std::uint32_t allocation) : format(format), buffer(allocation) {}
    ~FakeFrame() = default;

    std::uint8_t* GetBuffer() override {
        calls.push_back(2);
        return buffer.data();
    }
    void SetDataSize(std::uint32_t size) override {
        calls.push_back(4);
        dataSize = size;
    }
    void PrepareBuffer() override { calls.push_back(5); }
    void SetFormat(std::uint32_t code) override {
        calls.push_back(10);
        format = code;
    }
    void SetHeight(std::uint32_t value) override {
        calls.push_back(12);
        height = value;
    }
    void SetWidth(std::uint32_t value) override {
        calls.push_back(14);
        width = value;
    }
    void SetSizeClass(std::int32_t value) override {
        calls.push_back(16);
        sizeClass = value;
    }

    std::vector<std::uint8_t> Data() const {
        return std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + dataSize);
    }

    std::uint32_t format;
    std::vector<std::uint8_t> buffer;
    std::uint32_t dataSize = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t sizeClass = 0;
    std::vector<int> calls;  // slots called, in order
};

// A frame as the receiver saw it.
struct DeliveredFrame {
    std::uint32_t format = 0;
    std::uint32_t allocation = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t sizeClass = 0;
    std::vector<std::uint8_t> data;
    std::vector<int> calls;
};

class FakeAllocator final : public ipcapture::IFrameAllocator {
    DARVIK_IMPLEMENT_SLOT0(FakeAllocator)

   public:
    FakeAllocator() = default;
    ~FakeAllocator() = default;

    ipcapture::IFrame* AllocateFrame(std::uint32_t format, std::uint32_t size,
                                     const char* source) override {
        std::lock_guard<std::mutex> guard(mutex);
        ++allocated;
        lastSource = source != nullptr ? source : "";
        lastSize = size;
        if (failAllocations) {
            return nullptr;
        }
        ++outstanding;
        return new FakeFrame(format, size);
    }
    void ReleaseFrame(ipcapture::IFrame* frame) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            ++released;
            --outstanding;
        }
        contract::DestroyContractObject(frame);
    }

    std::mutex mutex;
    std::atomic<bool> failAllocations{false};
    int allocated = 0;     // guarded by mutex
    int released = 0;      // guarded by mutex
    int outstanding = 0;   // guarded by mutex
    std::string lastSource;
    std::uint32_t lastSize = 0;
};

class FakeReceiver final : public ipcapture::IFrameReceiver {
    DARVIK_IMPLEMENT_SLOT0(FakeReceiver)

   public:
    FakeReceiver() = default;
    ~FakeReceiver() = default;

    bool DeliverFrame(ipcapture::IFrame* frame) override {
        auto* fake = static_cast<FakeFrame*>(frame);
        DeliveredFrame copy;
        copy.format = fake->format;
        copy.allocation = static_cast<std::uint32_t>(fake->buffer.size());
        copy.width = fake->width;
        copy.height = fake->height;
        copy.sizeClass = fake->sizeClass;
        copy.data = fake->Data();
        copy.calls = fake->calls;
        if (onDeliver) {
            onDeliver();
        }
        std::lock_guard<std::mutex> guard(mutex);
        ++offered;
        if (accept) {
            frames.push_back(std::move(copy));
        }
        changed.notify_all();
        return accept;
    }
    void OnSignalLost() override {
        std::lock_guard<std::mutex> guard(mutex);
        ++signalLost;
        changed.notify_all();
    }

    // Waits until pred() holds (checked under the mutex) or timeout passes.
    template <class Pred>
    bool WaitFor(Pred pred, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return pred(); });
    }
    std::size_t FrameCount() {
        std::lock_guard<std::mutex> guard(mutex);
        return frames.size();
    }
    int Offered() {
        std::lock_guard<std::mutex> guard(mutex);
        return offered;
    }
    int SignalLost() {
        std::lock_guard<std::mutex> guard(mutex);
        return signalLost;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<DeliveredFrame> frames;  // guarded by mutex
    int offered = 0;                     // guarded by mutex
    int signalLost = 0;                  // guarded by mutex
    std::atomic<bool> accept{true};
    std::function<void()> onDeliver;     // runs on the worker before recording
};

// Stream settings as the reference host hands them over.
using darvik::host::Resolution;
using darvik::host::StreamSettings;

}  // namespace brevane::test
