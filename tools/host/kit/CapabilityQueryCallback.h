// Capability-query callback of the reference host: records how a query
// ended (succeeded, failed with code and message, aborted) and lets a caller
// wait for that outcome.
//
// Owned by the host. Called on the module's fetching thread (OnQueryAborted
// on the thread that destroys the query); accessors from any thread. State is
// guarded by m_mutex. Never call back into the module from a notification.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "darvik/CapabilitySink.h"

namespace darvik::host {

enum class QueryOutcome { None, Succeeded, Failed, Aborted };

const char* QueryOutcomeText(QueryOutcome outcome);

class CapabilityQueryCallback final : public brevane::ipcapture::ICapabilityQueryCallback {
    DARVIK_IMPLEMENT_SLOT0(CapabilityQueryCallback)

   public:
    CapabilityQueryCallback() = default;
    ~CapabilityQueryCallback() = default;

    void OnQuerySucceeded() override;
    void OnQueryFailed(std::int32_t errorCode, const char* message) override;
    void OnQueryAborted() override;

    // The last outcome reported.
    QueryOutcome Outcome() const;
    std::int32_t ErrorCode() const;
    std::string Message() const;
    // Number of notifications of any kind.
    std::size_t Notifications() const;
    // Waits until some outcome arrived; returns it (None on time-out).
    QueryOutcome WaitForOutcome(std::chrono::milliseconds timeout) const;
    void Reset();

   private:
    void Record(QueryOutcome outcome, std::int32_t code, const char* message);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    QueryOutcome m_outcome = QueryOutcome::None;  // guarded by m_mutex
    std::int32_t m_errorCode = 0;                 // guarded by m_mutex
    std::string m_message;                        // guarded by m_mutex
    std::size_t m_notifications = 0;             // guarded by m_mutex
};

}  // namespace darvik::host
