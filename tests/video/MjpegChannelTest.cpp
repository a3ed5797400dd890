#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/Wait.h"
#include "video/IPVideoCapture.h"
#include "video/ChannelFixture.h"

namespace brevane {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

constexpr std::uint32_t kFormatJpeg = contract::kFormatJpeg;
const std::string kStatePrefix = "brevane::CBaseCameraChannel::SetCameraState: ";

class MjpegChannelTest : public test::ChannelFixture {
   protected:
    MjpegChannelTest() : ChannelFixture(test::kMjpegStream) {}
};

TEST_F(MjpegChannelTest, DeliversEveryPictureAsAJpegFrame) {
    camera.SetScript(EndlessScript());
    // Every frame of one stream is checked in order: a time-out under load
    // would reconnect and start the stream over, so the camera gets time.
    driver.SetTimeout(5000);
    driver.SetStreamTimeout(5000);
    {
        CMjpegHttpChannel channel(0, &driver, &receiver);
        ASSERT_TRUE(channel.Start({100, 80, 352, 288}));
        ASSERT_TRUE(receiver.WaitFor([&] { return receiver.frames.size() >= 12; }, 10s));
        EXPECT_EQ(channel.GetState(), CHANNEL_RUNNING);
        channel.Stop();
        EXPECT_EQ(channel.GetState(), CHANNEL_STOPPED);
    }
    const std::size_t afterStop = receiver.FrameCount();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(receiver.FrameCount(), afterStop);

    for (std::size_t i = 0; i < receiver.frames.size(); ++i) {
        const test::DeliveredFrame& frame = receiver.frames[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(frame.data, frames[i % frames.size()]);
        EXPECT_EQ(frame.format, kFormatJpeg);
        EXPECT_EQ(frame.allocation, frame.data.size());
        EXPECT_EQ(frame.width, 352u);
        EXPECT_EQ(frame.height, 288u);
        EXPECT_EQ(frame.sizeClass, 2);
        EXPECT_EQ(frame.calls, (std::vector<int>{14, 12, 16, 4, 10, 5, 2}));
    }
    EXPECT_EQ(allocator.lastSource, "DarvikIPCapture");
    EXPECT_EQ(allocator.outstanding, 0);

    const auto targets = camera.Targets();
    ASSERT_GE(targets.size(), 2u);
    EXPECT_EQ(targets[0], "/cgi-bin/set?j_qual=0");
    EXPECT_EQ(targets[1], "/cgi-bin/get?jpgn");
    const auto lines = driver.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, 3);
    EXPECT_EQ(lines[0].text, kStatePrefix + "Camera 127.0.0.1 is online");
    EXPECT_EQ(lines[1].level, 3);
    EXPECT_EQ(lines[1].text, kStatePrefix + "Camera 127.0.0.1 is offline. Channel was stopped");
}

TEST_F(MjpegChannelTest, QualityAndWidthChooseTheRequests) {
    camera.SetScript(EndlessScript());
    struct Case {
        StreamParams params;
        std::string quality;
        std::string stream;  // empty: no stream request can be made
    };
    const Case cases[] = {
        {{100, 33, 160, 120}, "/cgi-bin/set?j_qual=2", "/cgi-bin/get?jpgl"},
        {{100, 34, 704, 576}, "/cgi-bin/set?j_qual=1", "/cgi-bin/get?jpgh"},
        {{100, 66, 640, 480}, "/cgi-bin/set?j_qual=1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quality + " " + c.stream);
        camera.Sim().ClearRequestLog();
        CMjpegHttpChannel channel(0, &driver, &receiver);
        ASSERT_TRUE(channel.Start(c.params));
        test::WaitUntil([&] { return camera.Targets().size() >= (c.stream.empty() ? 1u : 2u); });
        if (c.stream.empty()) {
            // The empty path never leaves the client; nothing connects.
            std::this_thread::sleep_for(100ms);
            EXPECT_EQ(channel.GetState(), CHANNEL_CONNECTING);
        }
        channel.Stop();
        const auto targets = camera.Targets();
        ASSERT_FALSE(targets.empty());
        EXPECT_EQ(targets[0], c.quality);
        if (!c.stream.empty()) {
            ASSERT_GE(targets.size(), 2u);
            EXPECT_EQ(targets[1], c.stream);
        } else {
            for (const std::string& target : targets) {
                EXPECT_EQ(target, c.quality);
            }
        }
    }
}

TEST_F(MjpegChannelTest, BrokenStreamIsReportedAndReconnected) {
    test::StreamScript script = EndlessScript();
    script.repeat = false;  // five frames, then the response ends
    camera.SetScript(script);
    CMjpegHttpChannel channel(2, &driver, &receiver);
    ASSERT_TRUE(channel.Start({100, 80, 352, 288}));
    // Five frames per connection: eight need a second one.
    ASSERT_TRUE(receiver.WaitFor([&] { return receiver.frames.size() >= 8; }, 10s));
    channel.Stop();

    EXPECT_GE(camera.CountTarget("/cgi-bin/get?jpgn"), 2u);
    // On a loaded machine the second stream may end too before Stop comes:
    // every end is told once, with its lost signal.
    const std::size_t ends = driver.LinesWith("(channel 2) failed: stream ended").size();
    EXPECT_GE(ends, 1u);
    EXPECT_EQ(ends, driver.LinesWith("Signal was lost for camera 127.0.0.1 (channel 2)").size());
    const auto lines = driver.LinesWith(kStatePrefix);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, kStatePrefix + "Camera 127.0.0.1 is online");
    EXPECT_EQ(lines[1].level, 1);
    EXPECT_EQ(lines[1].text, kStatePrefix + "Signal was lost for camera 127.0.0.1 (channel 2)");
    EXPECT_EQ(lines[2].text, kStatePrefix + "Camera 127.0.0.1 is online");
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(receiver.frames[i].data, frames[i % frames.size()]) << i;
    }
}

