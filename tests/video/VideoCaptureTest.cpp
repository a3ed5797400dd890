#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/SlotCall.h"
#include "video/IPVideoCapture.h"
#include "video/FakeHost.h"

namespace brevane {
namespace {

// Records what happens to the channels a FakeCreator makes.
struct Journal {
    std::vector<std::string> events;
};

class FakeChannel : public ICameraChannel {
   public:
    FakeChannel(Journal& journal, int id) : m_journal(journal), m_id(id) {}
    ~FakeChannel() override { Log("destroyed"); }

    bool Start(const StreamParams& p) override {
        params = p;
        Log("start");
        state = CHANNEL_CONNECTING;
        return startResult;
    }
    void Stop() override {
        Log("stop");
        state = CHANNEL_STOPPED;
    }
    bool Restart(const StreamParams& p) override {
        params = p;
        Log("restart");
        return true;
    }
    std::int32_t GetState() override { return state; }
    void SetState(std::int32_t s) override { state = s; }

    StreamParams params;
    bool startResult = true;
    std::int32_t state = CHANNEL_STOPPED;

   private:
    void Log(const char* what) { m_journal.events.push_back(std::to_string(m_id) + " " + what); }
    Journal& m_journal;
    int m_id;
};

class FakeCreator : public ICustomCreator {
   public:
    explicit FakeCreator(Journal& journal) : m_journal(journal) {}
    ICameraChannel* CreateChannel(std::uint32_t index, ipcapture::IFrameReceiver* receiver) override {
        lastIndex = index;
        lastReceiver = receiver;
        if (!makeChannels) {
            return nullptr;
        }
        const int id = ++made;
        m_journal.events.push_back(std::to_string(id) + " created");
        last = new FakeChannel(m_journal, id);
        last->startResult = startResult;
        return last;
    }

    bool makeChannels = true;
    bool startResult = true;
    int made = 0;
    std::uint32_t lastIndex = 99;
    ipcapture::IFrameReceiver* lastReceiver = nullptr;
    FakeChannel* last = nullptr;

