#include "thread/RecursiveLock.h"

#include "platform/Platform.h"

namespace brevane {

namespace {

// -1 until the first lock asks the system; then 1 on a single-processor
// machine, 0 otherwise.
std::atomic<std::int32_t> s_singleProcessor{-1};

bool IsSingleProcessor() {
    std::int32_t flag = s_singleProcessor.load();
    if (flag == -1) {
        flag = platform::ProcessorCount() == 1 ? 1 : 0;
        s_singleProcessor.store(flag);
    }
    return flag == 1;
}

}  // namespace

CRecursiveLock::CRecursiveLock()
    : m_event(/*manualReset=*/false, /*initiallySignalled=*/false),
      m_state(std::make_unique<LockState>()) {
    if (!IsSingleProcessor()) {
        m_state->spinCount.exchange(kMultiProcessorSpinCount);
    }
}

CRecursiveLock::~CRecursiveLock() = default;

void CRecursiveLock::SetSpinCountForProcessors(unsigned processors) {
    m_state->spinCount.exchange(processors > 1 ? kMultiProcessorSpinCount : 0);
}

void CRecursiveLock::TakeOwnership(std::uint32_t threadId) {
    m_state->ownerThreadId.store(threadId, std::memory_order_relaxed);
    m_state->recursionCount = 1;
}

bool CRecursiveLock::TryEnter() {
    const std::uint32_t self = platform::CurrentThreadId();
    std::uint32_t spinsLeft = m_state->spinCount.load(std::memory_order_relaxed);
    for (;;) {
        std::int32_t expected = 0;
        if (m_state->lockCount.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
            TakeOwnership(self);
            return true;
        }
        if (m_state->ownerThreadId.load(std::memory_order_relaxed) == self) {
            m_state->lockCount.fetch_add(1, std::memory_order_relaxed);
            ++m_state->recursionCount;
            return true;
        }
        if (spinsLeft == 0) {
            return false;
        }
        --spinsLeft;
    }
}

void CRecursiveLock::Enter() {
    if (TryEnter()) {
        return;
    }
    const std::uint32_t self = platform::CurrentThreadId();
    if (m_state->lockCount.fetch_add(1, std::memory_order_acquire) + 1 == 1) {
        TakeOwnership(self);  // the lock fell free in the meantime
        return;
    }
    if (m_state->ownerThreadId.load(std::memory_order_relaxed) == self) {
        ++m_state->recursionCount;
        return;
    }
    m_event.Wait(platform::kInfinite);
    TakeOwnership(self);
}

void CRecursiveLock::Leave() {
    if (--m_state->recursionCount > 0) {
        m_state->lockCount.fetch_sub(1, std::memory_order_release);
        return;
    }
    m_state->ownerThreadId.store(0, std::memory_order_relaxed);
    if (m_state->lockCount.fetch_sub(1, std::memory_order_acq_rel) - 1 > 0) {
        m_event.Set();  // wakes exactly one sleeper
    }
}

}  // namespace brevane
