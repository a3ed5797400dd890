// The vendor digital I/O against the camera simulator: reading "s_ssta",
// output paths, refused values, camera failures, and the whole object
// started through a driver.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "camsim/Simulator.h"
#include "support/CameraRequests.h"
#include "support/SimulatorAuth.h"
#include "driver/DarvikIPCaptureDriver.h"
#include "io/DarvikDigitalIO.h"
#include "kit/FrameAllocator.h"
#include "kit/IOEventSink.h"
#include "kit/MessageSink.h"
#include "kit/OpenParameters.h"
#include "support/FakeDriver.h"
#include "support/Wait.h"

namespace brevane {
namespace {

using darvik::camsim::Config;
using darvik::camsim::Simulator;
using darvik::host::IOEvent;
using darvik::host::IOEventSink;
using test::WaitUntil;
using Changes = std::vector<std::pair<std::uint32_t, std::int32_t>>;

Changes InputChanges(const IOEventSink& sink) {
    Changes changes;
    for (const IOEvent& event : sink.Events()) {
        if (event.kind == IOEvent::Kind::InputChanged) {
            changes.emplace_back(event.input, event.state);
        }
    }
    return changes;
}

class DarvikDigitalIOTest : public ::testing::Test {
   protected:
    void StartSimulator(Config config) {
        sim = std::make_unique<Simulator>(std::move(config));
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        driver.SetPort(sim->Port());
        driver.SetCredentials("admin", "admin");
    }
    // The camera answers get?sys with exactly `body`.
    void AnswerSystemQueryWith(const std::string& body) {
        darvik::camsim::Faults faults;
        faults.pathStatus.push_back({"/cgi-bin/get?sys", 200, body});
        sim->SetFaults(faults);
    }

    test::FakeDriver driver{4, 4};
    std::unique_ptr<Simulator> sim;
    IOEventSink sink;
};

TEST_F(DarvikDigitalIOTest, InputStatesFollowTheStatusStringUpToTheConfiguredCount) {
    Config config;
    config.inputCount = 4;
    StartSimulator(config);
    sim->SetInput(1, true);
    sim->SetInput(2, true);  // s_ssta 0110

    CDarvikDigitalIO io(&driver);
    io.SetEventSink(&sink);
    EXPECT_TRUE(io.ReadInputs(0));  // the count argument is not used
    EXPECT_EQ(InputChanges(sink), (Changes{{0, 1}, {1, 2}, {2, 2}, {3, 1}}));
    EXPECT_TRUE(io.ReadInputs(4));
    EXPECT_EQ(sink.Count(), 4u) << "an identical read reports nothing";

    driver.SetCounts(2, 0);
    CDarvikDigitalIO two(&driver);
    IOEventSink twoSink;
    two.SetEventSink(&twoSink);
    EXPECT_TRUE(two.ReadInputs(4));
    EXPECT_EQ(InputChanges(twoSink), (Changes{{0, 1}, {1, 2}}));
}

TEST_F(DarvikDigitalIOTest, UnknownCharactersShortAndMissingStatusLeaveInputsAlone) {
    StartSimulator({});
    driver.SetCounts(3, 0);
    CDarvikDigitalIO io(&driver);
    io.SetEventSink(&sink);

    AnswerSystemQueryWith("s_prid:034\r\ns_ssta:010\r\n");
    ASSERT_TRUE(io.ReadInputs(3));
    AnswerSystemQueryWith("s_ssta:1x0\r\ns_uptm:5\r\n");
    ASSERT_TRUE(io.ReadInputs(3));
    EXPECT_EQ(InputChanges(sink), (Changes{{0, 1}, {1, 2}, {2, 1}, {0, 2}}));
    EXPECT_EQ(io.InputStates(), (std::map<std::uint32_t, std::int32_t>{{0, 2}, {1, 2}, {2, 1}}));

    AnswerSystemQueryWith("s_ssta:0\r\n");  // shorter than the input count
    EXPECT_TRUE(io.ReadInputs(3));
    EXPECT_EQ(io.InputStates(), (std::map<std::uint32_t, std::int32_t>{{0, 1}, {1, 2}, {2, 1}}));

    AnswerSystemQueryWith("s_prid:034\r\n");
    EXPECT_FALSE(io.ReadInputs(3));
    AnswerSystemQueryWith("s_ssta:\r\n");
    EXPECT_FALSE(io.ReadInputs(3));
    EXPECT_EQ(sink.Count(), 5u);
}

TEST_F(DarvikDigitalIOTest, OutputsAreNumberedFromOneAtTheCameraAndValueZeroIsRefused) {
    StartSimulator({});  // two outputs
    CDarvikDigitalIO io(&driver);
    EXPECT_TRUE(io.WriteOutput(0, 2));
    EXPECT_TRUE(io.WriteOutput(1, 1));
    EXPECT_FALSE(io.WriteOutput(0, 0));
    EXPECT_FALSE(io.WriteOutput(3, 1));  // the camera has no a_aoa4
    EXPECT_EQ(test::RequestTargets(*sim),
              (std::vector<std::string>{"/cgi-bin/set?a_aoa1=2", "/cgi-bin/set?a_aoa2=1", "/cgi-bin/set?a_aoa4=1"}));
    EXPECT_EQ(sim->Outputs(), (std::vector<int>{2, 1}));
}

TEST_F(DarvikDigitalIOTest, UnreachableOrRefusingCameraFailsBothSides) {
    Config config;
    config.auth = brevane::test::ChallengingAuth();
    StartSimulator(config);
    {
        CDarvikDigitalIO io(&driver);
        EXPECT_TRUE(io.ReadInputs(4));
        EXPECT_TRUE(io.WriteOutput(0, 2));
    }
    driver.SetCredentials("admin", "wrong");
    {
        CDarvikDigitalIO io(&driver);
        EXPECT_FALSE(io.ReadInputs(4));
        EXPECT_FALSE(io.WriteOutput(0, 2));
    }
    driver.SetCredentials("admin", "admin");
    const std::string camera = "Camera 127.0.0.1:" + std::to_string(sim->Port());
    sim->Stop();
    CDarvikDigitalIO io(&driver);
    EXPECT_FALSE(io.ReadInputs(4));
    EXPECT_FALSE(io.WriteOutput(0, 2));
    // Each failure is told with its cause, a wrong password apart from a
    // camera that is gone.
    const std::string login = "401 Unauthorized: wrong user name or password";
    EXPECT_EQ(driver.FormattedLines(),
              (std::vector<std::string>{
                  "1 brevane::CDarvikDigitalIO::ReadInputs: " + camera + " did not report its inputs: " + login,
                  "1 brevane::CDarvikDigitalIO::WriteOutput: " + camera + " did not set output 1: " + login,
                  "1 brevane::CDarvikDigitalIO::ReadInputs: " + camera + " did not report its inputs: connection refused",
                  "1 brevane::CDarvikDigitalIO::WriteOutput: " + camera + " did not set output 1: connection refused",
              }));
}

TEST_F(DarvikDigitalIOTest, StartedObjectReportsCameraInputChangesAndSwitchesOutputs) {
    Config config;
    config.inputCount = 2;
    config.outputCount = 1;
    StartSimulator(config);
    driver.SetCounts(2, 1);
    CDarvikDigitalIO io(&driver);
    io.SetPeriod(100);
    ASSERT_TRUE(io.SetEventSink(&sink));
    ASSERT_TRUE(io.Start());
    EXPECT_EQ(InputChanges(sink), (Changes{{0, 1}, {1, 1}}));
    EXPECT_EQ(sim->Outputs(), std::vector<int>{1});

    ASSERT_TRUE(sim->FlipInput(1));
    ASSERT_TRUE(sink.WaitForEvents(3, std::chrono::seconds(5)));
    EXPECT_EQ(InputChanges(sink).back(), (std::pair<std::uint32_t, std::int32_t>{1, 2}));

    ASSERT_TRUE(io.SetOutput(0, 2));
    EXPECT_TRUE(WaitUntil([&] { return sim->Outputs() == std::vector<int>{2}; }));

    // The camera goes away: one failure per failed poll, then every input
    // again once it is back.
    sim->Stop();
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 4; }));
    EXPECT_EQ(sink.Events()[3].kind, IOEvent::Kind::Failure);
    EXPECT_TRUE(io.Stop());
}