   private:
    Journal& m_journal;
};

class VideoCaptureTest : public ::testing::Test {
   protected:
    Journal journal;
    FakeCreator creator{journal};
    test::FakeReceiver receiver;
    test::StreamSettings settings{704, 576, 40, 80};
};

TEST_F(VideoCaptureTest, StartTranslatesTheHostSettings) {
    CIPVideoCapture capture(&creator, 2);
    EXPECT_EQ(capture.GetChannelCount(), 2u);
    ASSERT_TRUE(capture.StartChannel(1, &receiver, &settings));
    EXPECT_EQ(creator.lastIndex, 1u);
    EXPECT_EQ(creator.lastReceiver, &receiver);
    ASSERT_NE(creator.last, nullptr);
    EXPECT_EQ(creator.last->params.frameInterval, 40u);
    EXPECT_EQ(creator.last->params.quality, 80u);
    EXPECT_EQ(creator.last->params.width, 704u);
    EXPECT_EQ(creator.last->params.height, 576u);

    std::int32_t state = -1;
    std::int32_t detail = -1;
    char text[8] = "xyz";
    EXPECT_TRUE(capture.GetChannelStatus(1, &state, &detail, text, sizeof text));
    EXPECT_EQ(state, CHANNEL_CONNECTING);
    EXPECT_EQ(detail, 0);
    EXPECT_EQ(text[0], '\0');
    // No buffer at all is fine too.
    state = -1;
    EXPECT_TRUE(capture.GetChannelStatus(1, &state, &detail, nullptr, 0));
    EXPECT_EQ(state, CHANNEL_CONNECTING);
    // An empty slot: false, state untouched, detail and text still cleared.
    state = -1;
    detail = -1;
    text[0] = 'x';
    EXPECT_FALSE(capture.GetChannelStatus(0, &state, &detail, text, sizeof text));
    EXPECT_EQ(state, -1);
    EXPECT_EQ(detail, 0);
    EXPECT_EQ(text[0], '\0');
}

TEST_F(VideoCaptureTest, SecondStartStopsAndDestroysTheFirstChannelBeforeCreatingAnother) {
    CIPVideoCapture capture(&creator, 1);
    ASSERT_TRUE(capture.StartChannel(0, &receiver, &settings));
    ASSERT_TRUE(capture.StartChannel(0, &receiver, &settings));
    EXPECT_EQ(journal.events, (std::vector<std::string>{"1 created", "1 start", "1 stop",
                                                        "1 destroyed", "2 created", "2 start"}));
}

TEST_F(VideoCaptureTest, StopEmptiesTheSlot) {
    CIPVideoCapture capture(&creator, 1);
    EXPECT_FALSE(capture.StopChannel(0));
    ASSERT_TRUE(capture.StartChannel(0, &receiver, &settings));
    EXPECT_TRUE(capture.StopChannel(0));
    EXPECT_EQ(journal.events.back(), "1 destroyed");
    EXPECT_FALSE(capture.StopChannel(0));
    std::int32_t state = -1;
    EXPECT_FALSE(capture.GetChannelStatus(0, &state, nullptr, nullptr, 0));
}

TEST_F(VideoCaptureTest, IndicesOutOfRangeChangeNothing) {
    CIPVideoCapture none(&creator, 0);
    EXPECT_EQ(none.GetChannelCount(), 0u);
    EXPECT_FALSE(none.StartChannel(0, &receiver, &settings));
    EXPECT_FALSE(none.StopChannel(0));
    EXPECT_FALSE(none.RestartChannel(0, &settings.format.resolution, 40));
    std::int32_t detail = -1;
    EXPECT_FALSE(none.GetChannelStatus(0, nullptr, &detail, nullptr, 0));
    EXPECT_EQ(detail, 0);
    EXPECT_EQ(creator.made, 0);

    CIPVideoCapture two(&creator, 2);
    EXPECT_FALSE(two.StartChannel(2, &receiver, &settings));
    EXPECT_FALSE(two.StartChannel(0xFFFFFFFFu, &receiver, &settings));
    EXPECT_EQ(creator.made, 0);
}

TEST_F(VideoCaptureTest, StreamTypeWithoutChannelsStartsNothingButSucceeds) {
    creator.makeChannels = false;
    CIPVideoCapture capture(&creator, 1);
    EXPECT_TRUE(capture.StartChannel(0, &receiver, &settings));
    std::int32_t state = -1;
    EXPECT_FALSE(capture.GetChannelStatus(0, &state, nullptr, nullptr, 0));
    EXPECT_FALSE(capture.StopChannel(0));
}

TEST_F(VideoCaptureTest, FailedStartKeepsTheChannelInItsSlot) {
    creator.startResult = false;
    CIPVideoCapture capture(&creator, 1);
    EXPECT_FALSE(capture.StartChannel(0, &receiver, &settings));
    creator.last->state = CHANNEL_STOPPED;
    std::int32_t state = -1;
    EXPECT_TRUE(capture.GetChannelStatus(0, &state, nullptr, nullptr, 0));
    EXPECT_EQ(state, CHANNEL_STOPPED);
    EXPECT_TRUE(capture.StopChannel(0));
}

TEST_F(VideoCaptureTest, RestartPassesSizeAndIntervalWithQualityZero) {
    CIPVideoCapture capture(&creator, 1);
    test::Resolution resolution(352, 288);
    EXPECT_FALSE(capture.RestartChannel(0, &resolution, 66));
    ASSERT_TRUE(capture.StartChannel(0, &receiver, &settings));
    EXPECT_TRUE(capture.RestartChannel(0, &resolution, 66));
    EXPECT_EQ(creator.last->params.frameInterval, 66u);
    EXPECT_EQ(creator.last->params.quality, 0u);
    EXPECT_EQ(creator.last->params.width, 352u);
    EXPECT_EQ(creator.last->params.height, 288u);
    EXPECT_EQ(journal.events.back(), "1 restart");
}

TEST_F(VideoCaptureTest, DestructionStopsEveryChannel) {
    {
        CIPVideoCapture capture(&creator, 3);
        ASSERT_TRUE(capture.StartChannel(0, &receiver, &settings));
        ASSERT_TRUE(capture.StartChannel(2, &receiver, &settings));
    }
    EXPECT_EQ(journal.events,
              (std::vector<std::string>{"1 created", "1 start", "2 created", "2 start", "1 stop",
                                        "1 destroyed", "2 stop", "2 destroyed"}));
}

// The host calls the object by table entry: check that each slot leads to
// the right operation.
TEST_F(VideoCaptureTest, HostSlotsReachTheirOperations) {
    auto* capture = new CIPVideoCapture(&creator, 2);
    ipcapture::IIPVideoCapture* api = capture;
    using brevane::test::CallSlot;
    using ipcapture::IFrameReceiver;
    using ipcapture::IResolution;
    using ipcapture::IStreamSettings;

    EXPECT_EQ(CallSlot<std::uint32_t>(api, 1), 2u);
    EXPECT_TRUE((CallSlot<bool, std::uint32_t, IFrameReceiver*, IStreamSettings*>(api, 2, 1, &receiver, &settings)));
    test::Resolution resolution(352, 288);
    EXPECT_TRUE((CallSlot<bool, std::uint32_t, IResolution*, std::uint32_t>(api, 4, 1, &resolution, 100)));
    EXPECT_EQ(creator.last->params.frameInterval, 100u);
    EXPECT_EQ(CallSlot<std::int32_t>(api, 5), 0);
    std::int32_t state = -1;
    EXPECT_TRUE((CallSlot<bool, std::uint32_t, std::int32_t*, std::int32_t*, char*, std::uint32_t>(
        api, 6, 1, &state, nullptr, nullptr, 0)));
    EXPECT_EQ(state, CHANNEL_CONNECTING);
    EXPECT_FALSE((CallSlot<bool, std::int32_t, std::int32_t, std::int32_t>(api, 7, 1, 2, 3)));
    EXPECT_FALSE((CallSlot<bool, std::int32_t, std::int32_t, std::int32_t>(api, 8, 1, 2, 3)));
    EXPECT_TRUE((CallSlot<bool, std::uint32_t>(api, 3, 1)));
    EXPECT_FALSE((CallSlot<bool, std::uint32_t>(api, 3, 1)));
    EXPECT_TRUE((CallSlot<bool, std::uint32_t, IFrameReceiver*, IStreamSettings*>(api, 2, 0, &receiver, &settings)));
    // Slot 0 destroys and frees the object, stopping its channels.
    EXPECT_EQ(CallSlot<void*>(api, 0, 1u), static_cast<void*>(capture));
    EXPECT_EQ(journal.events.back(), "2 destroyed");
}

}  // namespace
}  // namespace brevane
