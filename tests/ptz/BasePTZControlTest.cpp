#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ptz/BasePTZControl.h"
#include "ptz/RecordingComm.h"
#include "settings/TempSettingsDirectory.h"
#include "support/FakeDriver.h"

namespace brevane {
namespace {

using test::FakeDriver;
using test::RecordingComm;

// A control whose command object records instead of talking to a camera.
class TestControl final : public CBasePTZControl {
   public:
    using CBasePTZControl::CBasePTZControl;
    CBasePTZComm* CreateComm() override {
        if (failCreate) {
            return nullptr;
        }
        auto* comm = new RecordingComm(m_driver, static_cast<std::uint16_t>(m_channel));
        comm->canOpen = commCanOpen;
        return comm;
    }
    RecordingComm& Comm() { return *static_cast<RecordingComm*>(GetComm()); }

    bool failCreate = false;
    bool commCanOpen = true;
};

class PTZControl : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_TRUE(m_control.Open()); }
    // Items the queue thread has processed so far, once `count` arrived.
    std::vector<std::string> Processed(std::size_t count) { return m_control.Comm().WaitForProcessed(count); }
    std::string Current() {
        char name[64];
        return m_control.GetCurrentPreposition(name, sizeof(name)) == PTZ_OK ? name : "-";
    }

    FakeDriver m_driver;
    TestControl m_control{&m_driver, 0, false};
};

