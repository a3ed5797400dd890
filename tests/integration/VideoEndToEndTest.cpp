// Video end to end, as a host sees it: the module loaded as a host loads it,
// driven through its exports and contract interfaces, against the camera
// simulator's live JPEG and MPEG-4 streams. Every delivered picture must
// decode with libjpeg-turbo or libavcodec, without a single decoder
// complaint (on Windows: have whole JPEG markers of the right size and the
// MPEG-4 start codes, see PictureCheck.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PictureCheck.h"
#include "camsim/Simulator.h"
#include "darvik/DarvikIPCapture.h"
#include "kit/FrameAllocator.h"
#include "kit/FrameReceiver.h"
#include "kit/MessageSink.h"
#include "kit/ModuleLoader.h"
#include "kit/OpenParameters.h"
#include "kit/StreamSettings.h"
#include "streams/CameraTables.h"
#include "support/SlotCall.h"
#include "support/Wait.h"
#include "video/SequenceHeader.h"
#include "video/VideoTables.h"

namespace {

using namespace std::chrono_literals;
using brevane::ipcapture::IIPCaptureDriverEx;
using brevane::ipcapture::IIPVideoCapture;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kJpeg = brevane::contract::kFormatJpeg;
constexpr std::uint32_t kDivx = brevane::contract::kFormatDivx;
constexpr std::uint32_t kDivi = brevane::contract::kFormatDivi;

struct Captured {
    darvik::host::FrameRecord record;
    Bytes data;
};

// A receiver that keeps a copy of every accepted frame.
class CopyingReceiver {
   public:
    CopyingReceiver() {
        receiver.SetDataCallback([this](const darvik::host::FrameRecord& record, std::span<const std::uint8_t> data) {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (record.accepted) {
                m_frames.push_back({record, Bytes(data.begin(), data.end())});
            }
        });
    }
    std::vector<Captured> Frames() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_frames;
    }
    bool WaitFor(std::uint64_t count, std::chrono::milliseconds timeout) {
        return receiver.WaitForFrames(count, timeout);
    }

    darvik::host::FrameReceiver receiver;

   private:
    mutable std::mutex m_mutex;
    std::vector<Captured> m_frames;  // guarded by m_mutex
};

// One loaded module, one simulator and one opened driver per test.
class VideoEndToEnd : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_TRUE(m_loader.Load(DARVIK_MODULE_PATH)) << m_loader.Error(); }

    void TearDown() override {
        for (IIPCaptureDriverEx* driver : m_drivers) {
            Module().DeleteIPCaptureEx(driver);
        }
        m_drivers.clear();
        if (m_simulator) {
            m_simulator->Stop();
        }
        EXPECT_EQ(m_frames.Outstanding(), 0u);
        EXPECT_EQ(m_frames.ViolationCount(), 0u) << (m_frames.Violations().empty() ? "" : m_frames.Violations()[0]);
    }

    const darvik::host::ModuleExports& Module() const { return m_loader.Exports(); }

    void StartCamera(bool ntsc, darvik::camsim::StreamFaults faults = {}) {
        darvik::camsim::Config config;
        config.ntsc = ntsc;
        config.controlEnabled = false;
        config.jpegFramesPerSecond = 30;
        config.keyFrameInterval = 10;
        config.streamFaults = faults;
        m_simulator = std::make_unique<darvik::camsim::Simulator>(config);
        std::string error;
        ASSERT_TRUE(m_simulator->Start(&error)) << error;
    }

    // A driver opened for the simulator with the stream type and channel count.
    IIPCaptureDriverEx* OpenDriver(std::int32_t streamType, bool ntsc, std::uint32_t channels = 4) {
        darvik::host::OpenParameters parameters;
        parameters.connection.address = "127.0.0.1";
        parameters.connection.port = m_simulator->Port();
        parameters.connection.streamType = streamType;
        parameters.device.channelCount = channels;
        parameters.SetCustomParameter(1, ntsc ? "1" : "0");
        IIPCaptureDriverEx* driver = Module().CreateIPCaptureEx();
        EXPECT_NE(driver, nullptr);
        if (driver == nullptr) {
            return nullptr;
        }
        m_drivers.push_back(driver);
        EXPECT_TRUE(driver->Open(&m_sink, &m_frames, &parameters));
        EXPECT_NE(driver->GetVideoCapture(), nullptr);
        return driver;
    }

    static darvik::host::StreamSettings Settings(std::uint16_t width, std::uint16_t height,
                                                 std::uint16_t interval = 40, std::uint16_t quality = 75) {
        darvik::host::StreamSettings settings;
        settings.format.resolution = darvik::host::Resolution(width, height);
        settings.encoding.frameIntervalMs = interval;
        settings.encoding.quality = quality;
        return settings;
    }

    void Delete(IIPCaptureDriverEx* driver) {
        std::erase(m_drivers, driver);
        Module().DeleteIPCaptureEx(driver);
    }

    darvik::host::ModuleLoader m_loader;
    darvik::host::MessageSink m_sink;
    darvik::host::FrameAllocator m_frames;
    std::unique_ptr<darvik::camsim::Simulator> m_simulator;
    std::vector<IIPCaptureDriverEx*> m_drivers;
};

