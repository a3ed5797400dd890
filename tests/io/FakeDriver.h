// A driver for digital I/O tests: answers the connection data and I/O counts
// it was given (changeable while the object runs) and keeps its log lines.
// Thread-safe.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "driver/IDriver.h"

namespace brevane::test {

class FakeDriver final : public IDriver {
   public:
    FakeDriver(std::uint32_t inputs, std::uint32_t outputs) : m_inputs(inputs), m_outputs(outputs) {
        m_device.address = "127.0.0.1";
        m_device.timeout = 300;
    }

    // Camera at 127.0.0.1:port with the given credentials.
    void SetCamera(std::uint16_t port, const std::string& user = {}, const std::string& password = {}) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device.port = port;
        m_device.userName = user;
        m_device.password = password;
    }
    void SetTimeout(std::uint32_t timeoutMs) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device.timeout = timeoutMs;
    }
    void SetCounts(std::uint32_t inputs, std::uint32_t outputs) {
        m_inputs.store(inputs);
        m_outputs.store(outputs);
    }

    void DebugMessage(int level, const char* format, ...) override {
        char text[1024];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(text, sizeof text, format, arguments);
        va_end(arguments);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(std::to_string(level) + " " + text);
    }
    DEVICE_INFO GetDeviceInfo() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_device;
    }
    std::pair<std::uint32_t, std::uint32_t> GetIOCounts() override {
        return {m_inputs.load(), m_outputs.load()};
    }
    ipcapture::IFrameAllocator* GetFrameAllocator() override { return nullptr; }
    std::int32_t IsNtsc() override { return 0; }
    std::int32_t GetStreamType() override { return kStreamTypeMjpeg; }
    const char* GetCustomParameter(std::uint32_t) override { return nullptr; }

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

   private:
    mutable std::mutex m_mutex;
    DEVICE_INFO m_device;                  // guarded by m_mutex
    std::vector<std::string> m_lines;      // guarded by m_mutex
    std::atomic<std::uint32_t> m_inputs;
    std::atomic<std::uint32_t> m_outputs;
};

}  // namespace brevane::test