TEST_F(MjpegChannelTest, RefusedPictureEndsTheStreamWithTheHttpStatusLine) {
    camera.SetScript(EndlessScript());
    bool first = true;  // accept only the first picture
    receiver.onDeliver = [&] {
        receiver.accept = first;
        first = false;
    };
    CMjpegHttpChannel channel(0, &driver, &receiver);
    ASSERT_TRUE(channel.Start({100, 80, 352, 288}));
    // Each refusal ends the stream; the next connection follows after 500 ms.
    test::WaitUntil([&] { return camera.CountTarget("/cgi-bin/get?jpgn") >= 3; }, 10000);
    channel.Stop();
    EXPECT_GE(camera.CountTarget("/cgi-bin/get?jpgn"), 3u);
    EXPECT_EQ(receiver.FrameCount(), 1u);
    // Online once, offline once: the refusals after that come from a camera
    // that was never online again.
    const auto lines = driver.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, kStatePrefix + "Camera 127.0.0.1 is online");
    EXPECT_EQ(lines[1].level, 1);
    EXPECT_EQ(lines[1].text, kStatePrefix + "Camera 127.0.0.1 is offline or failed, HTTP error code 200");
}

TEST_F(MjpegChannelTest, FailedConnectionsAreRetriedQuicklyFourTimesThenEveryFiveSeconds) {
    darvik::camsim::Faults faults;
    faults.pathStatus.push_back({"/cgi-bin/get?jpgn", 404, "no"});
    camera.Sim().SetFaults(faults);
    CMjpegHttpChannel channel(0, &driver, &receiver);
    ASSERT_TRUE(channel.Start({100, 80, 352, 288}));
    // Attempts at about 0.5, 1.0, 1.5 and 2.0 s; the fifth not before 7 s.
    std::this_thread::sleep_for(3500ms);
    EXPECT_EQ(camera.CountTarget("/cgi-bin/get?jpgn"), 4u);
    EXPECT_EQ(channel.GetState(), CHANNEL_CONNECTING);
    const auto started = std::chrono::steady_clock::now();
    channel.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    // Never online: no state line, only why each attempt failed.
    const auto lines = driver.Lines();
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& line : lines) {
        EXPECT_EQ(line.level, 1);
        EXPECT_EQ(line.text, "brevane::CBaseCameraChannel::ReportFailure: Camera 127.0.0.1:" +
                                 std::to_string(camera.Port()) + " (channel 0) failed: 404 Not Found");
    }
    EXPECT_EQ(receiver.FrameCount(), 0u);
}

TEST_F(MjpegChannelTest, CameraDroppingTheStreamAfterEachPictureBacksOff) {
    test::StreamScript script = EndlessScript();
    script.body = test::MultipartPart(frames[0]);
    script.repeat = false;  // one picture, then the response ends
    camera.SetScript(script);
    CMjpegHttpChannel channel(0, &driver, &receiver);
    ASSERT_TRUE(channel.Start({100, 80, 352, 288}));
    // A connection per picture every 500 ms would make seven; the broken
    // streams count as failures, so after the fourth the channel waits 5 s.
    std::this_thread::sleep_for(3500ms);
    channel.Stop();
    EXPECT_EQ(camera.CountTarget("/cgi-bin/get?jpgn"), 4u);
    EXPECT_EQ(receiver.FrameCount(), 4u);
    EXPECT_EQ(driver.LinesWith("failed: stream ended").size(), 4u);
}

// Through the video capture object, as the host drives it.
class MjpegCreator : public ICustomCreator {
   public:
    explicit MjpegCreator(IDriver* driver) : m_driver(driver) {}
    ICameraChannel* CreateChannel(std::uint32_t index, ipcapture::IFrameReceiver* receiver) override {
        return new CMjpegHttpChannel(index, m_driver, receiver);
    }

   private:
    IDriver* m_driver;
};

TEST_F(MjpegChannelTest, RestartKeepsAskingForTheStartQuality) {
    camera.SetScript(EndlessScript());
    MjpegCreator creator(&driver);
    CIPVideoCapture capture(&creator, 1);
    test::StreamSettings settings(352, 288, 100, 80);
    ASSERT_TRUE(capture.StartChannel(0, &receiver, &settings));
    ASSERT_TRUE(receiver.WaitFor([&] { return !receiver.frames.empty(); }, 10s));
    test::Resolution resolution(704, 576);
    ASSERT_TRUE(capture.RestartChannel(0, &resolution, 66));
    WaitForTarget("/cgi-bin/get?jpgh");
    EXPECT_TRUE(capture.StopChannel(0));
    std::vector<std::string> qualities;
    for (const std::string& target : camera.Targets()) {
        if (target.rfind("/cgi-bin/set?j_qual=", 0) == 0) {
            qualities.push_back(target);
        }
    }
    EXPECT_EQ(qualities, (std::vector<std::string>{"/cgi-bin/set?j_qual=0", "/cgi-bin/set?j_qual=0"}));
    EXPECT_EQ(camera.CountTarget("/cgi-bin/get?jpgh"), 1u);
}

}  // namespace
}  // namespace brevane
