// The vendor camera properties against the camera simulator: model names,
// video standards, audio, the alarm output walk, failures, cancel, and the
// exact sequence of sink calls Save makes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "camsim/Simulator.h"
#include "support/CameraRequests.h"
#include "support/DeviceInfo.h"
#include "support/SimulatorAuth.h"
#include "capability/DarvikCameraProperties.h"
#include "kit/CapabilitySink.h"

namespace brevane {
namespace {

using darvik::camsim::Config;
using darvik::camsim::Simulator;
using darvik::host::CapabilitySink;

class CameraPropertiesTest : public ::testing::Test {
   protected:
    void StartSimulator(Config config = {}) {
        sim = std::make_unique<Simulator>(std::move(config));
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        device = test::LocalDevice(sim->Port(), 300, "admin", "admin");
    }
    // The camera answers get?GROUP with exactly `body` (status 200), or with
    // `status` and no lines.
    void Answer(const std::string& group, const std::string& body, unsigned status = 200) {
        darvik::camsim::Faults faults = sim->GetFaults();
        faults.pathStatus.push_back({"/cgi-bin/get?" + group, status, body});
        sim->SetFaults(faults);
    }
    std::vector<std::string> Targets() const { return test::RequestTargets(*sim); }
    // Fetches into a new properties object; the object stays in `properties`.
    bool Fetch(std::int32_t& code) {
        properties = std::make_unique<CDarvikCameraProperties>(device, 1);
        return properties->Fetch(code);
    }