// Checks every frame as MPEG-4 packets in order; expects no complaint.
void ExpectCleanMpeg4(const std::vector<Captured>& frames, int width, int height) {
    std::vector<Bytes> packets;
    for (const Captured& frame : frames) {
        packets.push_back(frame.data);
    }
    const std::vector<std::string> problems = brevane::test::CheckMpeg4(packets, width, height);
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST_F(VideoEndToEnd, EveryJpegDecodesAtTheRequestedSize) {
    for (const bool ntsc : {false, true}) {
        StartCamera(ntsc);
        IIPCaptureDriverEx* driver = OpenDriver(1, ntsc);
        IIPVideoCapture* video = driver->GetVideoCapture();
        const char* groups[] = {"jpgl", "jpgn", "jpgh"};
        CopyingReceiver receivers[3];
        std::vector<darvik::host::StreamSettings> settings;
        for (const char* group : groups) {
            const auto size = darvik::camsim::JpegPictureSize(group, ntsc);
            ASSERT_TRUE(size);
            settings.push_back(Settings(static_cast<std::uint16_t>(size->width), static_cast<std::uint16_t>(size->height)));
        }
        for (std::uint32_t i = 0; i < 3; ++i) {
            ASSERT_TRUE(video->StartChannel(i, &receivers[i].receiver, &settings[i]));
        }
        for (std::uint32_t i = 0; i < 3; ++i) {
            ASSERT_TRUE(receivers[i].WaitFor(8, 10s)) << groups[i];
        }
        for (std::uint32_t i = 0; i < 3; ++i) {
            EXPECT_TRUE(video->StopChannel(i));
        }
        for (std::uint32_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(std::string(groups[i]) + (ntsc ? " NTSC" : " PAL"));
            const std::uint32_t width = settings[i].format.resolution.width;
            const std::uint32_t height = settings[i].format.resolution.height;
            std::optional<std::uint32_t> previous;
            for (const Captured& frame : receivers[i].Frames()) {
                EXPECT_EQ(frame.record.format, kJpeg);
                EXPECT_TRUE(frame.record.complete);
                EXPECT_EQ(frame.record.width, width);
                EXPECT_EQ(frame.record.height, height);
                EXPECT_EQ(frame.record.sizeClass, brevane::SizeClassFor(width, height));
                const auto picture = brevane::test::InspectJpeg(frame.data);
                ASSERT_TRUE(picture);
                EXPECT_EQ(static_cast<std::uint32_t>(picture->width), width);
                EXPECT_EQ(static_cast<std::uint32_t>(picture->height), height);
                // Pictures arrive in order, none skipped on a healthy stream.
                const auto number = picture->frameNumber;
                if (number && previous) {
                    EXPECT_EQ(*number, *previous + 1);
                }
                previous = number;
            }
            EXPECT_EQ(previous.has_value(), brevane::test::PicturesDecode())
                << "no frame number read from the test pattern";
        }
        Delete(driver);
        m_simulator->Stop();
    }
}

TEST_F(VideoEndToEnd, Mpeg4FramesDecodeWithoutAnyErrorAndKeyFramesCarryTheHeader) {
    struct Case {
        bool ntsc;
        std::uint16_t width, height, interval;
    };
    for (const Case c : {Case{false, 704, 576, 40}, Case{true, 352, 240, 33}}) {
        SCOPED_TRACE(c.width);
        StartCamera(c.ntsc);
        IIPCaptureDriverEx* driver = OpenDriver(2, c.ntsc, 1);
        CopyingReceiver receiver;
        auto settings = Settings(c.width, c.height, c.interval);
        ASSERT_TRUE(driver->GetVideoCapture()->StartChannel(0, &receiver.receiver, &settings));
        ASSERT_TRUE(receiver.WaitFor(25, 15s));
        Delete(driver);
        const std::vector<Captured> frames = receiver.Frames();
        ASSERT_GE(frames.size(), 25u);
        const auto header = brevane::BuildSequenceHeader(c.width, c.height);
        int keyFrames = 0;
        for (const Captured& frame : frames) {
            EXPECT_TRUE(frame.record.format == kDivx || frame.record.format == kDivi);
            EXPECT_EQ(frame.record.width, c.width);
            EXPECT_EQ(frame.record.height, c.height);
            if (frame.record.format == kDivx) {
                ++keyFrames;
                ASSERT_GE(frame.data.size(), header.size());
                EXPECT_TRUE(std::equal(header.begin(), header.end(), frame.data.begin()));
            }
        }
        EXPECT_EQ(frames[0].record.format, kDivx);
        EXPECT_GE(keyFrames, 2);
        ExpectCleanMpeg4(frames, c.width, c.height);
        m_simulator->Stop();
    }
}

TEST_F(VideoEndToEnd, SplitChunksGarbageWrongLengthsExifAndAnEndlessFrameLeaveOnlyCleanFrames) {
    darvik::camsim::StreamFaults faults;
    faults.chunkSizes = {1, 7, 300, 2000};
    faults.garbageBetweenFrames = true;
    faults.wrongLengthEvery = 7;
    // Every picture carries a 160 x 128 thumbnail, and each stream opens
    // with a frame that passes the accumulators' cap without ending.
    faults.exifThumbnails = true;
    faults.unendedFrameBytes = 9u * 1024u * 1024u;
    StartCamera(false, faults);

    IIPCaptureDriverEx* mjpeg = OpenDriver(1, false, 1);
    IIPCaptureDriverEx* mpeg = OpenDriver(2, false, 1);
    CopyingReceiver pictures;
    CopyingReceiver frames;
    auto jpegSettings = Settings(352, 288);
    auto mpegSettings = Settings(352, 288);
    ASSERT_TRUE(mjpeg->GetVideoCapture()->StartChannel(0, &pictures.receiver, &jpegSettings));
    ASSERT_TRUE(mpeg->GetVideoCapture()->StartChannel(0, &frames.receiver, &mpegSettings));
    ASSERT_TRUE(pictures.WaitFor(15, 15s));
    ASSERT_TRUE(frames.WaitFor(20, 15s));
    Delete(mjpeg);
    Delete(mpeg);

    for (const Captured& picture : pictures.Frames()) {
        const auto decoded = brevane::test::InspectJpeg(picture.data);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->width, 352);
        EXPECT_EQ(decoded->height, 288);
        EXPECT_EQ(picture.record.width, 352u);
        EXPECT_EQ(picture.record.height, 288u);
    }
    // Records with a wrong length are dropped with the frames that depend on
    // them; what arrives decodes cleanly.
    ExpectCleanMpeg4(frames.Frames(), 352, 288);
    EXPECT_TRUE(m_sink.Matching("Signal was lost").empty());
}

