#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/WaitableEvent.h"
#include "platform/Platform.h"
#include "support/Wait.h"
#include "thread/WorkItemThread.h"
#include "thread/WorkItemThreadEx.h"

namespace brevane {
namespace {

using brevane::test::WaitUntil;

// What happened to the items of one queue, in order.
struct Journal {
    std::mutex mutex;
    std::vector<int> processed;            // guarded by mutex
    std::vector<int> deletedUnprocessed;   // guarded by mutex
    std::vector<int> deletedProcessed;     // guarded by mutex

    std::vector<int> Processed() {
        std::lock_guard<std::mutex> guard(mutex);
        return processed;
    }
    std::vector<int> Discarded() {
        std::lock_guard<std::mutex> guard(mutex);
        return deletedUnprocessed;
    }
    std::size_t Deleted() {
        std::lock_guard<std::mutex> guard(mutex);
        return deletedProcessed.size() + deletedUnprocessed.size();
    }
};

enum class Behaviour { Normal, Throw, Block };

template <class Queue>
class Item : public Queue::IWorkItem {
   public:
    Item(Journal& journal, int id, Behaviour behaviour = Behaviour::Normal)
        : journal(journal), id(id), behaviour(behaviour) {}
    ~Item() override {
        std::lock_guard<std::mutex> guard(journal.mutex);
        (processed ? journal.deletedProcessed : journal.deletedUnprocessed).push_back(id);
    }
    Journal& journal;
    const int id;
    const Behaviour behaviour;
    bool processed = false;  // touched only by the worker
};

// A queue that journals its items. A Block item holds the worker until
// `release` is set.
template <class Base>
class TestQueue : public Base {
   public:
    using ItemType = Item<Base>;
    static constexpr bool kBounded = std::is_same_v<Base, CWorkItemThreadEx>;

    ~TestQueue() override {
        release.Set();
        this->Stop();
    }
    void ProcessWorkItem(typename Base::IWorkItem* raw) override {
        auto* item = static_cast<ItemType*>(raw);
        item->processed = true;
        {
            std::lock_guard<std::mutex> guard(journal.mutex);
            journal.processed.push_back(item->id);
        }
        if (item->behaviour == Behaviour::Throw) {
            throw std::runtime_error("item failed");
        }
        if (item->behaviour == Behaviour::Block) {
            blocked.Set();
            release.Wait(platform::kInfinite);
        }
    }
    // Posts like the system's callers: a refused item the queue left with
    // the caller is deleted by the caller.
    bool Post(int id, Behaviour behaviour = Behaviour::Normal) {
        auto* item = new ItemType(journal, id, behaviour);
        const bool posted = PostItem(item);
        if (!posted && !kBounded) {
            delete item;
        }
        return posted;
    }
    bool PostItem(ItemType* item, std::uint32_t maxQueued = 0) {
        if constexpr (kBounded) {
            return this->PostWorkItem(item, maxQueued);
        } else {
            return this->PostWorkItem(item);
        }
    }
    bool Running() const { return this->m_running.load(); }
    void ClearRunningWithoutSignal() { this->m_running.store(false); }

