#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <iostream>
#include <thread>

#include "video/BaseCameraChannel.h"
#include "video/SequenceHeader.h"
#include "video/VideoTables.h"
#include "platform/Platform.h"
#include "support/FakeDriver.h"
#include "platform/ProcessCounts.h"
#include "support/Wine.h"
#include "support/Wait.h"
#include "video/ChannelFixture.h"

namespace brevane {
namespace {

using namespace std::chrono_literals;
using test::FakeDriver;

// A channel whose worker runs a body chosen by the test.
class TestChannel : public CBaseCameraChannel {
   public:
    TestChannel(IDriver* driver, std::uint32_t index = 7) : CBaseCameraChannel(index, driver, nullptr) {}
    ~TestChannel() override { Stop(); }

    using CBaseCameraChannel::m_httpStatus;
    using CBaseCameraChannel::SetCameraState;
    using CBaseCameraChannel::WaitForStop;

    std::function<void(TestChannel&)> body = [](TestChannel& self) { self.WaitForStop(platform::kInfinite); };
    std::atomic<int> runsStarted{0};
    std::atomic<int> runsEnded{0};
    std::atomic<int> stoppingCalls{0};

   protected:
    void Run() override {
        ++runsStarted;
        body(*this);
        ++runsEnded;
    }
    void OnStopping() override { ++stoppingCalls; }
};

TEST(CameraChannelBase, CameraStateLinesAreLoggedOncePerChange) {
    FakeDriver driver;
    driver.SetAddress("10.1.2.3");
    TestChannel channel(&driver);

    // Never online: going offline says nothing.
    channel.SetCameraState(false);
    EXPECT_TRUE(driver.Lines().empty());

    const std::string prefix = "brevane::CBaseCameraChannel::SetCameraState: ";
    struct Case {
        std::int32_t state;
        std::uint32_t httpStatus;
        int level;
        std::string text;
    };
    const Case cases[] = {
        {CHANNEL_STOPPED, 0, 3, "Camera 10.1.2.3 is offline. Channel was stopped"},
        {CHANNEL_SIGNAL_LOST, 401, 1, "Signal was lost for camera 10.1.2.3 (channel 7)"},
        {CHANNEL_RUNNING, 401, 1, "Camera 10.1.2.3 is offline or failed, HTTP error code 401"},
        {CHANNEL_CONNECTING, 0, 1, "Camera 10.1.2.3 is offline or failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::size_t before = driver.Lines().size();
        channel.SetCameraState(true);
        channel.SetCameraState(true);
        channel.SetState(c.state);
        channel.m_httpStatus = c.httpStatus;
        channel.SetCameraState(false);
        channel.SetCameraState(false);
        const auto lines = driver.Lines();
        ASSERT_EQ(lines.size(), before + 2);
        EXPECT_EQ(lines[before].level, 3);
        EXPECT_EQ(lines[before].text, prefix + "Camera 10.1.2.3 is online");
        EXPECT_EQ(lines[before + 1].level, c.level);
        EXPECT_EQ(lines[before + 1].text, prefix + c.text);
    }
}

TEST(CameraChannelBase, StopWithoutWorkerReturnsAtOnceAndLogsNothing) {
    FakeDriver driver;
    TestChannel channel(&driver);
    const auto started = std::chrono::steady_clock::now();
    channel.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 100ms);
    EXPECT_EQ(channel.GetState(), CHANNEL_STOPPED);
    EXPECT_EQ(channel.stoppingCalls, 0);
    EXPECT_TRUE(driver.Lines().empty());
}

TEST(CameraChannelBase, StartEndsTheRunningWorkerBeforeTheNextBegins) {
    FakeDriver driver;
    TestChannel channel(&driver);
    std::atomic<std::int32_t> stateWhenFirstEnded{-1};
    std::atomic<int> runsWhenFirstEnded{-1};
    channel.body = [&](TestChannel& self) {
        const int run = self.runsStarted;
        self.SetState(CHANNEL_RUNNING);
        self.WaitForStop(platform::kInfinite);
        if (run == 1) {
            stateWhenFirstEnded = self.GetState();
            runsWhenFirstEnded = self.runsStarted.load();
        }
    };
    ASSERT_TRUE(channel.Start({100, 80, 352, 288}));
    ASSERT_TRUE(test::WaitUntil([&] { return channel.GetState() == CHANNEL_RUNNING; }));
    ASSERT_TRUE(channel.Start({40, 50, 704, 576}));
    EXPECT_EQ(stateWhenFirstEnded, CHANNEL_STOPPED);
    EXPECT_EQ(runsWhenFirstEnded, 1);
    EXPECT_EQ(channel.stoppingCalls, 1);
    channel.Stop();
    EXPECT_EQ(channel.runsStarted, 2);
    EXPECT_EQ(channel.runsEnded, 2);
}

TEST(CameraChannelBase, RestartKeepsTheQualityOfTheLastStart) {
    FakeDriver driver;
    TestChannel channel(&driver);
    ASSERT_TRUE(channel.Start({100, 80, 352, 288}));
    ASSERT_TRUE(channel.Restart({40, 0, 704, 576}));
    const StreamParams params = channel.GetParams();
    EXPECT_EQ(params.frameInterval, 40u);
    EXPECT_EQ(params.quality, 80u);
    EXPECT_EQ(params.width, 704u);
    EXPECT_EQ(params.height, 576u);
    channel.Stop();
    EXPECT_EQ(channel.runsStarted, 2);
    EXPECT_EQ(channel.GetState(), CHANNEL_STOPPED);
}

// A worker held inside a host call past twice the time-out is not killed:
// Stop logs one line naming the channel and waits for it to return.
TEST(CameraChannelBase, StopWaitsForAWorkerStuckInTheHost) {
    FakeDriver driver;
    driver.SetTimeout(50);
    TestChannel channel(&driver, 3);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> finishedBody{false};
    channel.body = [&](TestChannel&) {
        released.wait();  // deaf to the stop request
        finishedBody = true;
    };
    ASSERT_TRUE(channel.Start({100, 80, 352, 288}));
    auto stopping = std::async(std::launch::async, [&] { channel.Stop(); });
    ASSERT_TRUE(driver.WaitForLines("did not stop within 100 ms", 1, 5s));
    EXPECT_EQ(stopping.wait_for(150ms), std::future_status::timeout);
    release.set_value();
    ASSERT_EQ(stopping.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(finishedBody);
    const auto lines = driver.LinesWith("did not stop");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 1);
    EXPECT_EQ(lines[0].text,
              "brevane::CBaseCameraChannel::Stop: Channel 3 of camera 127.0.0.1 did not stop "
              "within 100 ms; waiting for it");
}

// Behaviour both streams share, through each stream's channel class.
class EitherChannelTest : public test::ChannelFixture, public ::testing::WithParamInterface<test::ChannelStream> {
   protected:
    EitherChannelTest() : ChannelFixture(GetParam()) {}
};

TEST_P(EitherChannelTest, StopEndsAStalledStreamAtOnce) {
    // A read would block this long without the abort.
    driver.SetTimeout(5000);
    driver.SetStreamTimeout(5000);
    test::StreamScript script = EndlessScript();
    script.repeat = false;
    script.stallAtEnd = true;
    camera.SetScript(script);
    const auto channel = MakeChannel(0);
    ASSERT_TRUE(channel->Start(stream.params));
    ASSERT_TRUE(receiver.WaitFor([&] { return receiver.frames.size() >= frames.size(); }, 10s));
    std::this_thread::sleep_for(50ms);  // now blocked on the stalled response
    const auto started = std::chrono::steady_clock::now();
    channel->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(receiver.FrameCount(), frames.size());
    EXPECT_EQ(receiver.SignalLost(), 0);
    EXPECT_EQ(driver.LinesWith("Channel was stopped").size(), 1u);
    EXPECT_TRUE(driver.LinesWith("Signal was lost").empty());
    EXPECT_TRUE(driver.LinesWith("did not stop").empty());
}

// A camera that takes the request and never answers: every stop of the
// channel is prompt, well inside the time-out that would otherwise end the
// wait, and fifty start/stop cycles leave no thread and no handle (no
// descriptor on Linux) behind.
TEST_P(EitherChannelTest, StartStopCyclesOnAStalledCameraArePromptAndLeaveNoThread) {
    using Clock = std::chrono::steady_clock;
    using brevane::platform::ReadProcessCounts;
    driver.SetTimeout(3000);
    driver.SetStreamTimeout(3000);
    darvik::camsim::Faults faults;
    faults.stall = true;
    camera.Sim().SetFaults(faults);
    const auto channel = MakeChannel(0);
    // One cycle: starts, waits until the camera holds the stalled request,
    // stops; the time Stop took.
    const auto cycle = [&]() -> Clock::duration {
        const std::size_t requests = camera.Sim().RequestLog().size();
        EXPECT_TRUE(channel->Start(stream.params));
        EXPECT_TRUE(test::WaitUntil([&] { return camera.Sim().RequestLog().size() > requests; }, 10000));
        std::this_thread::sleep_for(20ms);  // now waiting for the reply
        const auto started = Clock::now();
        channel->Stop();
        return Clock::now() - started;
    };
    cycle();  // the first exchange brings up what a process keeps (Winsock, WinHTTP's own threads)
    // A few may come and go with the simulator's own connections (in this
    // process on Linux) and the HTTP stack's pools; one per cycle may not.
    constexpr std::uint64_t kSlack = 2;
    constexpr std::uint64_t kHandleSlack = 6;
    const auto before = ReadProcessCounts();
    Clock::duration slowest{};
    Clock::duration total{};
    constexpr int kCycles = 50;
    for (int i = 0; i < kCycles && !HasFailure(); ++i) {
        const Clock::duration took = cycle();
        slowest = std::max(slowest, took);
        total += took;
    }
    const auto rightAfter = ReadProcessCounts();
    auto after = rightAfter;
    // Wine's WinHTTP keeps one of its pool threads in each given-up receive
    // until the time-out, then retires them; the Linux simulator's
    // connection threads notice an abandoned client after a moment. So the
    // counts are read once they settled: the process must be back where it was.
    test::WaitUntil(
        [&] {
            after = ReadProcessCounts();
            return after.threads <= before.threads + kSlack && after.handles <= before.handles + kHandleSlack;
        },
        20000);
    const auto ms = [](Clock::duration d) {
        return std::chrono::duration_cast<std::chrono::microseconds>(d).count() / 1000.0;
    };
    std::cout << "[ figures  ] Stop on a stalled camera: mean " << ms(total / kCycles) << " ms, slowest "
              << ms(slowest) << " ms; threads " << before.threads << " before, " << rightAfter.threads
              << " right after " << kCycles << " cycles, " << after.threads << " once settled; "
              << brevane::platform::HandlesName() << " " << before.handles << ", " << rightAfter.handles << ", "
              << after.handles << "\n";
    EXPECT_LT(slowest, 1s);
    EXPECT_LE(after.threads, before.threads + kSlack);
    EXPECT_LE(after.handles, before.handles + kHandleSlack);
    EXPECT_EQ(receiver.FrameCount(), 0u);
    EXPECT_TRUE(driver.LinesWith("did not stop").empty());
}

// A camera that cannot be used says why: a wrong password, a closed port and
// a camera that never answers each give one line with the cause, not the
// silence of a channel that was never online.
TEST_P(EitherChannelTest, FailingCameraIsToldOnceWithItsCause) {
    const auto Fault = [](auto set) {
        darvik::camsim::Faults faults;
        set(faults);
        return faults;
    };
    struct Case {
        const char* name;
        std::function<void()> fault;
        std::string cause;
    };
    const Case cases[] = {
        {"401", [&] { camera.Sim().SetFaults(Fault([](auto& f) { f.pathStatus = {{"/", 401, ""}}; })); },
         "401 Unauthorized: wrong user name or password"},
        {"stall", [&] { camera.Sim().SetFaults(Fault([](auto& f) { f.stall = true; })); }, "timed out"},
        {"closed port", [&] { camera.Sim().Stop(); }, "connection refused"},
    };
    const std::string port = std::to_string(camera.Port());  // 0 once stopped
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.ClearLines();
        c.fault();
        const auto channel = MakeChannel(1);
        ASSERT_TRUE(channel->Start(stream.params));
        const std::string line = "brevane::CBaseCameraChannel::ReportFailure: Camera 127.0.0.1:" + port +
                                 " (channel 1) failed: " + c.cause;
        ASSERT_TRUE(driver.WaitForLine(line)) << testing::PrintToString(driver.FormattedLines());
        // Well inside the first retry interval (500 ms less the spread).
        std::this_thread::sleep_for(250ms);
        channel->Stop();
        const auto lines = driver.LinesWith("ReportFailure");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].level, 1);
        EXPECT_EQ(lines[0].text, line);
    }
}