TEST_F(VideoEndToEnd, BrokenStreamsReconnectWithTheRightLines) {
    darvik::camsim::StreamFaults faults;
    faults.closeAfterFrames = 6;
    faults.refuseFirstConnections = 1;
    StartCamera(false, faults);
    IIPCaptureDriverEx* driver = OpenDriver(1, false, 1);
    CopyingReceiver receiver;
    auto settings = Settings(352, 288);
    ASSERT_TRUE(driver->GetVideoCapture()->StartChannel(0, &receiver.receiver, &settings));
    ASSERT_TRUE(receiver.WaitFor(14, 15s));  // needs a third connection
    Delete(driver);

    // The first stream request got no answer at all.
    std::vector<unsigned> streamStatus;
    for (const auto& entry : m_simulator->RequestLog()) {
        if (entry.target == "/cgi-bin/get?jpgn") {
            streamStatus.push_back(entry.status);
        }
    }
    ASSERT_GE(streamStatus.size(), 3u);
    EXPECT_EQ(streamStatus[0], 0u);
    EXPECT_EQ(streamStatus[1], 200u);
    const auto online = m_sink.Matching("Camera 127.0.0.1 is online");
    const auto lost = m_sink.Matching("Signal was lost for camera 127.0.0.1 (channel 0)");
    EXPECT_GE(online.size(), 2u);
    EXPECT_GE(lost.size(), 1u);
    EXPECT_GE(online.size(), lost.size());
    for (const auto& line : lost) {
        EXPECT_EQ(line.level, 1);
    }
    EXPECT_EQ(m_sink.Matching("Channel was stopped").size(), 1u);
}