TEST_F(PTZControl, DirectionTenIsRefusedOthersArePassedOn) {
    EXPECT_EQ(m_control.StartMove(10, 5), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(m_control.StartMove(11, 5), PTZ_OK);
    EXPECT_EQ(m_control.StartMove(-1, 5), PTZ_OK);
    EXPECT_EQ(Processed(2), (std::vector<std::string>{"1/0/11/61/0/0", "1/0/-1/49/0/0"}));
}

TEST_F(PTZControl, StopAllStopsExactlyWhatWasStartedInFixedOrder) {
    ASSERT_EQ(m_control.StartMove(PTZ_DIR_LEFT, 5), PTZ_OK);
    ASSERT_EQ(m_control.ZoomIn(5), PTZ_OK);
    EXPECT_EQ(m_control.StopAll(), PTZ_OK);
    EXPECT_EQ(Processed(4), (std::vector<std::string>{"1/0/0/50/0/0", "1/0/8/58/0/0", "4/5/0/0/0/0", "4/6/0/0/0/0"}));
    EXPECT_EQ(m_control.StopAll(), PTZ_OK);  // nothing left to stop

    ASSERT_EQ(m_control.FocusNear(1), PTZ_OK);
    ASSERT_EQ(m_control.IrisClose(1), PTZ_OK);
    ASSERT_EQ(m_control.ZoomOut(2), PTZ_OK);
    ASSERT_EQ(m_control.StartMove(PTZ_DIR_RIGHT_DOWN, 3), PTZ_OK);
    EXPECT_EQ(m_control.StopAll(), PTZ_OK);
    const auto processed = Processed(12);
    ASSERT_EQ(processed.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(processed.begin() + 4, processed.end()),
              (std::vector<std::string>{"2/2/101/0/0/0", "3/4/201/0/0/0", "1/0/9/29/0/0", "1/0/7/37/0/0",
                                        "4/5/0/0/0/0", "4/6/0/0/0/0", "4/8/0/0/0/0", "4/7/0/0/0/0"}));
}

TEST_F(PTZControl, StopsThatCannotBeQueuedKeepTheirFlags) {
    ASSERT_EQ(m_control.StartMove(PTZ_DIR_UP, 5), PTZ_OK);
    Processed(1);
    m_control.Comm().StopThread();
    EXPECT_EQ(m_control.StopAll(), PTZ_ERR_NOT_READY);
    ASSERT_TRUE(m_control.Comm().Open());
    EXPECT_EQ(m_control.StopAll(), PTZ_OK);
    EXPECT_EQ(Processed(2).back(), "4/5/0/0/0/0");
}

TEST_F(PTZControl, ClosedControlIsNotReady) {
    m_control.Close();
    m_control.Close();
    std::int32_t record[kPtzCapabilityWords] = {};
    char name[16];
    EXPECT_EQ(m_control.CheckReady(), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.StartMove(0, 1), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.StopAll(), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.ZoomIn(1), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.FocusFar(1), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.IrisOpen(1), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.Center(1, 2, 3), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.AreaZoom(1, 2, 3, 4), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.Unzoom(1), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.GetCapabilities(record), PTZ_ERR_NOT_READY);
    // Preset requests reach the list, which has no camera any more.
    EXPECT_EQ(m_control.AddPreposition("Door"), PTZ_ERR_NOT_READY);
    EXPECT_EQ(m_control.GetPrepositionCount(), 0);
    EXPECT_EQ(m_control.GotoPreposition(0, "Door"), PTZ_ERR_PRESET);
    EXPECT_EQ(m_control.GetPrepositionName(0, name, sizeof(name)), PTZ_ERR_PRESET);
}

TEST_F(PTZControl, OpenFailsWithoutCommandObjectOrWithoutReader) {
    TestControl noComm(&m_driver, 0, false);
    noComm.failCreate = true;
    EXPECT_FALSE(noComm.Open());
    TestControl refusing(&m_driver, 0, false);
    refusing.commCanOpen = false;
    EXPECT_FALSE(refusing.Open());
    EXPECT_EQ(refusing.GetComm(), nullptr);
    TestControl noReader(&m_driver, 0, true);
    EXPECT_FALSE(noReader.Open(TSmartPtr<CXMLPrepositionReader>()));
    EXPECT_EQ(noReader.GetComm(), nullptr);
}

TEST_F(PTZControl, PresetNamesAreCopiedOnlyWhenTheyFit) {
    ASSERT_EQ(m_control.AddPreposition("Door"), PTZ_OK);
    EXPECT_EQ(m_control.GetPrepositionCount(), 1);
    char buffer[8];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(m_control.GetPrepositionName(0, buffer, 5), PTZ_OK);
    EXPECT_STREQ(buffer, "Door");
    EXPECT_EQ(m_control.GetPrepositionName(0, buffer, 4), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(m_control.GetPrepositionName(0, nullptr, 5), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(m_control.GetPrepositionName(1, buffer, 5), PTZ_ERR_PRESET);
    EXPECT_EQ(m_control.GetPrepositionName(-1, buffer, 5), PTZ_ERR_PRESET);
    EXPECT_EQ(m_control.GetCurrentPreposition(buffer, 4), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(m_control.GetCurrentPreposition(buffer, 5), PTZ_OK);
    EXPECT_STREQ(buffer, "Door");

    EXPECT_EQ(m_control.AddPreposition(nullptr), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(m_control.GotoPreposition(0, nullptr), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(m_control.RemovePreposition(nullptr), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(m_control.RemovePreposition("Gate"), PTZ_ERR_PRESET);
    EXPECT_EQ(m_control.RemovePreposition("Door"), PTZ_OK);
    EXPECT_EQ(m_control.Comm().Commands(), (std::vector<std::string>{"save 0", "delete 0"}));
}

TEST_F(PTZControl, CapabilityRecordCarriesPresetCapacityAndCount) {
    std::int32_t record[kPtzCapabilityWords];
    std::fill(std::begin(record), std::end(record), 77);
    EXPECT_EQ(m_control.GetCapabilities(nullptr), PTZ_ERR_INVALID_ARGUMENT);
    for (const char* name : {"A", "B", "C"}) {
        ASSERT_EQ(m_control.AddPreposition(name), PTZ_OK);
    }
    ASSERT_EQ(m_control.GetCapabilities(record), PTZ_OK);
    EXPECT_EQ(std::vector<std::int32_t>(std::begin(record), std::end(record)),
              (std::vector<std::int32_t>{77, 1, 1, 1, 1, 1, 0, 255, 3, 0, 0, 0, 0, 0}));
}

TEST_F(PTZControl, EveryManualMotionForgetsTheCurrentPreset) {
    const std::vector<std::function<std::int32_t()>> motions = {
        [&] { return m_control.StartMove(PTZ_DIR_LEFT, 1); }, [&] { return m_control.ZoomIn(1); },
        [&] { return m_control.ZoomOut(1); },                 [&] { return m_control.FocusNear(1); },
        [&] { return m_control.FocusFar(1); },                [&] { return m_control.IrisOpen(1); },
        [&] { return m_control.IrisClose(1); },               [&] { return m_control.Center(1, 2, 3); },
        [&] { return m_control.AreaZoom(1, 2, 3, 4); },       [&] { return m_control.Unzoom(1); },
    };
    ASSERT_EQ(m_control.AddPreposition("Door"), PTZ_OK);
    for (std::size_t i = 0; i < motions.size(); ++i) {
        ASSERT_EQ(m_control.GotoPreposition(0, "Door"), PTZ_OK);
        EXPECT_EQ(Current(), "Door");
        ASSERT_EQ(motions[i](), PTZ_OK);
        EXPECT_EQ(Current(), "-") << "motion " << i;
    }
    // One save, then a move for every go-to after a motion.
    EXPECT_EQ(m_control.Comm().Commands().size(), motions.size());
    EXPECT_EQ(m_control.CheckReady(), PTZ_OK);
}

TEST_F(PTZControl, ParametersInterface) {
    IIPParams& params = m_control;
    TestControl second(&m_driver, 0x10002, false);
    EXPECT_EQ(static_cast<IIPParams&>(second).GetChannel(), 0x10002u);
    EXPECT_FALSE(params.GetOption1());
    EXPECT_FALSE(params.GetOption2());
    params.SetOption2(true);
    EXPECT_FALSE(params.GetOption1());
    EXPECT_TRUE(params.GetOption2());
    // Every queued item carries the control's own parameters.
    ASSERT_EQ(m_control.StartMove(0, 1), PTZ_OK);
    Processed(1);
    EXPECT_EQ(m_control.Comm().Params().front(), &params);
}

}  // namespace
}  // namespace brevane
