// FakeDriver: the driver as the module's own objects see it, for the I/O, PTZ
// and channel tests. It hands out the device, I/O counts, frame allocator,
// video standard and stream type the test chose, and records every log line
// (see RecordingLog). By default the camera is 127.0.0.1:80 with 300 ms
// time-outs and no credentials, without I/O ports or allocator, PAL, MJPEG.
//
// Thread-safe: the objects under test call it from their worker threads
// while the test may change the answers; every field is guarded by m_mutex,
// the mutex of the log.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "core/IDriver.h"
#include "support/RecordingLog.h"

namespace brevane::test {

class FakeDriver final : public RecordingLog<IDriver> {
   public:
    FakeDriver() : FakeDriver(0, 0) {}
    FakeDriver(std::uint32_t inputs, std::uint32_t outputs) : m_inputs(inputs), m_outputs(outputs) {
        m_device.address = "127.0.0.1";
        m_device.timeout = 300;
        m_device.streamTimeout = 300;
    }

    void SetDevice(const DEVICE_INFO& device) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device = device;
    }
    void SetAddress(const std::string& address) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device.address = address;
    }
    void SetPort(std::uint16_t port) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device.port = port;
    }
    void SetCredentials(const std::string& user, const std::string& password) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device.userName = user;
        m_device.password = password;
    }
    void SetTimeout(std::uint32_t timeoutMs) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device.timeout = timeoutMs;
    }
    void SetStreamTimeout(std::uint32_t timeoutMs) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device.streamTimeout = timeoutMs;
    }
    void SetCounts(std::uint32_t inputs, std::uint32_t outputs) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inputs = inputs;
        m_outputs = outputs;
    }
    void SetAllocator(ipcapture::IFrameAllocator* allocator) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_allocator = allocator;
    }
    void SetNtsc(std::int32_t ntsc) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ntsc = ntsc;
    }
    void SetStreamType(std::int32_t streamType) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_streamType = streamType;
    }

    DEVICE_INFO GetDeviceInfo() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_device;
    }
    std::pair<std::uint32_t, std::uint32_t> GetIOCounts() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return {m_inputs, m_outputs};
    }
    ipcapture::IFrameAllocator* GetFrameAllocator() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_allocator;
    }
    std::int32_t IsNtsc() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ntsc;
    }
    std::int32_t GetStreamType() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_streamType;
    }
    const char* GetCustomParameter(std::uint32_t) override { return nullptr; }

   private:
    DEVICE_INFO m_device;                               // guarded by m_mutex
    std::uint32_t m_inputs;                             // guarded by m_mutex
    std::uint32_t m_outputs;                            // guarded by m_mutex
    ipcapture::IFrameAllocator* m_allocator = nullptr;  // guarded by m_mutex
    std::int32_t m_ntsc = 0;                            // guarded by m_mutex
    std::int32_t m_streamType = kStreamTypeMjpeg;       // guarded by m_mutex
};

}  // namespace brevane::test