TEST_F(VideoEndToEnd, BrokenMpegStreamReportsTheLostSignalAndComesBack) {
    darvik::camsim::StreamFaults faults;
    faults.closeAfterFrames = 12;
    StartCamera(false, faults);
    IIPCaptureDriverEx* driver = OpenDriver(2, false, 1);
    CopyingReceiver receiver;
    auto settings = Settings(352, 288);
    ASSERT_TRUE(driver->GetVideoCapture()->StartChannel(0, &receiver.receiver, &settings));
    ASSERT_TRUE(receiver.receiver.WaitForSignalLost(1, 10s));
    // After the three-second pause the camera is configured and streams
    // again: twelve frames per connection, so fifteen need a second one.
    ASSERT_TRUE(receiver.WaitFor(15, 10s));
    Delete(driver);
    const auto failed = m_sink.Matching("Camera 127.0.0.1 is offline or failed");
    ASSERT_GE(failed.size(), 1u);
    EXPECT_EQ(failed[0].level, 1);
    EXPECT_GE(m_sink.Matching("is online").size(), 2u);
    ExpectCleanMpeg4(receiver.Frames(), 352, 288);
}

TEST_F(VideoEndToEnd, StopChannelOnAStalledStreamReturnsAtOnce) {
    darvik::camsim::StreamFaults faults;
    faults.stallAfterFrames = 4;
    StartCamera(false, faults);
    // The driver keeps the 5000 ms time-out: only aborting the read makes
    // the stop prompt.
    IIPCaptureDriverEx* mjpeg = OpenDriver(1, false, 1);
    IIPCaptureDriverEx* mpeg = OpenDriver(2, false, 1);
    CopyingReceiver pictures;
    CopyingReceiver frames;
    auto settings = Settings(352, 288);
    ASSERT_TRUE(mjpeg->GetVideoCapture()->StartChannel(0, &pictures.receiver, &settings));
    ASSERT_TRUE(mpeg->GetVideoCapture()->StartChannel(0, &frames.receiver, &settings));
    ASSERT_TRUE(pictures.WaitFor(4, 10s));
    ASSERT_TRUE(frames.WaitFor(4, 10s));
    std::this_thread::sleep_for(100ms);
    for (IIPCaptureDriverEx* driver : {mjpeg, mpeg}) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(driver->GetVideoCapture()->StopChannel(0));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    }
    EXPECT_EQ(m_sink.Matching("Channel was stopped").size(), 2u);
    EXPECT_EQ(frames.receiver.SignalLost(), 0u);
}

