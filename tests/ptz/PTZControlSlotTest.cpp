#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "ptz/BasePTZControl.h"
#include "support/SlotCall.h"
#include "ptz/RecordingComm.h"
#include "support/FakeDriver.h"

namespace brevane {
namespace {

using brevane::test::CallSlot;
using test::FakeDriver;
using test::RecordingComm;

int g_destroyed = 0;

class SlotControl final : public CBasePTZControl {
   public:
    using CBasePTZControl::CBasePTZControl;
    ~SlotControl() override { ++g_destroyed; }
    CBasePTZComm* CreateComm() override { return new RecordingComm(m_driver, 0); }
    RecordingComm& Comm() { return *static_cast<RecordingComm*>(GetComm()); }
};

TEST(PTZControlSlots, HostCallsEveryOperationByItsSlot) {
    FakeDriver driver;
    auto* control = new SlotControl(&driver, 0, false);
    ASSERT_TRUE(control->Open());
    void* api = static_cast<IIPPTZApi*>(control);

    EXPECT_EQ((CallSlot<std::int32_t>(api, 1)), PTZ_OK);                                   // CheckReady
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, std::int32_t>(api, 2, 10, 1)), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, std::int32_t>(api, 2, 1, 2)), PTZ_OK);   // StartMove
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t>(api, 5, 3)), PTZ_OK);                    // ZoomIn
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t>(api, 6, 4)), PTZ_OK);                    // ZoomOut
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t>(api, 9, 5)), PTZ_OK);                    // FocusNear
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t>(api, 10, 6)), PTZ_OK);                   // FocusFar
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t>(api, 11, 7)), PTZ_OK);                   // IrisOpen
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t>(api, 12, 8)), PTZ_OK);                   // IrisClose
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, std::int32_t, std::int32_t>(api, 4, 1, 2, 3)), PTZ_OK);
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t>(api, 7, 9)), PTZ_OK);                    // Unzoom
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t>(api, 8, 1, 2, 3, 4)),
              PTZ_OK);                                                                     // AreaZoom
    EXPECT_EQ((CallSlot<std::int32_t>(api, 3)), PTZ_OK);                                   // StopAll
    EXPECT_EQ(control->Comm().WaitForProcessed(14),
              (std::vector<std::string>{"1/0/1/21/0/0", "1/0/8/38/0/0", "1/0/9/49/0/0", "2/2/105/0/0/0",
                                        "2/1/106/0/0/0", "3/3/207/0/0/0", "3/4/208/0/0/0", "6/0/1/2/3/0",
                                        "7/0/9/0/0/0", "5/0/1/2/3/4", "4/5/0/0/0/0", "4/6/0/0/0/0",
                                        "4/8/0/0/0/0", "4/7/0/0/0/0"}));

    EXPECT_EQ((CallSlot<std::int32_t, const char*>(api, 17, "Door")), PTZ_OK);            // AddPreposition
    EXPECT_EQ((CallSlot<std::int32_t>(api, 14)), 1);                                       // GetPrepositionCount
    char name[16] = {};
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, char*, std::uint32_t>(api, 15, 0, name, 16u)), PTZ_OK);
    EXPECT_STREQ(name, "Door");
    EXPECT_EQ((CallSlot<std::int32_t, char*, std::uint32_t>(api, 19, name, 16u)), PTZ_OK);  // GetCurrentPreposition
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, const char*>(api, 16, 0, "Door")), PTZ_OK);  // Goto
    std::int32_t record[kPtzCapabilityWords] = {};
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t*>(api, 13, record)), PTZ_OK);           // GetCapabilities
    EXPECT_EQ(record[7], 255);
    EXPECT_EQ(record[8], 1);
    EXPECT_EQ((CallSlot<std::int32_t, const char*>(api, 18, "Door")), PTZ_OK);            // RemovePreposition
    EXPECT_EQ(control->Comm().Commands(), (std::vector<std::string>{"save 0", "delete 0"}));

    // The parameter interface, then slot 0 through it destroys the control.
    void* params = static_cast<IIPParams*>(control);
    EXPECT_NE(params, api);
    EXPECT_EQ((CallSlot<std::uint32_t>(params, 1)), 0u);                                   // GetChannel
    CallSlot<void, bool>(params, 3, true);                                                 // SetOption1
    EXPECT_TRUE((CallSlot<bool>(params, 2)));
    EXPECT_FALSE((CallSlot<bool>(params, 4)));
    CallSlot<void, bool>(params, 5, true);                                                 // SetOption2
    EXPECT_TRUE((CallSlot<bool>(params, 4)));
    g_destroyed = 0;
    EXPECT_EQ((CallSlot<void*, unsigned>(params, 0, 1u)), static_cast<void*>(control));
    EXPECT_EQ(g_destroyed, 1);
}

TEST(PTZControlSlots, SlotZeroWithoutFreeFlagOnlyDestroys) {
    FakeDriver driver;
    alignas(SlotControl) unsigned char storage[sizeof(SlotControl)];
    auto* control = new (storage) SlotControl(&driver, 0, false);
    ASSERT_TRUE(control->Open());
    g_destroyed = 0;
    CallSlot<void*, unsigned>(static_cast<IIPPTZApi*>(control), 0, 0u);
    EXPECT_EQ(g_destroyed, 1);
}

}  // namespace
}  // namespace brevane
