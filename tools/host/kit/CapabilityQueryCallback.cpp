#include "kit/CapabilityQueryCallback.h"

namespace darvik::host {

const char* QueryOutcomeText(QueryOutcome outcome) {
    switch (outcome) {
        case QueryOutcome::None:
            return "none";
        case QueryOutcome::Succeeded:
            return "succeeded";
        case QueryOutcome::Failed:
            return "failed";
        case QueryOutcome::Aborted:
            return "aborted";
    }
    return "?";
}

void CapabilityQueryCallback::OnQuerySucceeded() { Record(QueryOutcome::Succeeded, 0, nullptr); }

void CapabilityQueryCallback::OnQueryFailed(std::int32_t errorCode, const char* message) {
    Record(QueryOutcome::Failed, errorCode, message);
}

void CapabilityQueryCallback::OnQueryAborted() { Record(QueryOutcome::Aborted, 0, nullptr); }

void CapabilityQueryCallback::Record(QueryOutcome outcome, std::int32_t code, const char* message) {
    {
        brevane::MutexLock lock(m_mutex);
        m_outcome = outcome;
        m_errorCode = code;
        // The message is valid only during the call: copy it.
        m_message = message != nullptr ? message : "";
        ++m_notifications;
    }
    m_arrived.notify_all();
}

QueryOutcome CapabilityQueryCallback::Outcome() const {
    brevane::MutexLock lock(m_mutex);
    return m_outcome;
}

std::int32_t CapabilityQueryCallback::ErrorCode() const {
    brevane::MutexLock lock(m_mutex);
    return m_errorCode;
}

std::string CapabilityQueryCallback::Message() const {
    brevane::MutexLock lock(m_mutex);
    return m_message;
}

std::size_t CapabilityQueryCallback::Notifications() const {
    brevane::MutexLock lock(m_mutex);
    return m_notifications;
}

QueryOutcome CapabilityQueryCallback::WaitForOutcome(std::chrono::milliseconds timeout) const {
    brevane::UniqueMutexLock lock(m_mutex);
    m_arrived.wait_for(lock.Native(), timeout,
                       [&]() REQUIRES(m_mutex) { return m_outcome != QueryOutcome::None; });
    return m_outcome;
}

void CapabilityQueryCallback::Reset() {
    brevane::MutexLock lock(m_mutex);
    m_outcome = QueryOutcome::None;
    m_errorCode = 0;
    m_message.clear();
    m_notifications = 0;
}

}  // namespace darvik::host