TEST_F(VideoEndToEnd, DeletingADriverWithRunningChannelsStopsThemAndLeavesOthersRunning) {
    StartCamera(false);
    IIPCaptureDriverEx* doomed = OpenDriver(1, false, 4);
    IIPCaptureDriverEx* survivor = OpenDriver(2, false, 1);
    CopyingReceiver receivers[4];
    CopyingReceiver other;
    auto settings = Settings(352, 288);
    for (std::uint32_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(doomed->GetVideoCapture()->StartChannel(i, &receivers[i].receiver, &settings));
    }
    ASSERT_TRUE(survivor->GetVideoCapture()->StartChannel(0, &other.receiver, &settings));
    for (auto& receiver : receivers) {
        ASSERT_TRUE(receiver.WaitFor(3, 10s));
    }
    ASSERT_TRUE(other.WaitFor(3, 10s));

    const auto started = std::chrono::steady_clock::now();
    Delete(doomed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    std::uint64_t counts[4];
    for (int i = 0; i < 4; ++i) {
        counts[i] = receivers[i].receiver.Delivered();
    }
    const std::uint64_t otherCount = other.receiver.Delivered();
    std::this_thread::sleep_for(400ms);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(receivers[i].receiver.Delivered(), counts[i]) << "channel " << i;
    }
    EXPECT_GT(other.receiver.Delivered(), otherCount);
    Delete(survivor);
}

#ifndef _WIN32
// This process's descriptors apart from the simulator's side of its TCP
// connections (its listening socket and accepted connections): our
// connections to the simulator, and everything else. A TCP socket that has
// left the kernel's table (its peer closed it) counts as a connection too:
// the connection cache holds it until it next looks at it.
struct DescriptorCount {
    std::size_t cameraConnections = 0;
    std::size_t others = 0;
};

DescriptorCount DescriptorsBesides(std::uint16_t simulatorPort) {
    std::set<std::string> serverSockets;
    std::set<std::string> clientSockets;
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    std::getline(tcp, line);
    const auto port = [](const std::string& address) {
        return std::stoul(address.substr(address.find(':') + 1), nullptr, 16);
    };
    while (std::getline(tcp, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        if (port(local) == simulatorPort) {
            serverSockets.insert("socket:[" + inode + "]");
        } else if (port(remote) == simulatorPort) {
            clientSockets.insert("socket:[" + inode + "]");
        }
    }
    std::set<std::string> localSockets;
    std::ifstream unixTable("/proc/net/unix");
    std::getline(unixTable, line);
    while (std::getline(unixTable, line)) {
        std::istringstream fields(line);
        std::string num, refCount, protocol, flags, type, st, inode;
        fields >> num >> refCount >> protocol >> flags >> type >> st >> inode;
        localSockets.insert("socket:[" + inode + "]");
    }
    DescriptorCount count;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && serverSockets.count(target) != 0) {
            continue;
        }
        const bool connection = !error && (clientSockets.count(target) != 0 ||
                                           (target.rfind("socket:", 0) == 0 && localSockets.count(target) == 0));
        ++(connection ? count.cameraConnections : count.others);
    }
    return count;
}

// A recorder with hundreds of cameras must fit the common limit of 1024
// open files: a streaming channel holds its connection and its reader's
// wake-up descriptor, and the process two more for its shared HTTP handle.
// The shared connection cache may also keep a connection left over from a
// channel's setup request (seen under load, once closed by the camera); it
// is kept for reuse or until the cache looks at it, one at most per
// channel, and is never a descriptor of another kind.
TEST_F(VideoEndToEnd, StreamingChannelsHoldAtMostTwoDescriptorsEach) {
    StartCamera(false);
    const DescriptorCount before = DescriptorsBesides(m_simulator->Port());
    constexpr std::uint32_t kDrivers = 8;
    CopyingReceiver receivers[kDrivers];
    IIPCaptureDriverEx* drivers[kDrivers] = {};
    auto settings = Settings(352, 288);
    bool streaming = true;
    for (std::uint32_t i = 0; i < kDrivers; ++i) {
        drivers[i] = OpenDriver(1, false, 1);
        streaming = streaming && drivers[i]->GetVideoCapture()->StartChannel(0, &receivers[i].receiver, &settings);
    }
    for (auto& receiver : receivers) {
        streaming = streaming && receiver.WaitFor(3, 10s);
    }
    // The fewest over a few readings: a connection the simulator accepts
    // between reading its sockets and reading ours, or a channel that
    // reconnects under load, holds a descriptor for a moment only; one kept
    // for good shows in every reading.
    DescriptorCount now = DescriptorsBesides(m_simulator->Port());
    for (int reading = 0; reading < 10; ++reading) {
        std::this_thread::sleep_for(20ms);
        const DescriptorCount next = DescriptorsBesides(m_simulator->Port());
        now.cameraConnections = std::min(now.cameraConnections, next.cameraConnections);
        now.others = std::min(now.others, next.others);
    }
    const std::size_t connections = now.cameraConnections - before.cameraConnections;
    const std::size_t others = now.others - before.others;
    // The drivers go before the receivers they deliver to.
    for (IIPCaptureDriverEx* driver : drivers) {
        Delete(driver);
    }
    ASSERT_TRUE(streaming);
    std::cout << "[          ] " << connections << " connections and " << others << " other descriptors for "
              << kDrivers << " streaming drivers\n";
    EXPECT_LE(others, kDrivers + 2);
    EXPECT_GE(connections, kDrivers);
    EXPECT_LE(connections, 2 * kDrivers);
}
#endif

