// CRecursiveLock: a recursive lock that is cheap when uncontended (one
// compare-exchange to enter, one decrement to leave), spins a while on
// multi-processor machines and then sleeps on an auto-reset event.
// CLockGuard enters a lock for the lifetime of a scope.
//
// A lock is owned by the object whose state it guards; any thread may enter
// it, and the owning thread may enter it again any number of times. Enter and
// Leave calls of one thread must pair up.
//
// Both carry lock annotations, so Clang checks every member marked
// GUARDED_BY a CRecursiveLock. The analysis knows no recursion: a function
// that enters a lock its caller already holds is annotated REQUIRES instead.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "core/ThreadAnnotations.h"
#include "platform/WaitableEvent.h"

namespace brevane {

class CAPABILITY("mutex") CRecursiveLock {
   public:
    // The lock's counters, allocated with the lock and freed with it.
    struct LockState {
        std::atomic<std::uint32_t> spinCount{0};
        // Acquisitions outstanding plus threads waiting; 0 when free.
        std::atomic<std::int32_t> lockCount{0};
        // Owning thread, 0 when free. Written only by the owner or by the
        // thread taking ownership; read by contenders.
        std::atomic<std::uint32_t> ownerThreadId{0};
        // Entries of the owner not yet left; touched only by the owner.
        std::int32_t recursionCount = 0;
    };

    // Extra acquisition attempts before a contender sleeps, on machines with
    // more than one processor.
    static constexpr std::uint32_t kMultiProcessorSpinCount = 4000;

    CRecursiveLock();
    ~CRecursiveLock();
    CRecursiveLock(const CRecursiveLock&) = delete;
    CRecursiveLock& operator=(const CRecursiveLock&) = delete;

    // Tries to take the lock, spinning up to spinCount extra attempts
    // without sleeping. True when the caller owns the lock. The three are
    // the lock itself, which the analysis cannot follow inside.
    bool TryEnter() TRY_ACQUIRE(true) NO_THREAD_SAFETY_ANALYSIS;
    void Enter() ACQUIRE() NO_THREAD_SAFETY_ANALYSIS;
    void Leave() RELEASE() NO_THREAD_SAFETY_ANALYSIS;

    // For tests and diagnostics: a snapshot of the counters.
    std::int32_t LockCount() const { return m_state->lockCount.load(); }
    std::uint32_t OwnerThreadId() const { return m_state->ownerThreadId.load(); }
    // For tests: behave as on a machine with the given processor count.
    void SetSpinCountForProcessors(unsigned processors);

   private:
    void TakeOwnership(std::uint32_t threadId);

    platform::WaitableEvent m_event;  // auto-reset; contenders sleep on it
    std::unique_ptr<LockState> m_state;
};

class SCOPED_CAPABILITY CLockGuard {
   public:
    explicit CLockGuard(CRecursiveLock& lock) ACQUIRE(lock) : m_lock(lock) { m_lock.Enter(); }
    ~CLockGuard() RELEASE() { m_lock.Leave(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

   private:
    CRecursiveLock& m_lock;
};

}  // namespace brevane
