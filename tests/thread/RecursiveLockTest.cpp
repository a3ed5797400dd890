#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "thread/RecursiveLock.h"

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

}  // namespace
}  // namespace brevane