// The host calls the video capture object by table entry: slot N is entry N.
TEST_F(VideoEndToEnd, VideoCaptureSlotsAreTableEntries) {
    using brevane::test::CallSlot;
    StartCamera(false);
    IIPCaptureDriverEx* driver = OpenDriver(1, false, 2);
    void* video = driver->GetVideoCapture();
    ASSERT_NE(video, nullptr);
    ASSERT_EQ(CallSlot<void*>(driver, 3), video);

    EXPECT_EQ(CallSlot<std::uint32_t>(video, 1), 2u);
    CopyingReceiver receiver;
    auto settings = Settings(352, 288);
    brevane::ipcapture::IFrameReceiver* frameReceiver = &receiver.receiver;
    brevane::ipcapture::IStreamSettings* streamSettings = &settings;
    EXPECT_TRUE((CallSlot<bool, std::uint32_t, brevane::ipcapture::IFrameReceiver*, brevane::ipcapture::IStreamSettings*>(
        video, 2, 1u, frameReceiver, streamSettings)));
    EXPECT_FALSE((CallSlot<bool, std::uint32_t, brevane::ipcapture::IFrameReceiver*, brevane::ipcapture::IStreamSettings*>(
        video, 2, 2u, frameReceiver, streamSettings)));
    ASSERT_TRUE(receiver.WaitFor(1, 10s));

    std::int32_t state = -1;
    std::int32_t detail = -1;
    char text[16] = "junk";
    EXPECT_TRUE((CallSlot<bool, std::uint32_t, std::int32_t*, std::int32_t*, char*, std::uint32_t>(
        video, 6, 1u, &state, &detail, text, 16u)));
    EXPECT_EQ(state, brevane::ipcapture::kChannelRunning);
    EXPECT_EQ(detail, 0);
    EXPECT_EQ(text[0], '\0');
    EXPECT_FALSE((CallSlot<bool, std::uint32_t, std::int32_t*, std::int32_t*, char*, std::uint32_t>(
        video, 6, 0u, &state, &detail, text, 16u)));

    darvik::host::Resolution resolution(704, 576);
    brevane::ipcapture::IResolution* newSize = &resolution;
    EXPECT_TRUE((CallSlot<bool, std::uint32_t, brevane::ipcapture::IResolution*, std::uint32_t>(video, 4, 1u, newSize, 100u)));
    EXPECT_FALSE((CallSlot<bool, std::uint32_t, brevane::ipcapture::IResolution*, std::uint32_t>(video, 4, 0u, newSize, 100u)));
    // The restarted channel asks for the 704-wide stream.
    EXPECT_TRUE(brevane::test::WaitUntil([&] {
        for (const auto& entry : m_simulator->RequestLog()) {
            if (entry.target == "/cgi-bin/get?jpgh") {
                return true;
            }
        }
        return false;
    }));
    EXPECT_EQ(CallSlot<std::int32_t>(video, 5), 0);
    EXPECT_FALSE((CallSlot<bool, std::int32_t, std::int32_t, std::int32_t>(video, 7, 1, 2, 3)));
    EXPECT_FALSE((CallSlot<bool, std::int32_t, std::int32_t, std::int32_t>(video, 8, 1, 2, 3)));
    EXPECT_TRUE((CallSlot<bool, std::uint32_t>(video, 3, 1u)));
    EXPECT_FALSE((CallSlot<bool, std::uint32_t>(video, 3, 1u)));
}

}  // namespace
