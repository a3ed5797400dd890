// The probe result the host tools share: what is collected from the
// callback and the sink, and the JSON both `probe --json` and the console
// build from it.
#include <gtest/gtest.h>

#include "darvik/IIPPTZ.h"
#include "darvik/IIPVideoCapture.h"
#include "kit/ProbeResult.h"
#include "kit/Vocabulary.h"

namespace darvik::host {
namespace {

TEST(ProbeResult, CollectsTheFindingsAndWritesThemUnderTheProbeKeys) {
    CapabilityQueryCallback callback;
    CapabilitySink sink;
    sink.SetModelName("Caf\xe9 7");  // the module's narrow text
    sink.SetCapability(kCapabilityAlarmInputs, 2);
    sink.SetCapability(kCapabilityAlarmOutputs, 3);
    sink.SetCapability(7, 1);
    brevane::ipcapture::ICapabilityParameter* standard = sink.AddParameter(0);
    ASSERT_NE(standard, nullptr);
    standard->SetName("Video standard");
    standard->SetValue("1");
    callback.OnQuerySucceeded();

    ProbeResult result;
    result.started = true;
    CollectProbe(callback, sink, result);
    ASSERT_TRUE(result.Succeeded());
    EXPECT_EQ(result.standard, "NTSC");

    const nlohmann::ordered_json outcome = ProbeOutcomeJson(result);
    EXPECT_EQ(outcome.dump(), R"({"outcome":"succeeded"})");
    const nlohmann::ordered_json findings = ProbeFindingsJson(result);
    // Text that is not UTF-8 is converted, so the JSON can be written.
    EXPECT_EQ(findings["model"], "Caf\u00e9 7");
    EXPECT_EQ(findings["videoStandard"], "NTSC");
    EXPECT_EQ(findings["audio"], false) << "audio was not sent";
    EXPECT_EQ(findings["alarmInputs"], 2);
    EXPECT_EQ(findings["alarmOutputs"], 3);
    EXPECT_EQ(findings["capabilities"].dump(), R"({"2":2,"3":3,"7":1})");
    EXPECT_NO_THROW(findings.dump());
}

TEST(ProbeResult, AQueryThatNeverStartedIsRefusedWithItsReason) {
    ProbeResult result;
    result.message = "CreateCapabilityQueryModule returned null";
    EXPECT_EQ(ProbeOutcomeJson(result).dump(),
              R"({"outcome":"refused","errorCode":0,"message":"CreateCapabilityQueryModule returned null"})");

    CapabilityQueryCallback callback;
    CapabilitySink sink;
    callback.OnQueryFailed(1, "login \xe9");
    ProbeResult failed;
    failed.started = true;
    CollectProbe(callback, sink, failed);
    EXPECT_EQ(ProbeOutcomeJson(failed).dump(), R"({"outcome":"failed","errorCode":1,"message":"login é"})");
}

TEST(ProbeResult, SameFindingsComparesWhatTheCameraSaid) {
    ProbeResult a;
    a.model = "DVK";
    a.capabilities = {{kCapabilityAudio, 1}};
    ProbeResult b = a;
    b.outcome = QueryOutcome::Failed;  // the outcome is not a finding
    EXPECT_TRUE(a.SameFindings(b));
    b.capabilities[kCapabilityAudio] = 0;
    EXPECT_FALSE(a.SameFindings(b));
}

TEST(Vocabulary, NamesTheModulesNumbers) {
    EXPECT_STREQ(ChannelStateName(brevane::ipcapture::kChannelRunning), "online");
    EXPECT_STREQ(ChannelStateName(42), "unknown");
    EXPECT_STREQ(PtzStatusName(brevane::PTZ_ERR_FULL), "PTZ_ERR_FULL");
    EXPECT_STREQ(PtzStatusName(0), "UNKNOWN_STATUS");
    EXPECT_EQ(DirectionCode("left"), 0);
    EXPECT_EQ(DirectionCode("right-down"), 7);
    EXPECT_EQ(DirectionCode("zoom-out"), 9);
    EXPECT_EQ(DirectionCode("Left"), std::nullopt);
    EXPECT_EQ(DirectionCode(""), std::nullopt);
}

}  // namespace
}  // namespace darvik::host
