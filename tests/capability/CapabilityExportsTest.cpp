// The capability-query exports of the built module, loaded as a host loads
// it, against the camera simulator: the module object and the single
// instance, PAL and NTSC, with and without Digest authentication, and an
// Uninit while the camera stalls.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "camsim/Simulator.h"
#include "support/SimulatorAuth.h"
#include "kit/CapabilityQueryCallback.h"
#include "kit/CapabilitySink.h"
#include "kit/ModuleLoader.h"
#include "support/Wait.h"

namespace {

using darvik::camsim::AuthMode;
using darvik::camsim::Config;
using darvik::camsim::Simulator;
using darvik::host::CapabilityQueryCallback;
using darvik::host::CapabilitySink;
using darvik::host::QueryOutcome;
using namespace std::chrono_literals;

class CapabilityExportsTest : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_TRUE(m_loader.Load(DARVIK_MODULE_PATH)) << m_loader.Error(); }
    const darvik::host::ModuleExports& Module() const { return m_loader.Exports(); }

    std::unique_ptr<Simulator> StartSimulator(Config config) {
        auto sim = std::make_unique<Simulator>(std::move(config));
        std::string error;
        EXPECT_TRUE(sim->Start(&error)) << error;
        return sim;
    }

    darvik::host::ModuleLoader m_loader;
};

TEST_F(CapabilityExportsTest, ModuleObjectReportsWhatTheCameraIsForBothStandards) {
    struct Case {
        bool ntsc;
        AuthMode auth;
        const char* standard;
        std::int32_t firstInterval;
    };
    const AuthMode challenge = brevane::test::ChallengingAuth();
    for (const Case& c : {Case{false, AuthMode::None, "0", 200}, Case{true, challenge, "1", 166},
                          Case{false, challenge, "0", 200}}) {
        Config config;
        config.ntsc = c.ntsc;
        config.auth = c.auth;
        config.productId = "021";
        config.inputCount = 1;
        config.outputCount = 3;
        config.audioType = 2;
        auto sim = StartSimulator(config);
        CapabilityQueryCallback callback;
        CapabilitySink sink;
        auto* module = Module().CreateCapabilityQueryModule(&callback, 1);
        ASSERT_NE(module, nullptr);
        ASSERT_EQ(module->Start("127.0.0.1", sim->Port(), "admin", "admin", &sink), 1);
        ASSERT_EQ(callback.WaitForOutcome(10s), QueryOutcome::Succeeded) << callback.Message();
        Module().DeleteCapabilityQueryModule(module);

        EXPECT_EQ(sink.ModelName(), "Darvik TP-50");
        EXPECT_EQ(sink.Capabilities(), (std::map<std::int32_t, std::int32_t>{
                                           {0, 1}, {2, 1}, {3, 3}, {4, 1}, {6, 1}, {7, 1}, {11, 0}, {12, 0}}));
        ASSERT_EQ(sink.Parameters().size(), 1u);
        EXPECT_EQ(sink.Parameters()[0].value, c.standard);
        ASSERT_EQ(sink.FrameIntervals().size(), 5u);
        EXPECT_EQ(sink.FrameIntervals()[0], c.firstInterval);
        EXPECT_EQ(callback.Notifications(), 1u);
    }
    Module().DeleteCapabilityQueryModule(nullptr);
}

TEST_F(CapabilityExportsTest, SingleInstanceSequence) {
    auto sim = StartSimulator({});
    CapabilityQueryCallback callback;
    CapabilityQueryCallback other;
    CapabilitySink sink;
    EXPECT_EQ(Module().StartCapabilityQuery("127.0.0.1", sim->Port(), "", "", &sink), 0);
    ASSERT_EQ(Module().InitCapabilityQuery(&callback, 0), 1);
    EXPECT_EQ(Module().InitCapabilityQuery(&other, 0), 0);
    ASSERT_EQ(Module().StartCapabilityQuery("127.0.0.1", sim->Port(), "", "", &sink), 1);
    ASSERT_EQ(callback.WaitForOutcome(10s), QueryOutcome::Succeeded);
    EXPECT_EQ(Module().StartCapabilityQuery("127.0.0.1", sim->Port(), "", "", &sink), 0);
    EXPECT_EQ(Module().TerminateCapabilityQuery(), 1);
    EXPECT_EQ(Module().UninitCapabilityQuery(), 1);
    EXPECT_EQ(other.Notifications(), 0u);
    EXPECT_EQ(sink.ConnectionField(2), std::to_string(sim->Port()));

    // A wrong password against the camera's authentication fails the fetch.
    Config digest;
    digest.auth = brevane::test::ChallengingAuth();
    auto guarded = StartSimulator(digest);
    ASSERT_EQ(Module().InitCapabilityQuery(&other, 0), 1);
    ASSERT_EQ(Module().StartCapabilityQuery("127.0.0.1", guarded->Port(), "admin", "nope", &sink), 1);
    ASSERT_EQ(other.WaitForOutcome(10s), QueryOutcome::Failed);
    EXPECT_EQ(other.ErrorCode(), 1);
    EXPECT_EQ(other.Message(), "Failed to get camera properties, login failed (invalid credentials)");
    EXPECT_EQ(Module().UninitCapabilityQuery(), 1);
}

// Ending a query waits for it within twice the time-out: a camera that stalls
// fails the fetch after one time-out, and that failure is what is reported.
TEST_F(CapabilityExportsTest, UninitWhileTheCameraStallsReportsTheFetchFailure) {
    Config config;
    config.faults.stall = true;
    auto sim = StartSimulator(config);
    CapabilityQueryCallback callback;
    CapabilitySink sink;
    ASSERT_EQ(Module().InitCapabilityQuery(&callback, 0), 1);
    ASSERT_EQ(Module().StartCapabilityQuery("127.0.0.1", sim->Port(), "", "", &sink), 1);
    brevane::test::WaitUntil([&] { return !sim->RequestLog().empty(); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Module().UninitCapabilityQuery(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_EQ(callback.Outcome(), QueryOutcome::Failed);
    EXPECT_EQ(callback.Notifications(), 1u);
}

}  // namespace