TEST_F(DarvikDigitalIOTest, DestructionDuringAStalledPollReturnsPromptlyAndSilently) {
    StartSimulator({});
    test::FakeDriver slow(4, 1);
    slow.SetPort(sim->Port());
    slow.SetTimeout(5000);
    auto io = std::make_unique<CDarvikDigitalIO>(&slow);
    ASSERT_TRUE(io->SetEventSink(&sink));
    io->SetPeriod(20);
    ASSERT_TRUE(io->Start());
    const std::size_t before = sink.Count();
    darvik::camsim::Faults faults;
    faults.stall = true;
    sim->SetFaults(faults);
    // A poll is held: the simulator has logged it without an answer.
    ASSERT_TRUE(WaitUntil([&] {
        const auto log = sim->RequestLog();
        return !log.empty() && log.back().status == 0;
    }));
    const auto start = std::chrono::steady_clock::now();
    io.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(sink.Count(), before) << "no notification once destruction began";
}

TEST(DarvikDigitalIODriverTest, DriverCreatesTheVendorObjectInOpen) {
    Config config;
    config.inputCount = 2;
    config.outputCount = 1;
    Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    sim.SetInput(0, true);

    darvik::host::OpenParameters parameters;
    parameters.SetCustomParameter(1, "0");
    parameters.connection.port = sim.Port();
    parameters.device.inputCount = 2;
    parameters.device.outputCount = 1;
    darvik::host::MessageSink messages;
    darvik::host::FrameAllocator frames;
    CDarvikIPCaptureDriver driver;
    ASSERT_TRUE(driver.Open(&messages, &frames, &parameters));
    ICaptureIOApi* io = driver.GetCaptureIO();
    ASSERT_NE(dynamic_cast<CDarvikDigitalIO*>(io), nullptr);

    IOEventSink sink;
    EXPECT_EQ(io->GetInputCount(), 2);
    EXPECT_EQ(io->GetOutputCount(), 1);
    ASSERT_TRUE(io->SetEventSink(&sink));
    ASSERT_TRUE(io->Start());
    EXPECT_EQ(InputChanges(sink), (Changes{{0, 2}, {1, 1}}));
    ASSERT_TRUE(io->SetOutput(0, 2));
    EXPECT_TRUE(WaitUntil([&] { return sim.Outputs() == std::vector<int>{2}; }));
    // Close without Stop: the driver's teardown ends the I/O threads.
    driver.Close();
    EXPECT_EQ(driver.GetCaptureIO(), nullptr);
}

}  // namespace
}  // namespace brevane
