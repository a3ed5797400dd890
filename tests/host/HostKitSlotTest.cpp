// The reference host's objects answer by table entry exactly as the module
// calls them (slot N = entry N).
#include <gtest/gtest.h>

#include <cstdint>

#include "driver/DebugInfo.h"
#include "kit/CapabilityQueryCallback.h"
#include "kit/CapabilitySink.h"
#include "kit/FrameAllocator.h"
#include "kit/FrameReceiver.h"
#include "kit/IOEventSink.h"
#include "kit/MessageSink.h"
#include "kit/OpenParameters.h"
#include "kit/StreamSettings.h"
#include "support/SlotCall.h"

namespace {

using brevane::test::CallSlot;
namespace host = darvik::host;

TEST(HostKitSlotTest, OpenParametersAndTheirObjects) {
    host::OpenParameters parameters;
    parameters.connection.address = "10.0.0.9";
    parameters.connection.port = 8080;
    parameters.connection.streamType = 2;
    parameters.connection.userName = "user";
    parameters.connection.password = "pass";
    parameters.device.modelName = "DVK";
    parameters.device.channelCount = 3;
    parameters.device.inputCount = 4;
    parameters.device.outputCount = 5;
    parameters.SetCustomParameter(1, "0");

    void* device = CallSlot<void*>(static_cast<brevane::ipcapture::IOpenParameters*>(&parameters), 1);
    void* connection = CallSlot<void*>(static_cast<brevane::ipcapture::IOpenParameters*>(&parameters), 2);
    EXPECT_EQ(device, static_cast<brevane::ipcapture::IDeviceDescription*>(&parameters.device));
    EXPECT_EQ(connection, static_cast<brevane::ipcapture::IConnectionSettings*>(&parameters.connection));
    EXPECT_STREQ((CallSlot<const char*, std::uint32_t>(&parameters, 4, 1u)), "0");
    EXPECT_EQ((CallSlot<const char*, std::uint32_t>(&parameters, 4, 2u)), nullptr);

    EXPECT_STREQ(CallSlot<const char*>(connection, 1), "10.0.0.9");
    EXPECT_EQ(CallSlot<std::uint16_t>(connection, 2), 8080);
    EXPECT_EQ(CallSlot<std::int32_t>(connection, 4), 2);
    EXPECT_STREQ(CallSlot<const char*>(connection, 5), "user");
    EXPECT_STREQ(CallSlot<const char*>(connection, 6), "pass");

    EXPECT_STREQ(CallSlot<const char*>(device, 2), "DVK");
    EXPECT_EQ(CallSlot<std::uint32_t>(device, 3), 3u);
    EXPECT_EQ(CallSlot<std::uint32_t>(device, 5), 4u);
    EXPECT_EQ(CallSlot<std::uint32_t>(device, 6), 5u);
}

TEST(HostKitSlotTest, MessageSinkFramesAndReceiver) {
    host::MessageSink sink;
    brevane::CDebugInfo line("hello", 3);
    CallSlot<void, CDebugInfoIf*>(&sink, 1, &line);
    ASSERT_EQ(sink.Count(), 1u);
    EXPECT_EQ(sink.Messages()[0].text, "hello");
    EXPECT_EQ(sink.Messages()[0].level, 3);

    host::FrameAllocator allocator;
    void* frame = CallSlot<void*, std::uint32_t, std::uint32_t, const char*>(
        &allocator, 2, brevane::contract::kFormatJpeg, 16u, "DarvikIPCapture");
    ASSERT_NE(frame, nullptr);
    CallSlot<void, std::uint32_t>(frame, 14, 352u);
    CallSlot<void, std::uint32_t>(frame, 12, 288u);
    CallSlot<void, std::int32_t>(frame, 16, 3);
    CallSlot<void, std::uint32_t>(frame, 4, 4u);
    CallSlot<void, std::uint32_t>(frame, 10, brevane::contract::kFormatJpeg);
    CallSlot<void>(frame, 5);
    std::uint8_t* buffer = CallSlot<std::uint8_t*>(frame, 2);
    ASSERT_NE(buffer, nullptr);
    // The buffer is not cleared for the module: it writes every byte it hands over.
    buffer[0] = 0xFF;
    buffer[1] = 0xD8;
    buffer[2] = 0xFF;
    buffer[3] = 0xD9;

    host::FrameReceiver receiver;
    std::vector<std::uint8_t> seen;
    receiver.SetDataCallback([&](const host::FrameRecord&, std::span<const std::uint8_t> data) {
        seen.assign(data.begin(), data.end());
    });
    EXPECT_TRUE((CallSlot<bool, void*>(&receiver, 1, frame)));
    receiver.SetAccept(false);
    EXPECT_FALSE((CallSlot<bool, void*>(&receiver, 1, frame)));
    CallSlot<void>(&receiver, 3);
    CallSlot<void, void*>(&allocator, 6, frame);

    EXPECT_EQ(allocator.ViolationCount(), 0u) << allocator.Violations().front();
    EXPECT_EQ(allocator.Outstanding(), 0u);
    EXPECT_EQ(receiver.Delivered(), 2u);
    EXPECT_EQ(receiver.Accepted(), 1u);
    EXPECT_EQ(receiver.SignalLost(), 1u);
    const auto records = receiver.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].width, 352u);
    EXPECT_EQ(records[0].height, 288u);
    EXPECT_EQ(records[0].sizeClass, 3);
    EXPECT_EQ(records[0].dataSize, 4u);
    EXPECT_EQ(records[0].format, brevane::contract::kFormatJpeg);
    EXPECT_TRUE(records[0].complete);
    EXPECT_EQ(seen, (std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xD9}));
}

