// The channel tests' scripted camera, fake driver and host objects, for
// either stream. The stream decides the frames the camera sends, the bytes
// around each, how the body is cut and which channel class reads it; the
// MJPEG and MPEG-4 tests derive from one fixture, and behaviour both
// channels share runs once per stream.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/FakeDriver.h"
#include "support/Wait.h"
#include "video/MjpegHttpChannel.h"
#include "video/MpegHttpChannel.h"
#include "video/FakeHost.h"
#include "video/ScriptedStream.h"
#include "video/StreamFixtures.h"

namespace brevane::test {

struct ChannelStream {
    const char* name;
    std::int32_t streamType;
    StreamParams params;                  // a setting the stream accepts
    std::vector<std::size_t> pieceSizes;  // cuts through markers and headers
};

inline void PrintTo(const ChannelStream& stream, std::ostream* out) { *out << stream.name; }

inline const ChannelStream kMjpegStream{"Mjpeg", kStreamTypeMjpeg, {100, 80, 352, 288}, {7, 300, 1, 1000}};
inline const ChannelStream kMpegStream{"Mpeg", kStreamTypeMpeg, {40, 50, 352, 288}, {1, 7, 300, 5000}};

class ChannelFixture : public ::testing::Test {
   protected:
    explicit ChannelFixture(const ChannelStream& stream) : stream(stream) {}

    void SetUp() override {
        ASSERT_TRUE(camera.Started()) << camera.Error();
        driver.SetPort(camera.Port());
        driver.SetAllocator(&allocator);
        driver.SetStreamType(stream.streamType);
        if (stream.streamType == kStreamTypeMjpeg) {
            // Five pictures of different sizes, each with its multipart header.
            for (std::uint32_t i = 0; i < 5; ++i) {
                frames.push_back(MakeJpeg(352, 288, 200 + i * 700, i + 1));
                Append(body, MultipartPart(frames.back()));
            }
        } else {
            // A group of pictures: one key frame (4069 bytes: 4097 with the
            // header), then predicted frames of every allocation step (one of
            // exactly 4096 bytes, one beyond the largest step).
            const std::size_t sizes[] = {4069, 4096, 900, 30000, 17, 40000, 131073};
            for (std::size_t i = 0; i < std::size(sizes); ++i) {
                frames.push_back(MakeVopPayload(i == 0, sizes[i], static_cast<std::uint32_t>(i)));
                Append(body, MakeRecord(frames.back()));
            }
        }
    }

    // The body in pieces, repeated endlessly.
    StreamScript EndlessScript() const {
        StreamScript script;
        script.body = body;
        script.pieceSizes = stream.pieceSizes;
        script.delayMs = 2;
        return script;
    }

    // Waits until the camera got `count` requests for target, or 5 s passed.
    bool WaitForTarget(const std::string& target, std::size_t count = 1) {
        return WaitUntil([&] { return camera.CountTarget(target) >= count; });
    }

    // A channel of the stream's class.
    std::unique_ptr<ICameraChannel> MakeChannel(std::uint32_t index) {
        if (stream.streamType == kStreamTypeMjpeg) {
            return std::make_unique<CMjpegHttpChannel>(index, &driver, &receiver);
        }
        return std::make_unique<CMpegHttpChannel>(index, &driver, &receiver);
    }

    const ChannelStream stream;
    ScriptedCamera camera;
    FakeDriver driver;
    FakeAllocator allocator;
    FakeReceiver receiver;
    std::vector<Bytes> frames;  // as the camera sends them, one period
    Bytes body;                 // the frames with the bytes around them
};

}  // namespace brevane::test
