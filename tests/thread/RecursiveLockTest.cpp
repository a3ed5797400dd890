#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "thread/RecursiveLock.h"

// These tests enter the lock again while holding it and hand it between
// threads on purpose; Clang's lock analysis knows no recursion.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wthread-safety-analysis"
#endif

namespace brevane {
namespace {

TEST(RecursiveLock, RecursionLeavesLockFreeOnlyAfterLastLeave) {
    CRecursiveLock lock;
    lock.Enter();
    lock.Enter();
    lock.Enter();
    EXPECT_EQ(lock.LockCount(), 3);

    std::atomic<bool> acquired{false};
    std::thread other([&] {
        lock.Enter();
        acquired = true;
        lock.Leave();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    lock.Leave();
    lock.Leave();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(acquired.load());
    lock.Leave();
    other.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_EQ(lock.LockCount(), 0);
    EXPECT_EQ(lock.OwnerThreadId(), 0u);
}

// Holds a lock on a thread of its own until released.
class OtherHolder {
   public:
    explicit OtherHolder(CRecursiveLock& lock) : m_thread([this, &lock] {
        lock.Enter();
        m_held = true;
        while (!m_release.load()) {
            std::this_thread::yield();
        }
        lock.Leave();
    }) {
        while (!m_held.load()) {
            std::this_thread::yield();
        }
    }
    ~OtherHolder() {
        m_release = true;
        m_thread.join();
    }

   private:
    std::atomic<bool> m_held{false};
    std::atomic<bool> m_release{false};
    std::thread m_thread;
};

TEST(RecursiveLock, ContendedCounterStaysExact) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 5000;
    for (unsigned processors : {1u, 4u}) {
        CRecursiveLock lock;
        lock.SetSpinCountForProcessors(processors);
        {
            // Spinning or not, TryEnter gives up on a lock held elsewhere.
            OtherHolder holder(lock);
            EXPECT_FALSE(lock.TryEnter());
        }
        ASSERT_TRUE(lock.TryEnter());
        ASSERT_TRUE(lock.TryEnter());  // re-entry by the owner
        lock.Leave();
        lock.Leave();
        long counter = 0;  // guarded by lock
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kRounds; ++i) {
                    CLockGuard outer(lock);
                    if ((i + t) % 3 == 0) {
                        CLockGuard inner(lock);  // re-entry under contention
                        ++counter;
                    } else {
                        ++counter;
                    }
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds) << processors << " processors";
        EXPECT_EQ(lock.LockCount(), 0);
        EXPECT_EQ(lock.OwnerThreadId(), 0u);
    }
}

}  // namespace
}  // namespace brevane