TEST(HostKitSlotTest, StreamSettingsAndIOEvents) {
    host::StreamSettings settings;
    settings.format.resolution = host::Resolution(704, 576);
    settings.encoding.frameIntervalMs = 200;
    settings.encoding.quality = 60;
    void* format = CallSlot<void*>(&settings, 1);
    void* encoding = CallSlot<void*>(&settings, 2);
    void* resolution = CallSlot<void*>(format, 3);
    EXPECT_EQ(CallSlot<std::uint16_t>(resolution, 1), 704);
    EXPECT_EQ(CallSlot<std::uint16_t>(resolution, 2), 576);
    EXPECT_EQ(CallSlot<std::uint16_t>(encoding, 1), 200);
    EXPECT_EQ(CallSlot<std::uint16_t>(encoding, 3), 60);

    host::IOEventSink events;
    CallSlot<void, std::uint32_t, std::int32_t>(&events, 1, 2u, 2);
    CallSlot<void>(&events, 2);
    const auto recorded = events.Events();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].kind, host::IOEvent::Kind::InputChanged);
    EXPECT_EQ(recorded[0].input, 2u);
    EXPECT_EQ(recorded[0].state, 2);
    EXPECT_EQ(recorded[1].kind, host::IOEvent::Kind::Failure);
    EXPECT_LE(recorded[0].time, recorded[1].time);
}

TEST(HostKitSlotTest, CapabilitySinkAndCallback) {
    host::CapabilitySink sink;
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, std::int32_t>(&sink, 1, 6, 1)), 1);
    CallSlot<void, const char*>(&sink, 2, "DVK-100");
    void* field = CallSlot<void*, std::int32_t>(&sink, 3, 2);
    CallSlot<void, const char*>(field, 1, "80");
    EXPECT_EQ((CallSlot<void*, std::int32_t>(&sink, 3, 5)), nullptr);
    void* parameter = CallSlot<void*, std::int32_t>(&sink, 5, 1);
    CallSlot<void, const char*>(parameter, 5, "Video standard");
    CallSlot<void, std::int32_t>(parameter, 6, 0);
    CallSlot<void, std::int32_t>(parameter, 4, 0);
    CallSlot<void, const char*>(parameter, 1, "1");
    void* resolutions = CallSlot<void*>(&sink, 6);
    CallSlot<void, const char*, std::int32_t, std::int32_t, std::int32_t>(resolutions, 1, "CIF", 352, 288, 40);
    void* intervals = CallSlot<void*, std::int32_t>(&sink, 8, 1);
    CallSlot<void, std::int32_t>(intervals, 2, 40);

    EXPECT_EQ(sink.Calls(), (std::vector<std::string>{
                                "SetCapability(6, 1)", "SetModelName(DVK-100)", "GetConnectionField(2)",
                                "ConnectionField[2].SetText(80)", "GetConnectionField(5)", "AddParameter(1)",
                                "Parameter[0].SetName(Video standard)", "Parameter[0].SetSlot6(0)",
                                "Parameter[0].SetSlot4(0)", "Parameter[0].SetValue(1)", "GetResolutionList()",
                                "ResolutionList.AddResolution(CIF, 352, 288, 40)", "GetFrameIntervalList(1)",
                                "FrameIntervalList.AddFrameInterval(40)"}));
    EXPECT_EQ(sink.ConnectionField(2), "80");
    ASSERT_EQ(sink.Parameters().size(), 1u);
    EXPECT_EQ(sink.Parameters()[0].value, "1");

    host::CapabilityQueryCallback callback;
    std::string message = "Failed to get camera properties";
    CallSlot<void, std::int32_t, const char*>(&callback, 3, 3, message.c_str());
    message.assign(message.size(), 'x');  // valid only during the call
    EXPECT_EQ(callback.WaitForOutcome(std::chrono::milliseconds(0)), host::QueryOutcome::Failed);
    EXPECT_EQ(callback.ErrorCode(), 3);
    EXPECT_EQ(callback.Message(), "Failed to get camera properties");
    CallSlot<void>(&callback, 2);
    EXPECT_EQ(callback.Outcome(), host::QueryOutcome::Succeeded);
    CallSlot<void>(&callback, 4);
    EXPECT_EQ(callback.Outcome(), host::QueryOutcome::Aborted);
    EXPECT_EQ(callback.Notifications(), 3u);
}

}  // namespace