    std::unique_ptr<Simulator> sim;
    DEVICE_INFO device;
    std::unique_ptr<CDarvikCameraProperties> properties;
};

TEST_F(CameraPropertiesTest, PalCameraGivesTheWholeResultInItsFixedOrder) {
    Config config;
    config.productId = "013";
    config.inputCount = 3;
    config.outputCount = 2;
    config.audioType = 1;
    StartSimulator(config);
    std::int32_t code = 77;
    ASSERT_TRUE(Fetch(code));
    EXPECT_EQ(code, 77) << "success leaves the code alone";
    EXPECT_EQ(Targets(), (std::vector<std::string>{"/cgi-bin/get?sys", "/cgi-bin/get?mpg",
                                                   "/cgi-bin/get?aud", "/cgi-bin/get?alm"}));

    CapabilitySink sink;
    ASSERT_TRUE(properties->Save(&sink));
    const std::string port = std::to_string(sim->Port());
    EXPECT_EQ(sink.Calls(), (std::vector<std::string>{
                                "GetFrameIntervalList(1)",
                                "FrameIntervalList.AddFrameInterval(200)",
                                "FrameIntervalList.AddFrameInterval(166)",
                                "FrameIntervalList.AddFrameInterval(125)",
                                "FrameIntervalList.AddFrameInterval(76)",
                                "FrameIntervalList.AddFrameInterval(40)",
                                "SetCapability(11, 0)",
                                "SetCapability(12, 0)",
                                "SetModelName(Darvik TR-520)",
                                "SetCapability(0, 1)",
                                "SetCapability(2, 3)",
                                "SetCapability(3, 2)",
                                "SetCapability(4, 1)",
                                "SetCapability(6, 1)",
                                "SetCapability(7, 1)",
                                "GetResolutionList()",
                                "ResolutionList.AddResolution(352x288, 352, 288, 40)",
                                "ResolutionList.AddResolution(704x288, 704, 288, 40)",
                                "ResolutionList.AddResolution(704x576, 704, 576, 40)",
                                "GetConnectionField(1)",
                                "ConnectionField[1].SetText(127.0.0.1)",
                                "GetConnectionField(2)",
                                "ConnectionField[2].SetText(" + port + ")",
                                "GetConnectionField(3)",
                                "ConnectionField[3].SetText(admin)",
                                "GetConnectionField(4)",
                                "ConnectionField[4].SetText(admin)",
                                "AddParameter(1)",
                                "Parameter[0].SetName(Video standard)",
                                "Parameter[0].SetSlot6(0)",
                                "Parameter[0].SetSlot4(0)",
                                "Parameter[0].SetValue(0)",
                            }));
}

TEST_F(CameraPropertiesTest, NtscCameraWithDigestAuthentication) {
    Config config;
    config.ntsc = true;
    config.auth = brevane::test::ChallengingAuth();
    StartSimulator(config);
    std::int32_t code = 0;
    ASSERT_TRUE(Fetch(code));
    EXPECT_EQ(properties->Standard(), 1);
    CapabilitySink sink;
    ASSERT_TRUE(properties->Save(&sink));
    EXPECT_EQ(sink.FrameIntervals(), (std::vector<std::int32_t>{166, 142, 100, 66, 33}));
    const auto resolutions = sink.Resolutions();
    ASSERT_EQ(resolutions.size(), 3u);
    EXPECT_EQ(resolutions[0].name, "352x240");
    EXPECT_EQ(resolutions[1].name, "704x240");
    EXPECT_EQ(resolutions[2].name, "704x480");
    for (const auto& resolution : resolutions) {
        EXPECT_EQ(resolution.frameIntervalMs, 33);
    }
    ASSERT_EQ(sink.Parameters().size(), 1u);
    EXPECT_EQ(sink.Parameters()[0].value, "1");
    EXPECT_EQ(sink.ModelName(), "Darvik TC-830NX");

    // A refused login and a camera that is gone are told apart.
    device.password = "wrong";
    EXPECT_FALSE(Fetch(code));
    EXPECT_EQ(code, 1);
    sim->Stop();
    EXPECT_FALSE(Fetch(code));
    EXPECT_EQ(code, 2);
}

TEST_F(CameraPropertiesTest, ProductIdGivesModelNameAndCapabilityOne) {
    struct Case {
        const char* productId;
        const char* model;
        bool extended;
    };
    for (const Case& c : {Case{"013", "Darvik TR-520", false}, Case{"077", "Darvik 077", true},
                          Case{"39", "Darvik 39", false}, Case{"40", "Darvik 40", true},
                          Case{"A12", "Darvik A12", false}, Case{"000", "Darvik TR-500", false}}) {
        Config config;
        config.productId = c.productId;
        StartSimulator(config);
        std::int32_t code = 0;
        ASSERT_TRUE(Fetch(code)) << c.productId;
        CapabilitySink sink;
        ASSERT_TRUE(properties->Save(&sink));
        EXPECT_EQ(sink.ModelName(), c.model);
        EXPECT_EQ(sink.Capabilities().count(1), c.extended ? 1u : 0u) << c.productId;
    }
}

TEST_F(CameraPropertiesTest, StandardComesFromTheMpegTypeAndAnythingElseFails) {
    StartSimulator();
    std::int32_t code = 0;
    Answer("mpg", "m_mode:0\r\nm_type:2\r\n");
    EXPECT_FALSE(Fetch(code));
    EXPECT_EQ(code, 3);
    // Neither audio, resolutions nor alarms were asked for.
    EXPECT_EQ(Targets().back(), "/cgi-bin/get?mpg");
    EXPECT_TRUE(properties->m_resolutions.empty());
    EXPECT_EQ(properties->m_modelName, "Darvik TC-830NX");
}

TEST_F(CameraPropertiesTest, AudioIsOnForAnyTypeButZero) {
    struct Case {
        const char* body;
        bool audio;
    };
    for (const Case& c : {Case{"a_type:0\r\n", false}, Case{"a_type:1\r\n", true},
                          Case{"a_type:3\r\n", true}, Case{"a_type:\r\na_rate:0\r\n", false},
                          Case{"a_rate:8000\r\n", false}}) {
        StartSimulator();
        Answer("aud", c.body);
        std::int32_t code = 0;
        ASSERT_TRUE(Fetch(code)) << c.body;
        EXPECT_EQ(properties->m_hasAudio, c.audio) << c.body;
    }
    StartSimulator();
    Answer("aud", "Error\r\n", 404);
    std::int32_t code = 0;
    EXPECT_TRUE(Fetch(code)) << "an unanswered audio query does not fail the fetch";
    EXPECT_FALSE(properties->m_hasAudio);
}

TEST_F(CameraPropertiesTest, AlarmCountsFromInputNumberAndConsecutiveOutputKeys) {
    struct Case {
        std::string body;
        std::int32_t inputs;
        std::int32_t outputs;
    };
    // More consecutive output keys than anyone can switch are counted no
    // further than 1024.
    std::string manyOutputs = "a_snum:1\r\n";
    for (int key = 1; key <= 1030; ++key) {
        manyOutputs += "a_aoa" + std::to_string(key) + ":0\r\n";
    }
    for (const Case& c : {Case{"a_snum:2\r\na_aoa1:0\r\na_aoa2:1\r\na_mode:0\r\n", 2, 2},
                          Case{"a_snum:4\r\na_aoa2:1\r\n", 4, 0},
                          Case{"a_snum:x\r\na_aoa1:1\r\n", 0, 1},
                          Case{"a_snum:0\r\n", 0, 0},
                          // Claims beyond what anyone can poll are capped, a
                          // negative count is no count.
                          Case{"a_snum:2147483647\r\n", 1024, 0},
                          Case{"a_snum:1025\r\n", 1024, 0},
                          Case{"a_snum:-5\r\n", 0, 0},
                          Case{manyOutputs, 1, 1024}}) {
        StartSimulator();
        Answer("alm", c.body);
        std::int32_t code = 0;
        ASSERT_TRUE(Fetch(code)) << c.body;
        EXPECT_EQ(properties->m_alarmInputs, c.inputs) << c.body;
        EXPECT_EQ(properties->m_alarmOutputs, c.outputs) << c.body;
        CapabilitySink sink;
        ASSERT_TRUE(properties->Save(&sink));
        EXPECT_EQ(sink.Capabilities().count(2), c.inputs != 0 ? 1u : 0u) << c.body;
        EXPECT_EQ(sink.Capabilities().count(3), c.outputs != 0 ? 1u : 0u) << c.body;
    }
}

TEST_F(CameraPropertiesTest, FailedSystemOrAlarmQueryFailsTheFetch) {
    StartSimulator();
    Answer("sys", "s_name:x\r\n");
    std::int32_t code = 0;
    EXPECT_FALSE(Fetch(code));
    EXPECT_EQ(code, 3);
    EXPECT_EQ(Targets(), std::vector<std::string>{"/cgi-bin/get?sys"});
    EXPECT_EQ(properties->m_capability0, 1);
    EXPECT_EQ(properties->m_codecKinds, (std::vector<std::uint32_t>{4, 1}));

    StartSimulator();
    Answer("alm", "Error\r\n", 404);
    code = 0;
    EXPECT_FALSE(Fetch(code));
    EXPECT_EQ(code, 3);
    // What came before the alarm query is filled all the same.
    EXPECT_EQ(properties->m_modelName, "Darvik TC-830NX");
    EXPECT_EQ(properties->m_resolutions.size(), 3u);

    sim->Stop();
    EXPECT_FALSE(Fetch(code));
}

TEST_F(CameraPropertiesTest, CancelAfterTheSystemQueryGivesPartialSuccess) {
    Config config;
    config.ntsc = true;
    StartSimulator(config);
    properties = std::make_unique<CDarvikCameraProperties>(device, 0);
    properties->Cancel();  // the system query is made regardless
    std::int32_t code = 0;
    EXPECT_TRUE(properties->Fetch(code));
    EXPECT_EQ(Targets(), std::vector<std::string>{"/cgi-bin/get?sys"});
    EXPECT_EQ(properties->m_modelName, "Darvik TC-830NX");
    EXPECT_EQ(properties->Standard(), 0) << "the standard was never asked for";
    EXPECT_TRUE(properties->m_resolutions.empty());
    EXPECT_EQ(properties->m_alarmInputs, 0);
    EXPECT_EQ(properties->m_capability0, 1);
    EXPECT_EQ(properties->m_codecKinds, (std::vector<std::uint32_t>{4, 1}));
}

// A sink that hands out no sub-objects, as a host may.
class BareSink final : public ipcapture::ICapabilitySink {
    DARVIK_IMPLEMENT_SLOT0(BareSink)

   public:
    ~BareSink() = default;
    std::int32_t SetCapability(std::int32_t, std::int32_t) override { return ++capabilities; }
    void SetModelName(const char*) override {}
    ipcapture::ICapabilityTextField* GetConnectionField(std::int32_t) override { return nullptr; }
    ipcapture::ICapabilityParameter* AddParameter(std::int32_t) override { return nullptr; }
    ipcapture::ICapabilityResolutionList* GetResolutionList() override { return nullptr; }
    ipcapture::ICapabilityFrameIntervalList* GetFrameIntervalList(std::int32_t) override { return nullptr; }
    int capabilities = 0;
};

TEST_F(CameraPropertiesTest, SaveSkipsMissingSubObjectsAndRefusesANullSink) {
    StartSimulator();
    std::int32_t code = 0;
    ASSERT_TRUE(Fetch(code));
    EXPECT_FALSE(properties->Save(nullptr));
    BareSink bare;
    EXPECT_TRUE(properties->Save(&bare));
    EXPECT_EQ(bare.capabilities, 7);  // 11, 12, 0, 2, 3, 6, 7
}

}  // namespace
}  // namespace brevane
