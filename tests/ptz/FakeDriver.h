// Test double of the driver as the PTZ objects see it: hands out a
// configurable DEVICE_INFO and collects every log line.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "driver/IDriver.h"

namespace brevane::testing {

class FakeDriver : public IDriver {
   public:
    void DebugMessage(int level, const char* format, ...) override {
        char buffer[4096];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof(buffer), format, args);
        va_end(args);
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lines.push_back(std::to_string(level) + " " + buffer);
        m_changed.notify_all();
    }
    DEVICE_INFO GetDeviceInfo() override {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_device;
    }
    std::pair<std::uint32_t, std::uint32_t> GetIOCounts() override { return {0, 0}; }
    ipcapture::IFrameAllocator* GetFrameAllocator() override { return nullptr; }
    std::int32_t IsNtsc() override { return 0; }
    std::int32_t GetStreamType() override { return kStreamTypeMjpeg; }
    const char* GetCustomParameter(std::uint32_t) override { return nullptr; }

    void SetDevice(const DEVICE_INFO& device) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_device = device;
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_lines;
    }
    void ClearLines() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lines.clear();
    }
    // True once a line containing `text` arrived (waits at most timeoutMs).
    bool WaitForLine(const std::string& text, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (const auto& line : m_lines) {
                if (line.find(text) != std::string::npos) {
                    return true;
                }
            }
            return false;
        });
    }

   private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    DEVICE_INFO m_device;
    std::vector<std::string> m_lines;
};

}  // namespace brevane::testing
