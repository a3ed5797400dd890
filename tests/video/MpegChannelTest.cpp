#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "video/ChannelFixture.h"
#include "video/SequenceHeader.h"

namespace brevane {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

class MpegChannelTest : public test::ChannelFixture {
   protected:
    MpegChannelTest() : ChannelFixture(test::kMpegStream) {}
};

TEST_F(MpegChannelTest, ConfiguresTheCameraThenDeliversFramesWithSequenceHeaders) {
    camera.SetScript(EndlessScript());
    // Every frame of one stream is checked in order: a time-out under load
    // would reconnect and start the stream over, so the camera gets time.
    driver.SetTimeout(5000);
    driver.SetStreamTimeout(5000);
    {
        CMpegHttpChannel channel(0, &driver, &receiver);
        ASSERT_TRUE(channel.Start({40, 50, 704, 576}));
        ASSERT_TRUE(receiver.WaitFor([&] { return receiver.frames.size() >= 11; }, 10s));
        EXPECT_EQ(channel.GetState(), CHANNEL_RUNNING);
    }
    const auto targets = camera.Targets();
    const std::vector<std::string> expected = {
        "/cgi-bin/set?m_mode=0", "/cgi-bin/set?m_qual=1250", "/cgi-bin/set?m_fram=1",
        "/cgi-bin/set?m_resl=4", "/cgi-bin/set?r_appl=1",    "/cgi-bin/get?mpg",
        "/cgi-bin/get?liv"};
    ASSERT_GE(targets.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(targets.begin(), targets.begin() + 7), expected);

    const auto header = BuildSequenceHeader(704, 576);
    EXPECT_EQ(header[23], 0x8B);
    EXPECT_EQ(header[24], 0x02);
    EXPECT_EQ(header[25], 0x24);
    EXPECT_EQ(header[26], 0x0A);
    for (std::size_t i = 0; i < receiver.frames.size(); ++i) {
        SCOPED_TRACE(i);
        const test::DeliveredFrame& frame = receiver.frames[i];
        const Bytes& payload = frames[i % frames.size()];
        const bool key = i % frames.size() == 0;
        Bytes data;
        if (key) {
            data.assign(header.begin(), header.end());
        }
        test::Append(data, payload);
        EXPECT_EQ(frame.data, data);
        EXPECT_EQ(frame.format, key ? contract::kFormatDivx : contract::kFormatDivi);
        EXPECT_EQ(frame.width, 704u);
        EXPECT_EQ(frame.height, 576u);
        EXPECT_EQ(frame.sizeClass, 4);
        EXPECT_EQ(frame.calls, (std::vector<int>{14, 12, 16, 4, 10, 5, 2}));
    }
    // 4069 + 28 bytes ask for 16384; exactly 4096 for 4096; 30000 for 32768,
    // 40000 for 131072; beyond that, the frame's own size.
    const std::uint32_t allocations[] = {16384, 4096, 4096, 32768, 4096, 131072, 131073};
    for (std::size_t i = 0; i < std::size(allocations); ++i) {
        EXPECT_EQ(receiver.frames[i].allocation, allocations[i]) << i;
    }
    EXPECT_EQ(allocator.outstanding, 0);
    EXPECT_EQ(driver.LinesWith("is online").size(), 1u);
    EXPECT_EQ(driver.LinesWith("Channel was stopped").size(), 1u);
    EXPECT_EQ(receiver.SignalLost(), 0);
}

TEST_F(MpegChannelTest, SettingsWithoutACameraCodeFailTheAttempt) {
    camera.SetScript(EndlessScript());
    struct Case {
        std::int32_t ntsc;
        StreamParams params;
    };
    const Case cases[] = {
        {0, {77, 50, 352, 288}},  // 12 frames per second
        {0, {0, 50, 352, 288}},
        {0, {40, 50, 704, 480}},  // an NTSC size with PAL
        {1, {40, 50, 352, 240}},  // 25 frames per second with NTSC
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params.frameInterval);
        camera.Sim().ClearRequestLog();
        driver.SetNtsc(c.ntsc);
        test::FakeReceiver lost;
        CMpegHttpChannel channel(0, &driver, &lost);
        ASSERT_TRUE(channel.Start(c.params));
        ASSERT_TRUE(lost.WaitFor([&] { return lost.signalLost >= 1; }, 5s));
        EXPECT_EQ(channel.GetState(), CHANNEL_SIGNAL_LOST);
        const auto started = std::chrono::steady_clock::now();
        channel.Stop();  // inside the 3-second pause
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
        EXPECT_EQ(camera.Targets(),
                  (std::vector<std::string>{"/cgi-bin/set?m_mode=0", "/cgi-bin/set?m_qual=1250"}));
    }
    // Each setting the camera lacks is told in its own words.
    EXPECT_EQ(driver.LinesWith("failed: the camera has no frame rate for a frame interval of 77 ms").size(), 1u);
    EXPECT_EQ(driver.LinesWith("failed: the camera has no frame rate for a frame interval of 0 ms").size(), 1u);
    EXPECT_EQ(driver.LinesWith("failed: the camera has no resolution 704x480").size(), 1u);
    EXPECT_EQ(driver.Lines().size(), 4u);
}