    Journal journal;
    platform::WaitableEvent blocked{/*manualReset=*/false, false};
    platform::WaitableEvent release{/*manualReset=*/true, false};
};

template <class Queue>
class WorkItemThreads : public ::testing::Test {};

using QueueTypes = ::testing::Types<TestQueue<thread::CWorkItemThread>, TestQueue<CWorkItemThreadEx>>;
TYPED_TEST_SUITE(WorkItemThreads, QueueTypes);

TYPED_TEST(WorkItemThreads, RefusedPostsLeaveOwnershipAsDocumented) {
    TypeParam queue;
    auto* early = new typename TypeParam::ItemType(queue.journal, 1);
    EXPECT_FALSE(queue.PostItem(early));
    if constexpr (TypeParam::kBounded) {
        EXPECT_EQ(queue.journal.Deleted(), 1u);  // the queue deleted it
    } else {
        EXPECT_EQ(queue.journal.Deleted(), 0u);  // still the caller's
        delete early;
    }
    ASSERT_TRUE(queue.Start("queue"));
    EXPECT_FALSE(queue.PostItem(nullptr));
    EXPECT_TRUE(queue.Stop());
    EXPECT_TRUE(queue.journal.Processed().empty());
}

TYPED_TEST(WorkItemThreads, ItemsRunInPostingOrderOnceEachThenAreDeleted) {
    constexpr int kItems = 50;
    TypeParam queue;
    ASSERT_TRUE(queue.Start("queue"));
    for (int i = 0; i < kItems; ++i) {
        ASSERT_TRUE(queue.Post(i));
    }
    ASSERT_TRUE(WaitUntil([&] { return queue.journal.Deleted() == kItems; }));
    std::vector<int> expected(kItems);
    for (int i = 0; i < kItems; ++i) {
        expected[i] = i;
    }
    EXPECT_EQ(queue.journal.Processed(), expected);
    std::lock_guard<std::mutex> guard(queue.journal.mutex);
    EXPECT_EQ(queue.journal.deletedProcessed, expected);  // each deleted after its run
}

TYPED_TEST(WorkItemThreads, ExceptionInOneItemDoesNotStopTheNext) {
    TypeParam queue;
    ASSERT_TRUE(queue.Start("queue"));
    ASSERT_TRUE(queue.Post(1, Behaviour::Throw));
    ASSERT_TRUE(queue.Post(2));
    ASSERT_TRUE(WaitUntil([&] { return queue.journal.Deleted() == 2; }));
    EXPECT_EQ(queue.journal.Processed(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(queue.IsRunning());
}

TYPED_TEST(WorkItemThreads, StopWaitsForItemInProgressAndDiscardsTheRest) {
    TypeParam queue;
    ASSERT_TRUE(queue.Start("queue"));
    ASSERT_TRUE(queue.Post(1, Behaviour::Block));
    ASSERT_TRUE(queue.blocked.Wait(5000));
    ASSERT_TRUE(queue.Post(2));
    ASSERT_TRUE(queue.Post(3));

    // Let the blocked item finish only once the stop is under way.
    std::thread releaser([&] {
        WaitUntil([&] { return !queue.Running(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        queue.release.Set();
    });
    EXPECT_TRUE(queue.Stop());
    releaser.join();

    EXPECT_EQ(queue.journal.Processed(), (std::vector<int>{1}));
    EXPECT_EQ(queue.journal.Deleted(), 3u);  // item 1 was done before Stop returned
    EXPECT_EQ(queue.journal.Discarded(), (std::vector<int>{2, 3}));
    EXPECT_FALSE(queue.Post(4));
}

TYPED_TEST(WorkItemThreads, StopThenStartRunsANewWorker) {
    TypeParam queue;
    ASSERT_TRUE(queue.Start("worker"));
    ASSERT_TRUE(queue.Post(1));
    ASSERT_TRUE(WaitUntil([&] { return queue.journal.Deleted() == 1; }));
    ASSERT_TRUE(queue.Stop());
    EXPECT_FALSE(queue.IsRunning());

    ASSERT_TRUE(queue.Start("worker"));
    EXPECT_TRUE(queue.IsRunning());
    ASSERT_TRUE(queue.Post(2));
    ASSERT_TRUE(WaitUntil([&] { return queue.journal.Deleted() == 2; }));
    EXPECT_EQ(queue.journal.Processed(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(queue.Stop());
}

TYPED_TEST(WorkItemThreads, IdleWorkerNoticesClearedFlagWithoutSignal) {
    TypeParam queue;
    ASSERT_TRUE(queue.Start("idle"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // worker is waiting
    queue.ClearRunningWithoutSignal();
    // The idle wait is one second; allow for a slow machine.
    EXPECT_TRUE(WaitUntil([&] { return !queue.IsRunning(); }, 3000));
}

using BoundedQueue = TestQueue<CWorkItemThreadEx>;

TEST(WorkItemThreadEx, FullQueueDropsTheOldestPendingItem) {
    constexpr std::uint32_t kLimit = 16;
    BoundedQueue queue;
    ASSERT_TRUE(queue.Start("BaseIPPTZThread_Ch1"));
    ASSERT_TRUE(queue.PostItem(new BoundedQueue::ItemType(queue.journal, 0, Behaviour::Block), kLimit));
    ASSERT_TRUE(queue.blocked.Wait(5000));
    for (int id = 1; id <= static_cast<int>(kLimit) + 1; ++id) {
        ASSERT_TRUE(queue.PostItem(new BoundedQueue::ItemType(queue.journal, id), kLimit));
    }
    // Item 1 was pushed out by the seventeenth pending post, unprocessed.
    EXPECT_EQ(queue.journal.Discarded(), (std::vector<int>{1}));
    queue.release.Set();
    ASSERT_TRUE(WaitUntil([&] { return queue.journal.Deleted() == kLimit + 2; }));
    std::vector<int> expected{0};
    for (int id = 2; id <= static_cast<int>(kLimit) + 1; ++id) {
        expected.push_back(id);
    }
    EXPECT_EQ(queue.journal.Processed(), expected);
}

TEST(WorkItemThreadEx, LimitZeroNeverDrops) {
    constexpr int kItems = 100;
    BoundedQueue queue;
    ASSERT_TRUE(queue.Start("unbounded"));
    ASSERT_TRUE(queue.PostItem(new BoundedQueue::ItemType(queue.journal, 0, Behaviour::Block), 0));
    ASSERT_TRUE(queue.blocked.Wait(5000));
    for (int id = 1; id <= kItems; ++id) {
        ASSERT_TRUE(queue.PostItem(new BoundedQueue::ItemType(queue.journal, id), 0));
    }
    queue.release.Set();
    ASSERT_TRUE(WaitUntil([&] { return queue.journal.Deleted() == kItems + 1; }));
    EXPECT_TRUE(queue.journal.Discarded().empty());
    EXPECT_EQ(queue.journal.Processed().size(), static_cast<std::size_t>(kItems + 1));
}

}  // namespace
}  // namespace brevane
