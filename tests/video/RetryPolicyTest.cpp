#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "video/RetryPolicy.h"

namespace brevane {
namespace {

constexpr RetryPolicy::Schedule kMjpeg{500, 3, 5000};
constexpr RetryPolicy::Schedule kMpeg{3000, 1, 6000};

std::vector<std::uint32_t> BaseWaits(const RetryPolicy::Schedule& schedule, int failures) {
    RetryPolicy policy(schedule, 1);
    std::vector<std::uint32_t> waits{policy.BaseWaitMs()};
    for (int i = 0; i < failures; ++i) {
        policy.OnFailure();
        waits.push_back(policy.BaseWaitMs());
    }
    return waits;
}

TEST(RetryPolicy, KeepsEachChannelsIntervalsThenDoublesUpToAMinute) {
    EXPECT_EQ(BaseWaits(kMjpeg, 10), (std::vector<std::uint32_t>{500, 500, 500, 500, 5000, 10000, 20000,
                                                                 40000, 60000, 60000, 60000}));
    EXPECT_EQ(BaseWaits(kMpeg, 6), (std::vector<std::uint32_t>{3000, 3000, 6000, 12000, 24000, 48000, 60000}));
}

TEST(RetryPolicy, EveryWaitIsSpreadWithinAFifthEitherWayAndDiffersBySeed) {
    std::set<std::uint32_t> firstWaits;
    for (std::uint32_t seed = 1; seed <= 200; ++seed) {
        RetryPolicy policy(kMjpeg, seed);
        for (int i = 0; i < 8; ++i) {
            const std::uint32_t base = policy.BaseWaitMs();
            const std::uint32_t wait = policy.NextWaitMs();
            EXPECT_GE(wait, base - base / 5) << seed;
            EXPECT_LE(wait, base + base / 5) << seed;
            if (i == 0) {
                firstWaits.insert(wait);
            }
            policy.OnFailure();
        }
    }
    // Channels started together do not retry together.
    EXPECT_GT(firstWaits.size(), 50u);
    EXPECT_LT(*firstWaits.begin(), 450u);
    EXPECT_GT(*firstWaits.rbegin(), 550u);
}

TEST(RetryPolicy, OnlyTenSecondsOfPicturesMakeAConnectionGood) {
    RetryPolicy policy(kMjpeg, 7);
    for (int i = 0; i < 5; ++i) {
        policy.OnFailure();
    }
    // Pictures for just under 10 s: the end still counts as a failure.
    policy.OnConnected();
    EXPECT_FALSE(policy.OnPicture(1000));
    EXPECT_FALSE(policy.OnPicture(10999));
    policy.OnFailure();
    EXPECT_EQ(policy.Failures(), 6u);
    // A picture before the connection does not count either.
    EXPECT_FALSE(policy.OnPicture(50000));
    policy.OnConnected();
    EXPECT_FALSE(policy.OnPicture(20000));
    EXPECT_TRUE(policy.OnPicture(30000));
    EXPECT_FALSE(policy.OnPicture(40000));  // told once
    EXPECT_EQ(policy.Failures(), 0u);
    // The end of a good stream is no failure; the next failure is the first.
    policy.OnFailure();
    EXPECT_EQ(policy.Failures(), 0u);
    EXPECT_EQ(policy.BaseWaitMs(), 500u);
    policy.OnFailure();
    EXPECT_EQ(policy.Failures(), 1u);
}

}  // namespace
}  // namespace brevane
