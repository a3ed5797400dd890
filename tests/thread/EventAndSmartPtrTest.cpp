#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "thread/Event.h"
#include "thread/SmartPtr.h"

namespace brevane {
namespace {

using Clock = std::chrono::steady_clock;

TEST(Event, NeverCreatedEventFailsAtOnce) {
    CEvent event;
    const auto begin = Clock::now();
    EXPECT_FALSE(event.Wait(5000));
    EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(1000));
    EXPECT_FALSE(event.Set());
    EXPECT_FALSE(event.Reset());
}

TEST(Event, ManualResetStaysSignalledForEveryWaiterUntilReset) {
    CEvent event;
    ASSERT_TRUE(event.Create());
    EXPECT_FALSE(event.Wait(0));

    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (event.Wait(5000)) {
                ++woken;
            }
        });
    }
    EXPECT_TRUE(event.Set());
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(woken.load(), 3);
    EXPECT_TRUE(event.Wait(0));  // still signalled

    EXPECT_TRUE(event.Reset());
    EXPECT_FALSE(event.Wait(20));
    event.Close();
    EXPECT_FALSE(event.IsCreated());
    EXPECT_FALSE(event.Wait(0));
}

// Counts its own destructions.
struct Tracked {
    explicit Tracked(std::atomic<int>& deletions) : deletions(deletions) {}
    virtual ~Tracked() { ++deletions; }
    std::atomic<int>& deletions;
};

TEST(SmartPtr, CountsHoldersAndDeletesOnLastRelease) {
    std::atomic<int> deletions{0};
    {
        TSmartPtr<Tracked> first(new Tracked(deletions));
        EXPECT_EQ(first.UseCount(), 1);
        TSmartPtr<Tracked> second(first);
        TSmartPtr<Tracked> third;
        third = second;
        EXPECT_EQ(first.UseCount(), 3);
        EXPECT_EQ(third.Get(), first.Get());

        second.Release();
        EXPECT_FALSE(second);
        EXPECT_EQ(first.UseCount(), 2);

        // Assigning the object already held must not delete it.
        first = first.Get();
        EXPECT_EQ(first.UseCount(), 2);

        // Assigning another object releases the old one's share.
        first = new Tracked(deletions);
        EXPECT_EQ(first.UseCount(), 1);
        EXPECT_EQ(third.UseCount(), 1);
        EXPECT_EQ(deletions.load(), 0);

        TSmartPtr<Tracked> empty;
        TSmartPtr<Tracked> copyOfEmpty(empty);
        EXPECT_FALSE(copyOfEmpty);
    }
    EXPECT_EQ(deletions.load(), 2);
}

TEST(SmartPtr, AtMost127HoldersShareAnObject) {
    std::atomic<int> deletions{0};
    {
        std::vector<TSmartPtr<Tracked>> holders;
        holders.reserve(200);
        holders.emplace_back(new Tracked(deletions));
        for (int i = 1; i < 127; ++i) {
            holders.emplace_back(holders.front());
        }
        EXPECT_EQ(holders.front().UseCount(), 127);

        // The 128th copy stays empty and leaves the count intact.
        TSmartPtr<Tracked> overflow(holders.front());
        EXPECT_FALSE(overflow);
        EXPECT_EQ(holders.front().UseCount(), 127);

        holders.pop_back();
        TSmartPtr<Tracked> again(holders.front());
        EXPECT_TRUE(again);
        EXPECT_EQ(again.UseCount(), 127);
    }
    EXPECT_EQ(deletions.load(), 1);
}

TEST(SmartPtr, ConcurrentCopiesAndReleasesDeleteExactlyOnce) {
    constexpr int kRounds = 20000;
    for (int trial = 0; trial < 5; ++trial) {
        std::atomic<int> deletions{0};
        auto* shared = new TSmartPtr<Tracked>(new Tracked(deletions));
        TSmartPtr<Tracked> a(*shared);
        TSmartPtr<Tracked> b(*shared);
        delete shared;  // the two threads' holders now own the object
        auto churn = [&](TSmartPtr<Tracked> mine) {
            for (int i = 0; i < kRounds; ++i) {
                TSmartPtr<Tracked> copy(mine);
                ASSERT_TRUE(copy);
            }
        };
        std::thread first(churn, a);
        std::thread second(churn, b);
        a.Release();
        b.Release();
        first.join();
        second.join();
        EXPECT_EQ(deletions.load(), 1);
    }
}

}  // namespace
}  // namespace brevane
