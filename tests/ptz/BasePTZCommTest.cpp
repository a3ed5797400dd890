#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ptz/RecordingComm.h"
#include "support/FakeDriver.h"
#include "support/Wait.h"

namespace brevane {
namespace {

using test::FakeDriver;
using test::RecordingComm;

IIPParams* const kParams = reinterpret_cast<IIPParams*>(0x1234);

TEST(PTZCommandThread, RequestsAreRefusedUntilOpenAndAfterStop) {
    FakeDriver driver;
    RecordingComm comm(&driver, 0);
    EXPECT_EQ(comm.StartMove(kParams, PTZ_DIR_LEFT, 5), PTZ_ERR_NOT_READY);
    EXPECT_FALSE(comm.StopZooming(kParams));
    EXPECT_EQ(comm.Center(kParams, 1, 2, 3), PTZ_ERR_NOT_READY);
    EXPECT_EQ(driver.FormattedLines(),
              (std::vector<std::string>{"1 brevane::CBasePTZComm::StartMove: cannot send message (1) to thread",
                                        "1 brevane::CBasePTZComm::StopZooming: cannot send message (4) to thread",
                                        "1 brevane::CBasePTZComm::Center: cannot send message (6) to thread"}));

    ASSERT_TRUE(comm.Open());
    EXPECT_EQ(comm.Name(), "BaseIPPTZThread_Ch1");
    EXPECT_TRUE(comm.Open());  // no second thread
    EXPECT_EQ(comm.StartMove(kParams, PTZ_DIR_LEFT, 5), PTZ_OK);
    comm.WaitForProcessed(1);

    comm.StopThread();
    EXPECT_FALSE(comm.IsThreadStarted());
    driver.ClearLines();
    EXPECT_FALSE(comm.StopIrisChanging(kParams));
    EXPECT_EQ(
        driver.FormattedLines(),
        (std::vector<std::string>{"1 brevane::CBasePTZComm::StopIrisChanging: cannot send message (4) to thread"}));
}

TEST(PTZCommandThread, ThreadNameCountsChannelsFromOneAndVendorCanRefuse) {
    FakeDriver driver;
    RecordingComm third(&driver, 2);
    ASSERT_TRUE(third.Open());
    EXPECT_EQ(third.Name(), "BaseIPPTZThread_Ch3");

    RecordingComm refusing(&driver, 0);
    refusing.canOpen = false;
    EXPECT_FALSE(refusing.Open());
    EXPECT_FALSE(refusing.IsThreadStarted());
    EXPECT_TRUE(driver.Lines().empty());
}

TEST(PTZCommandThread, EachRequestBecomesOneItemWithItsCodes) {
    FakeDriver driver;
    RecordingComm comm(&driver, 0);
    ASSERT_TRUE(comm.Open());
    EXPECT_EQ(comm.StartMove(kParams, PTZ_DIR_ZOOM_IN, 3), PTZ_OK);
    EXPECT_EQ(comm.StartFocus(kParams, true, 4), PTZ_OK);
    EXPECT_EQ(comm.StartFocus(kParams, false, 4), PTZ_OK);
    EXPECT_EQ(comm.StartIris(kParams, true, 5), PTZ_OK);
    EXPECT_EQ(comm.StartIris(kParams, false, 5), PTZ_OK);
    EXPECT_TRUE(comm.StopMoving(kParams));
    EXPECT_TRUE(comm.StopZooming(kParams));
    EXPECT_TRUE(comm.StopFocusing(kParams));
    EXPECT_TRUE(comm.StopIrisChanging(kParams));
    EXPECT_EQ(comm.AreaZoom(kParams, 1, 2, 3, 4), PTZ_OK);
    EXPECT_EQ(comm.Center(kParams, 5, 6, 7), PTZ_OK);
    EXPECT_EQ(comm.Unzoom(kParams, 8), PTZ_OK);
    // msg/param1/param3/param4/param5/param6
    EXPECT_EQ(comm.WaitForProcessed(12), (std::vector<std::string>{
                                             "1/0/8/38/0/0",   // move: direction, converted speed
                                             "2/2/104/0/0/0",  // focus near
                                             "2/1/104/0/0/0",  // focus far
                                             "3/3/205/0/0/0",  // iris open
                                             "3/4/205/0/0/0",  // iris close
                                             "4/5/0/0/0/0", "4/6/0/0/0/0", "4/7/0/0/0/0", "4/8/0/0/0/0",
                                             "5/0/1/2/3/4", "6/0/5/6/7/0", "7/0/8/0/0/0"}));
    for (IIPParams* params : comm.Params()) {
        EXPECT_EQ(params, kParams);
    }
}

TEST(PTZCommandThread, BurstKeepsOnlyTheNewest16Requests) {
    FakeDriver driver;
    RecordingComm comm(&driver, 0);
    ASSERT_TRUE(comm.Open());
    comm.Hold();
    ASSERT_EQ(comm.StartMove(kParams, 0, 1), PTZ_OK);  // taken by the thread, held
    ASSERT_TRUE(comm.WaitUntilHolding());
    for (int speed = 2; speed <= 21; ++speed) {
        ASSERT_EQ(comm.StartMove(kParams, 0, speed), PTZ_OK);
        EXPECT_LE(comm.Queued(), 16u);
    }
    comm.Release();
    const auto processed = comm.WaitForProcessed(17);
    ASSERT_EQ(processed.size(), 17u);
    EXPECT_EQ(processed[0], "1/0/0/10/0/0");
    for (int i = 1; i < 17; ++i) {
        EXPECT_EQ(processed[i], "1/0/0/" + std::to_string((i + 5) * 10) + "/0/0");  // speeds 6 to 21
    }
}

TEST(PTZCommandThread, AFailingItemDoesNotEndTheThread) {
    FakeDriver driver;
    RecordingComm comm(&driver, 0);
    ASSERT_TRUE(comm.Open());
    comm.ThrowOnce();
    ASSERT_EQ(comm.StartMove(kParams, 1, 1), PTZ_OK);
    ASSERT_EQ(comm.StartMove(kParams, 2, 1), PTZ_OK);
    EXPECT_EQ(comm.WaitForProcessed(2), (std::vector<std::string>{"1/0/1/11/0/0", "1/0/2/12/0/0"}));
}

TEST(PTZCommandThread, StopWaitsForTheItemInProgressAndDropsTheRest) {
    FakeDriver driver;
    RecordingComm comm(&driver, 0);
    ASSERT_TRUE(comm.Open());
    comm.Hold();
    ASSERT_EQ(comm.StartMove(kParams, 0, 1), PTZ_OK);
    ASSERT_TRUE(comm.WaitUntilHolding());
    ASSERT_EQ(comm.StartMove(kParams, 0, 2), PTZ_OK);
    ASSERT_EQ(comm.StartMove(kParams, 0, 3), PTZ_OK);
    std::thread stopper([&] { comm.StopThread(); });
    EXPECT_TRUE(test::WaitUntil([&] { return comm.Queued() == 0; }, 1000));
    comm.Release();
    stopper.join();
    EXPECT_EQ(comm.WaitForProcessed(1), (std::vector<std::string>{"1/0/0/10/0/0"}));
    EXPECT_EQ(comm.StartMove(kParams, 0, 4), PTZ_ERR_NOT_READY);
}

TEST(PTZCommandThread, LinesAreFormattedOnceAndPassedOnAsFinishedText) {
    FakeDriver driver;
    RecordingComm comm(&driver, 0);
    IDebugMessage& sink = comm;
    sink.DebugMessage(3, "%s: name \"%s\" %d", "op", "100% %s", 7);
    EXPECT_EQ(driver.FormattedLines(), (std::vector<std::string>{"3 op: name \"100% %s\" 7"}));
}

}  // namespace
}  // namespace brevane
