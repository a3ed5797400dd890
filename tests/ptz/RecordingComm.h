// Test double of a vendor command set: records every processed work item as
// text, can hold the queue thread on an item, and can throw while processing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "ptz/BasePTZComm.h"

namespace brevane::test {

class RecordingComm : public CBasePTZComm {
   public:
    RecordingComm(IDriver* driver, std::uint16_t channel) : CBasePTZComm(driver, channel) {
        m_maxPrepositions = 255;
    }
    ~RecordingComm() override {
        Release();
        StopThread();
    }

    // "msg/param1/param3/param4/param5/param6" per processed item.
    void ProcessWorkItem(IWorkItem* item) override {
        auto* request = static_cast<CWorkItem*>(item);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_holding = m_hold;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return !m_hold; });
        m_holding = false;
        m_processed.push_back(std::to_string(request->m_messageId) + "/" + std::to_string(request->m_param1) + "/" +
                              std::to_string(request->m_param3) + "/" + std::to_string(request->m_param4) + "/" +
                              std::to_string(request->m_param5) + "/" + std::to_string(request->m_param6));
        m_params.push_back(request->m_param2);
        m_changed.notify_all();
        if (m_throwOnce) {
            m_throwOnce = false;
            throw std::runtime_error("camera exploded");
        }
    }
    bool CanOpen() override { return canOpen; }
    // Distinguishable conversions: the tests see which one ran.
    std::int32_t GetMoveSpeed(std::int32_t direction, std::int32_t speed) override { return speed * 10 + direction; }
    std::int32_t GetFocusSpeed(std::int32_t speed) override { return speed + 100; }
    std::int32_t GetIrisSpeed(std::int32_t speed) override { return speed + 200; }
    std::int32_t CheckReady(IIPParams*) override { return PTZ_OK; }
    std::int32_t GetCapabilities(std::int32_t* record) override {
        for (std::uint32_t word = 1; word < kPtzCapabilityWords; ++word) {
            record[word] = word <= 5 ? 1 : 0;
        }
        return PTZ_OK;
    }
    bool SavePreposition(std::uint32_t number, const char*) override { return Command("save", number); }
    bool MoveToPreposition(std::uint32_t number, const char*, std::int32_t) override { return Command("move", number); }
    bool DeletePreposition(std::uint32_t number, const char*) override { return Command("delete", number); }

    // The next item waits in ProcessWorkItem until Release().
    void Hold() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_hold = true;
    }
    bool WaitUntilHolding() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_holding; });
    }
    void Release() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_hold = false;
        m_changed.notify_all();
    }
    void ThrowOnce() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_throwOnce = true;
    }
    // Waits until `count` items were processed; returns all processed so far.
    std::vector<std::string> WaitForProcessed(std::size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_processed.size() >= count; });
        return m_processed;
    }
    std::vector<IIPParams*> Params() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_params;
    }
    std::vector<std::string> Commands() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_commands;
    }
    std::size_t Queued() {
        CLockGuard guard(m_lock);
        return m_queue.size();
    }

    bool canOpen = true;

   private:
    bool Command(const char* what, std::uint32_t number) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_commands.push_back(std::string(what) + " " + std::to_string(number));
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_hold = false;
    bool m_holding = false;
    bool m_throwOnce = false;
    std::vector<std::string> m_processed;
    std::vector<IIPParams*> m_params;
    std::vector<std::string> m_commands;
};

}  // namespace brevane::test