TEST_F(MpegChannelTest, SettingsReadBackDifferentlyFailTheAttempt) {
    camera.SetScript(EndlessScript());
    darvik::camsim::Faults faults;
    faults.padding = darvik::camsim::ValuePadding::LeadingZeros;
    faults.onlyPaths = {"/cgi-bin/get?mpg"};
    camera.Sim().SetFaults(faults);
    CMpegHttpChannel channel(0, &driver, &receiver);
    ASSERT_TRUE(channel.Start({40, 50, 352, 288}));
    ASSERT_TRUE(receiver.WaitFor([&] { return receiver.signalLost >= 1; }, 5s));
    channel.Stop();
    EXPECT_EQ(camera.CountTarget("/cgi-bin/get?mpg"), 1u);
    EXPECT_EQ(camera.CountTarget("/cgi-bin/get?liv"), 0u);
}

TEST_F(MpegChannelTest, StopDuringTheReadBackIsPromptAndNoSignalLoss) {
    darvik::camsim::Faults faults;
    faults.pathStatus.push_back({"/cgi-bin/get?mpg", 503, "busy"});
    camera.Sim().SetFaults(faults);
    CMpegHttpChannel channel(0, &driver, &receiver);
    ASSERT_TRUE(channel.Start({40, 50, 352, 288}));
    ASSERT_TRUE(WaitForTarget("/cgi-bin/get?mpg", 2));
    const auto started = std::chrono::steady_clock::now();
    channel.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
    EXPECT_EQ(receiver.SignalLost(), 0);
    EXPECT_EQ(camera.CountTarget("/cgi-bin/get?liv"), 0u);
    EXPECT_TRUE(driver.Lines().empty());
}

TEST_F(MpegChannelTest, WatchdogEndsAStreamWhoseFramesTheHostRefuses) {
    camera.SetScript(EndlessScript());
    receiver.accept = false;
    CMpegHttpChannel channel(0, &driver, &receiver);
    ASSERT_TRUE(channel.Start({40, 50, 352, 288}));
    ASSERT_TRUE(WaitForTarget("/cgi-bin/get?liv"));
    const auto streamStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(receiver.WaitFor([&] { return receiver.signalLost >= 1; }, 5s));
    const auto streamed = std::chrono::steady_clock::now() - streamStart;
    channel.Stop();
    // Twice the 300 ms stream time-out, with bytes arriving all along; four
    // times would be 1200 ms.
    EXPECT_GE(streamed, 550ms);
    EXPECT_LT(streamed, 1100ms);
    EXPECT_GT(receiver.Offered(), 0);
    const auto lines = driver.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "brevane::CBaseCameraChannel::ReportFailure: Camera 127.0.0.1:" +
                                 std::to_string(camera.Port()) +
                                 " (channel 0) failed: no picture accepted for 600 ms");
}

TEST_F(MpegChannelTest, RefusedFrameMakesTheChannelWaitForTheNextKeyFrame) {
    camera.SetScript(EndlessScript());
    int offered = 0;
    receiver.onDeliver = [&] { receiver.accept = ++offered != 1; };  // refuse the first
    CMpegHttpChannel channel(0, &driver, &receiver);
    ASSERT_TRUE(channel.Start({40, 50, 352, 288}));
    ASSERT_TRUE(receiver.WaitFor([&] { return receiver.frames.size() >= 3; }, 10s));
    channel.Stop();
    // The refused key frame's group is skipped; the next key frame comes
    // second, straight after the refusal.
    EXPECT_EQ(receiver.frames[0].format, contract::kFormatDivx);
    EXPECT_EQ(receiver.frames[1].format, contract::kFormatDivi);
    EXPECT_EQ(receiver.frames[0].data.size(), kSequenceHeaderSize + frames[0].size());
}

TEST_F(MpegChannelTest, BrokenStreamIsReportedAsLostSignal) {
    test::StreamScript script = EndlessScript();
    script.repeat = false;
    camera.SetScript(script);
    CMpegHttpChannel channel(4, &driver, &receiver);
    ASSERT_TRUE(channel.Start({40, 50, 352, 288}));
    ASSERT_TRUE(receiver.WaitFor([&] { return receiver.signalLost >= 1; }, 5s));
    EXPECT_EQ(channel.GetState(), CHANNEL_SIGNAL_LOST);
    channel.Stop();
    EXPECT_EQ(receiver.FrameCount(), frames.size());
    const auto lines = driver.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "brevane::CBaseCameraChannel::SetCameraState: Camera 127.0.0.1 is online");
    EXPECT_EQ(lines[1].level, 1);
    EXPECT_EQ(lines[1].text, "brevane::CBaseCameraChannel::SetCameraState: Camera 127.0.0.1 is offline or failed");
    EXPECT_EQ(lines[2].level, 1);
    EXPECT_EQ(lines[2].text, "brevane::CBaseCameraChannel::ReportFailure: Camera 127.0.0.1:" +
                                 std::to_string(camera.Port()) + " (channel 4) failed: stream ended");
}

}  // namespace
}  // namespace brevane
