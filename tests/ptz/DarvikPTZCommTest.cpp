#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "ptz/DarvikPTZComm.h"
#include "ptz/SimulatedCamera.h"
#include "support/Wait.h"

namespace brevane {
namespace {

using test::SimulatedCamera;
using test::WaitUntil;

TEST(DarvikPTZSpeeds, HostSpeedsMapToTheCameraRanges) {
    test::FakeDriver driver;
    CDarvikPTZComm comm(&driver, 0);
    const struct {
        std::int32_t speed, pan, zoom;
    } cases[] = {{1, 1, 1}, {2, 1, 2}, {3, 2, 4}, {8, 7, 14}, {16, 15, 30}, {0, 1, 0}, {17, 15, 31}};
    for (const auto& c : cases) {
        for (std::int32_t direction = 0; direction < 8; ++direction) {
            EXPECT_EQ(comm.GetMoveSpeed(direction, c.speed), c.pan) << "speed " << c.speed;
        }
        EXPECT_EQ(comm.GetMoveSpeed(PTZ_DIR_ZOOM_IN, c.speed), c.zoom) << "speed " << c.speed;
        EXPECT_EQ(comm.GetMoveSpeed(PTZ_DIR_ZOOM_OUT, c.speed), c.zoom) << "speed " << c.speed;
    }
    // Far outside the host's range: still a number, no overflow.
    EXPECT_GT(comm.GetMoveSpeed(PTZ_DIR_ZOOM_IN, INT_MAX), 1000000);
    EXPECT_LT(comm.GetMoveSpeed(PTZ_DIR_ZOOM_IN, INT_MIN), -1000000);
}

TEST(DarvikPTZCommands, EachRequestSendsItsCommand) {
    SimulatedCamera camera;
    CDarvikPTZComm comm(&camera.driver, 0);
    ASSERT_TRUE(comm.Open());
    // One request at a time, so the queue never drops one.
    std::size_t sent = 0;
    auto send = [&](auto request) {
        request();
        ASSERT_EQ(camera.WaitForTargets(++sent).size(), sent);
    };
    for (std::int32_t direction = 0; direction <= 9; ++direction) {
        send([&] { EXPECT_EQ(comm.StartMove(nullptr, direction, 8), PTZ_OK); });
    }
    send([&] { EXPECT_EQ(comm.StartMove(nullptr, PTZ_DIR_ZOOM_IN, 16), PTZ_OK); });
    send([&] { EXPECT_EQ(comm.StartMove(nullptr, PTZ_DIR_LEFT, 16), PTZ_OK); });
    send([&] { EXPECT_EQ(comm.StartFocus(nullptr, true, 7), PTZ_OK); });
    send([&] { EXPECT_EQ(comm.StartFocus(nullptr, false, 7), PTZ_OK); });
    send([&] { EXPECT_EQ(comm.StartIris(nullptr, true, 7), PTZ_OK); });
    send([&] { EXPECT_EQ(comm.StartIris(nullptr, false, 7), PTZ_OK); });
    // Accepted, but the camera has no command for them: the next request is
    // the first to arrive.
    EXPECT_EQ(comm.AreaZoom(nullptr, 1, 2, 3, 4), PTZ_OK);
    EXPECT_EQ(comm.Center(nullptr, 1, 2, 3), PTZ_OK);
    EXPECT_EQ(comm.Unzoom(nullptr, 1), PTZ_OK);
    send([&] { EXPECT_TRUE(comm.StopMoving(nullptr)); });
    send([&] { EXPECT_TRUE(comm.StopZooming(nullptr)); });
    send([&] { EXPECT_TRUE(comm.StopFocusing(nullptr)); });
    send([&] { EXPECT_TRUE(comm.StopIrisChanging(nullptr)); });
    EXPECT_EQ(camera.Targets(),
              (std::vector<std::string>{
                  "/cgi-bin/set?p_panl=7", "/cgi-bin/set?p_panr=7", "/cgi-bin/set?p_tilu=7", "/cgi-bin/set?p_tild=7",
                  "/cgi-bin/set?p_panl=7&p_tilu=7", "/cgi-bin/set?p_panr=7&p_tilu=7",
                  "/cgi-bin/set?p_panl=7&p_tild=7", "/cgi-bin/set?p_panr=7&p_tild=7", "/cgi-bin/set?p_zomi=14",
                  "/cgi-bin/set?p_zomo=14", "/cgi-bin/set?p_zomi=30", "/cgi-bin/set?p_panl=15",
                  "/cgi-bin/set?p_fcsn=1", "/cgi-bin/set?p_fcsf=1", "/cgi-bin/set?p_irso=1", "/cgi-bin/set?p_irsc=1",
                  "/cgi-bin/set?p_ptms=1", "/cgi-bin/set?p_zoms=1", "/cgi-bin/set?p_fcss=1", "/cgi-bin/set?p_irss=1"}));
    EXPECT_TRUE(camera.driver.Lines().empty());

    // The commands move the head and stop it again. The camera logs a
    // request before it carries it out, so the head is waited for.
    send([&] { EXPECT_EQ(comm.StartMove(nullptr, PTZ_DIR_RIGHT, 16), PTZ_OK); });
    EXPECT_TRUE(WaitUntil([&] { return camera.Sim().Head().pan.direction == 1; }));
    send([&] { EXPECT_TRUE(comm.StopMoving(nullptr)); });
    EXPECT_TRUE(WaitUntil([&] { return !camera.Sim().Head().pan.Active(); }));
}

TEST(DarvikPTZCommands, FailuresAreLoggedWithTheCommandAndTheQueueGoesOn) {
    darvik::camsim::Config config;
    config.faults.pathStatus = {{"/cgi-bin/set?p_ptms", 500, "no"}};
    SimulatedCamera camera(config);
    CDarvikPTZComm comm(&camera.driver, 0);
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(comm.StopMoving(nullptr));
    ASSERT_EQ(comm.StartMove(nullptr, 12, 8), PTZ_OK);  // no command for direction 12
    ASSERT_EQ(comm.StartMove(nullptr, PTZ_DIR_UP, 1), PTZ_OK);
    camera.WaitForTargets(2);
    ASSERT_TRUE(camera.driver.WaitForLine("p_ptms=1"));
    const auto lines = camera.driver.FormattedLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "1 brevane::CDarvikPTZComm::SendCommand Could not send command, /cgi-bin/set?p_ptms=1"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "1 brevane::CDarvikPTZComm::SendCommand Could not send command, "),
              lines.end());
    EXPECT_EQ(camera.Targets(), (std::vector<std::string>{"/cgi-bin/set?p_ptms=1", "/cgi-bin/set?p_tilu=1"}));

