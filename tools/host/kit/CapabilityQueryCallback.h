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
#include <string>

#include "core/Mutex.h"
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

    mutable brevane::Mutex m_mutex;
    mutable std::condition_variable m_arrived;
    QueryOutcome m_outcome GUARDED_BY(m_mutex) = QueryOutcome::None;
    std::int32_t m_errorCode GUARDED_BY(m_mutex) = 0;
    std::string m_message GUARDED_BY(m_mutex);
    std::size_t m_notifications GUARDED_BY(m_mutex) = 0;
};

}  // namespace darvik::host