// Each stream fault ends the stream as a lost signal: the channel neither
// reads a response the transport reported broken nor hands out a damaged
// picture, and pictures come again from the next connection. The faulty
// body goes to the first stream request only; the camera is healthy after.
// A camera that flaps refuses connections before and after that stream, so
// the channel must keep retrying through its back-off. A stream that only
// trickles, a few bytes at a time and seconds per picture, is no fault at
// all while it stays within the time-outs (no gap between bytes reaching the
// stream time-out; MPEG-4 also wants a picture within twice that): it
// delivers whole pictures on its first connection.
TEST_P(EitherChannelTest, StreamFaultsLoseTheSignalAndPicturesComeBackWhole) {
    driver.SetTimeout(1000);
    driver.SetStreamTimeout(1000);
    const bool mjpeg = stream.streamType == kStreamTypeMjpeg;
    const std::string target = mjpeg ? JpegPathForWidth(stream.params.width) : "/cgi-bin/get?liv";
    const auto unit = [&](std::size_t i) { return mjpeg ? test::MultipartPart(frames[i]) : test::MakeRecord(frames[i]); };
    const auto units = [&](std::initializer_list<std::size_t> which) {
        test::Bytes out;
        for (std::size_t i : which) test::Append(out, unit(i));
        return out;
    };
    const auto firstHalf = [](const test::Bytes& bytes) { return test::Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2); };
    // A whole picture as the receiver gets it: MPEG-4 key frames carry the
    // sequence header in front.
    std::vector<test::Bytes> whole;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        test::Bytes data;
        if (!mjpeg && i == 0) {
            const auto header = BuildSequenceHeader(stream.params.width, stream.params.height);
            data.assign(header.begin(), header.end());
        }
        test::Append(data, frames[i]);
        whole.push_back(std::move(data));
    }
    test::Bytes garbage;
    test::Append(garbage, units({0}));
    for (std::size_t i = 1; i < 4; ++i) {
        test::Append(garbage, std::string(300 * i, 'x') + "\r\nnoise\r\n");
        test::Append(garbage, unit(i));
    }
    // A picture cut short (MJPEG) or a record whose length is wrong (MPEG-4),
    // then whole ones from the next key frame on.
    test::Bytes damaged = units({0});
    if (mjpeg) {
        test::Append(damaged, test::MultipartPart(firstHalf(frames[1])));
    } else {
        test::Append(damaged, test::MakeRecord(frames[1], static_cast<std::int64_t>(frames[1].size()) + 1000));
    }
    test::Append(damaged, units({2, 3, 0, 1}));

    enum class End { Close, Stall, Reset, Trickle };
    struct Case {
        const char* name;
        test::Bytes body;
        End end;
        unsigned status = 0;          // the stream request is answered with this instead
        std::uint32_t refusals = 0;   // connections refused before the stream and again after it
    };
    test::Bytes midPicture = units({0, 1});
    test::Append(midPicture, firstHalf(unit(2)));
    // Small pictures for the trickle (MPEG-4 begins at the key frame), a few
    // bytes every 10 ms: the first picture takes seconds.
    const test::Bytes trickle = mjpeg ? units({1, 2}) : units({0, 2, 4});
    const std::size_t tricklePictures = mjpeg ? 2 : 3;
    const std::size_t trickleBytes = mjpeg ? 4 : 16;
    // Each refused connection is a failure in a row, so the waits grow:
    // MPEG-4's retry schedule starts at seconds, MJPEG's at half a second.
    const std::uint32_t refusals = mjpeg ? 2 : 1;
    const Case cases[] = {
        {"stall mid-picture", midPicture, End::Stall},
        {"stall before the first byte", test::Bytes(), End::Stall},
        {"drop mid-picture", midPicture, End::Close},
        {"drop between pictures", units({0, 1}), End::Close},
        {"garbage between pictures", garbage, End::Close},
        {"damaged picture", damaged, End::Close},
        {"401 on the stream request", test::Bytes(), End::Close, 401},
        {"refusals while flapping", units({0, 1}), End::Close, 0, refusals},
        {"reset mid-picture", midPicture, End::Reset},
        {"trickle", trickle, End::Trickle},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.ClearLines();
        test::StreamScript faulty;
        faulty.body = c.body;
        faulty.pieceSizes = stream.pieceSizes;
        faulty.delayMs = 2;
        faulty.repeat = false;
        faulty.stallAtEnd = c.end == End::Stall;
        faulty.resetAtEnd = c.end == End::Reset;
        if (c.end == End::Trickle) {
            faulty.pieceSizes = {trickleBytes};
            faulty.delayMs = 10;
            faulty.repeat = true;
        }
        camera.SetScript(faulty);
        darvik::camsim::Faults faults;
        if (c.status != 0) faults.pathStatus = {{target, c.status, ""}};
        faults.refuseFirstConnections = c.refusals;
        camera.Sim().SetFaults(faults);
        const std::size_t streamsBefore = camera.CountTarget(target);
        const std::size_t answeredBefore = camera.CountAnswered(target);
        const std::size_t framesBefore = receiver.FrameCount();
        const std::uint64_t refusedBefore = camera.Sim().RefusedConnections();
        // The trickle's time-out is far above its pace, so a loaded machine that
        // stretches every 10 ms pause does not turn it into a fault.
        driver.SetStreamTimeout(c.end == End::Trickle ? 15000 : 1000);
        const auto channel = MakeChannel(3);
        ASSERT_TRUE(channel->Start(stream.params));
        // The faulty reply must have been chosen before the camera is made
        // healthy for the next connection: a stream request that only
        // arrived may still be answered with what is set next.
        ASSERT_TRUE(test::WaitUntil([&] { return camera.CountAnswered(target) >= answeredBefore + 1; }, 60000));
        darvik::camsim::Faults after;
        after.refuseFirstConnections = c.refusals;  // the camera flaps again once it served
        camera.Sim().SetFaults(after);
        camera.SetScript(EndlessScript());  // for the next connection; a trickle goes on

        if (c.end == End::Trickle) {
            EXPECT_TRUE(receiver.WaitFor([&] { return receiver.frames.size() >= framesBefore + tricklePictures; }, 60s));
            channel->Stop();
            EXPECT_EQ(camera.CountTarget(target), streamsBefore + 1);
            EXPECT_TRUE(driver.LinesWith("(channel 3) failed: ").empty())
                << testing::PrintToString(driver.FormattedLines());
            EXPECT_TRUE(driver.LinesWith("Signal was lost").empty());
            EXPECT_TRUE(driver.LinesWith("is offline or failed").empty());
            std::lock_guard<std::mutex> guard(receiver.mutex);
            for (std::size_t i = framesBefore; i < receiver.frames.size(); ++i) {
                EXPECT_NE(std::find(whole.begin(), whole.end(), receiver.frames[i].data), whole.end()) << "picture " << i;
            }
            continue;
        }
        // The fault ends the first stream; a second one delivers a whole
        // period (after the refusals, on a flapping camera: up to 21 s of
        // MPEG-4 back-off).
        ASSERT_TRUE(test::WaitUntil([&] { return camera.CountTarget(target) >= streamsBefore + 2; }, 60000))
            << testing::PrintToString(driver.FormattedLines());
        const std::size_t framesAtReconnect = receiver.FrameCount();
        EXPECT_TRUE(receiver.WaitFor([&] { return receiver.frames.size() >= framesAtReconnect + frames.size(); }, 20s));
        channel->Stop();
        camera.Sim().SetFaults({});
        EXPECT_GE(camera.Sim().RefusedConnections(), refusedBefore + 2 * c.refusals);

        const auto failures = driver.LinesWith("(channel 3) failed: ");
        ASSERT_FALSE(failures.empty()) << testing::PrintToString(driver.FormattedLines());
        EXPECT_EQ(failures[0].level, 1);
        // Where the faulty stream brought the camera online before it
        // failed (a 401 or a stall before the first byte does not), the
        // camera went from online to lost (MJPEG: "Signal was lost", MPEG-4:
        // "is offline or failed"), told at level 1. Judged by the order of
        // the lines, not by frame counts, which the next stream may already
        // have raised.
        const auto lines = driver.Lines();
        const auto isState = [](const test::LogLine& line) {
            return line.text.find("SetCameraState: ") != std::string::npos;
        };
        const auto firstOnline = std::find_if(lines.begin(), lines.end(), [&](const auto& line) {
            return isState(line) && line.text.find(" is online") != std::string::npos;
        });
        const auto firstFailure = std::find_if(lines.begin(), lines.end(), [](const auto& line) {
            return line.text.find("(channel 3) failed: ") != std::string::npos;
        });
        if (firstOnline < firstFailure) {
            const auto lost = std::find_if(firstOnline, lines.end(), [&](const auto& line) {
                return isState(line) && line.text.find(" is online") == std::string::npos;
            });
            ASSERT_NE(lost, lines.end()) << testing::PrintToString(driver.FormattedLines());
            EXPECT_EQ(lost->level, 1) << lost->text;
        }
        std::lock_guard<std::mutex> guard(receiver.mutex);
        for (std::size_t i = framesBefore; i < receiver.frames.size(); ++i) {
            EXPECT_NE(std::find(whole.begin(), whole.end(), receiver.frames[i].data), whole.end()) << "picture " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, EitherChannelTest, ::testing::Values(test::kMjpegStream, test::kMpegStream),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brevane