    // Preset commands report the camera's refusal to their caller.
    EXPECT_FALSE(comm.MoveToPreposition(42, "Nowhere", 0));
    EXPECT_TRUE(comm.SavePreposition(3, "Door"));
    EXPECT_TRUE(comm.MoveToPreposition(3, "Door", 0));
    EXPECT_TRUE(comm.DeletePreposition(3, "Door"));
    EXPECT_TRUE(camera.Sim().Presets().empty());
}

// A preset call waits at most for the move in flight, never for the moves
// queued behind it: its request reaches the camera before the last of six
// queued moves. Told by the order of the camera's requests, so a slow
// machine cannot break it: each move is answered after 300 ms, and the
// preset call would have to be held for five of them to come last.
TEST(DarvikPTZCommands, PresetCommandsDoNotWaitForTheQueue) {
    darvik::camsim::Config config;
    config.faults.delayMs = 300;
    config.faults.onlyPaths = {"/cgi-bin/set?p_pan"};
    SimulatedCamera camera(config);
    // A generous time-out: each move takes 300 ms to be answered.
    DEVICE_INFO device = camera.driver.GetDeviceInfo();
    device.timeout = 5000;
    camera.driver.SetDevice(device);
    CDarvikPTZComm patient(&camera.driver, 0);
    ASSERT_TRUE(patient.Open());
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(patient.StartMove(nullptr, PTZ_DIR_LEFT, 2), PTZ_OK);
    }
    EXPECT_TRUE(patient.SavePreposition(3, "Door"));
    // Every queued move still goes out, after the preset.
    const auto targets = camera.WaitForTargets(7, 20000);
    ASSERT_EQ(targets.size(), 7u);
    const auto save = std::find(targets.begin(), targets.end(), "/cgi-bin/set?p_prss=3");
    ASSERT_NE(save, targets.end());
    EXPECT_LT(save - targets.begin(), 6) << testing::PrintToString(targets);
    EXPECT_EQ(std::count_if(targets.begin(), targets.end(),
                            [](const std::string& t) { return t.rfind("/cgi-bin/set?p_pan", 0) == 0; }),
              6);
}

TEST(DarvikPTZCommands, PresetCallsAndQueuedCommandsShareTheClientSafely) {
    SimulatedCamera camera;
    CDarvikPTZComm comm(&camera.driver, 0);
    ASSERT_TRUE(comm.Open());
    std::atomic<int> failures{0};
    std::thread presets([&] {
        for (std::uint32_t i = 0; i < 30; ++i) {
            failures += comm.SavePreposition(i % 5, "P") ? 0 : 1;
            failures += comm.MoveToPreposition(i % 5, "P", 0) ? 0 : 1;
        }
    });
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(comm.StartMove(nullptr, i % 10, 1 + i % 16), PTZ_OK);
        if (i % 8 == 7) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    presets.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(camera.driver.Lines().empty());
}

}  // namespace
}  // namespace brevane
