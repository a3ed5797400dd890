// The process counts the stop cases and the soak compare: a file opened and
// a thread started each show as one more, and are gone again once closed
// and joined.
#include "platform/ProcessCounts.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "support/TempDir.h"
#include "support/Wait.h"

namespace {

using brevane::platform::ReadProcessCounts;

TEST(ProcessCountsTest, FollowTheHandlesAndThreadsOfThisProcess) {
    const brevane::test::TempDir dir;
    // The threads library sets itself up for good with its first thread
    // (on Windows it keeps a handle or two from then on).
    std::thread([] {}).join();
    const auto before = ReadProcessCounts();
    ASSERT_GT(before.handles, 0u);
    ASSERT_GT(before.threads, 0u);
    EXPECT_GT(before.residentKiB, 0u);
    {
        std::ofstream file(dir.File("held"));
        ASSERT_TRUE(file.is_open());
        EXPECT_EQ(ReadProcessCounts().handles, before.handles + 1);
    }
    EXPECT_EQ(ReadProcessCounts().handles, before.handles);

    {
        // The lock and the condition hold handles of their own on Windows
        // while they live, so they end with the thread.
        std::mutex mutex;
        std::condition_variable released;
        bool release = false;
        std::thread thread([&] {
            std::unique_lock lock(mutex);
            released.wait(lock, [&] { return release; });
        });
        EXPECT_TRUE(brevane::test::WaitUntil([&] { return ReadProcessCounts().threads == before.threads + 1; }));
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        released.notify_one();
        thread.join();
    }
    EXPECT_TRUE(brevane::test::WaitUntil([&] { return ReadProcessCounts().threads == before.threads; }));
    EXPECT_TRUE(brevane::test::WaitUntil([&] { return ReadProcessCounts().handles == before.handles; }))
        << ReadProcessCounts().handles << " handles, " << before.handles << " before";
}

}  // namespace
