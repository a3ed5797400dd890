// A driver for channel tests: hands out a chosen DEVICE_INFO (short
// time-outs, the simulator's port), frame allocator and video standard, and
// records every log line with its level. Thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "driver/IDriver.h"

namespace brevane::testing {

struct LogLine {
    int level;
    std::string text;
};

class FakeDriver : public IDriver {
   public:
    FakeDriver() {
        device.address = "127.0.0.1";
        device.timeout = 300;
        device.streamTimeout = 300;
    }

    void DebugMessage(int level, const char* format, ...) override {
        va_list arguments;
        va_start(arguments, format);
        char text[2048];
        std::vsnprintf(text, sizeof text, format, arguments);
        va_end(arguments);
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lines.push_back({level, text});
        m_changed.notify_all();
    }
    DEVICE_INFO GetDeviceInfo() override {
        std::lock_guard<std::mutex> guard(m_mutex);
        return device;
    }
    std::pair<std::uint32_t, std::uint32_t> GetIOCounts() override { return {0, 0}; }
    ipcapture::IFrameAllocator* GetFrameAllocator() override { return allocator; }
    std::int32_t IsNtsc() override { return ntsc; }
    std::int32_t GetStreamType() override { return streamType; }
    const char* GetCustomParameter(std::uint32_t) override { return nullptr; }

    void SetPort(std::uint16_t port) {
        std::lock_guard<std::mutex> guard(m_mutex);
        device.port = port;
    }
    std::vector<LogLine> Lines() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_lines;
    }
    // Lines containing text.
    std::vector<LogLine> LinesWith(const std::string& text) {
        std::vector<LogLine> found;
        for (const LogLine& line : Lines()) {
            if (line.text.find(text) != std::string::npos) {
                found.push_back(line);
            }
        }
        return found;
    }
    bool WaitForLines(const std::string& text, std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            std::size_t found = 0;
            for (const LogLine& line : m_lines) {
                found += line.text.find(text) != std::string::npos ? 1 : 0;
            }
            return found >= count;
        });
    }

    DEVICE_INFO device;  // guarded by m_mutex once channels run
    ipcapture::IFrameAllocator* allocator = nullptr;
    std::int32_t ntsc = 0;
    std::int32_t streamType = kStreamTypeMjpeg;

   private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<LogLine> m_lines;  // guarded by m_mutex
};

}  // namespace brevane::testing
