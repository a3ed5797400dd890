// Faults of the camera's HTTP side, and a prompt Stop while replies hang.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "HttpFetch.h"
#include "camsim/Simulator.h"
#include "support/Wait.h"

namespace darvik::camsim {
namespace {

using brevane::test::Fetch;
using brevane::test::FetchOptions;
using brevane::test::FetchResult;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class SimulatorFaultTest : public ::testing::Test {
   protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim.Start(&error)) << error;
    }

    std::string Url(const std::string& target) const { return sim.Url() + target; }

    FetchResult Quick(const std::string& target, long timeoutMs = 300) {
        FetchOptions options;
        options.timeoutMs = timeoutMs;
        return Fetch(Url(target), options);
    }

    // Waits until the simulator has logged `count` requests.
    bool WaitForRequests(std::size_t count) {
        return brevane::test::WaitUntil([&] { return sim.RequestLog().size() >= count; });
    }

    Simulator sim;
};

TEST_F(SimulatorFaultTest, RefusedConnectionsFailUntilCleared) {
    Faults faults;
    faults.refuseConnections = true;
    sim.SetFaults(faults);
    auto refused = Quick("/cgi-bin/get?sys", 2000);
    EXPECT_NE(refused.code, CURLE_OK);
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(sim.RefusedConnections(), 1u);
    EXPECT_TRUE(sim.RequestLog().empty());

    sim.SetFaults({});
    EXPECT_EQ(Quick("/cgi-bin/get?sys", 2000).status, 200);
}

TEST_F(SimulatorFaultTest, OnlyTheFirstConnectionsAreRefused) {
    Faults faults;
    faults.refuseFirstConnections = 2;
    sim.SetFaults(faults);
    EXPECT_NE(Quick("/cgi-bin/get?sys", 2000).code, CURLE_OK);
    EXPECT_EQ(sim.GetFaults().refuseFirstConnections, 1u);
    EXPECT_NE(Quick("/cgi-bin/get?sys", 2000).code, CURLE_OK);
    EXPECT_EQ(Quick("/cgi-bin/get?sys", 2000).status, 200);
    EXPECT_EQ(Quick("/cgi-bin/get?sys", 2000).status, 200);
    EXPECT_EQ(sim.RefusedConnections(), 2u);
}

TEST_F(SimulatorFaultTest, ResetRequestsGetNoReply) {
    Faults faults;
    faults.resetRequests = true;
    sim.SetFaults(faults);
    auto reply = Quick("/cgi-bin/get?sys", 2000);
    EXPECT_EQ(reply.code, CURLE_GOT_NOTHING);
    ASSERT_EQ(sim.RequestLog().size(), 1u);
    EXPECT_EQ(sim.RequestLog()[0].status, 0u);
}

TEST_F(SimulatorFaultTest, FixedStatusForPathPrefixes) {
    Faults faults;
    faults.pathStatus = {{"/cgi-bin/get?sys", 500, "broken\r\n"}, {"/cgi-bin/set?j_qual", 204, ""}};
    sim.SetFaults(faults);
    auto sys = Quick("/cgi-bin/get?sys");
    EXPECT_EQ(sys.status, 500);
    EXPECT_EQ(sys.body, "broken\r\n");
    auto quality = Quick("/cgi-bin/set?j_qual=1");
    EXPECT_EQ(quality.status, 204);
    EXPECT_TRUE(quality.body.empty());
    EXPECT_EQ(sim.Encoder().jpegQuality, 0);  // answered by the fault, not carried out
    EXPECT_EQ(Quick("/cgi-bin/get?mpg").status, 200);

    FetchOptions bare;
    bare.requestTarget = "cgi-bin/get?sys";
    EXPECT_EQ(Fetch(sim.Url() + "/", bare).status, 500);
    EXPECT_EQ(sim.RequestLog().back().status, 500u);
}

TEST_F(SimulatorFaultTest, DelayedReplies) {
    Faults faults;
    faults.delayMs = 300;
    sim.SetFaults(faults);
    const auto start = Clock::now();
    EXPECT_EQ(Quick("/cgi-bin/get?sys", 5000).status, 200);
    EXPECT_GE(Clock::now() - start, milliseconds(290));
    EXPECT_EQ(Quick("/cgi-bin/get?sys", 100).code, CURLE_OPERATION_TIMEDOUT);
}

TEST_F(SimulatorFaultTest, StalledReplyContinuesWhenCleared) {
    Faults faults;
    faults.stall = true;
    sim.SetFaults(faults);
    EXPECT_EQ(Quick("/cgi-bin/get?sys", 200).code, CURLE_OPERATION_TIMEDOUT);

    auto pending = std::async(std::launch::async, [&] { return Quick("/cgi-bin/get?mpg", 5000); });
    ASSERT_TRUE(WaitForRequests(2));
    EXPECT_EQ(pending.wait_for(milliseconds(100)), std::future_status::timeout);
    sim.SetFaults({});
    const FetchResult released = pending.get();
    EXPECT_EQ(released.status, 200);
    EXPECT_NE(released.body.find("m_type:"), std::string::npos);
}

std::size_t ThreadCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

TEST_F(SimulatorFaultTest, ClientsGivingUpOnAStallFreeTheirThreads) {
    Quick("/cgi-bin/get?sys");  // the server's threads are up
    const std::size_t before = ThreadCount();
    Faults faults;
    faults.stall = true;
    sim.SetFaults(faults);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Quick("/cgi-bin/get?sys", 100).code, CURLE_OPERATION_TIMEDOUT);
    }
    EXPECT_TRUE(brevane::test::WaitUntil([&] { return ThreadCount() <= before; }, 3000));
}

TEST_F(SimulatorFaultTest, FaultsLimitedToSomePaths) {
    Faults faults;
    faults.stall = true;
    faults.padding = ValuePadding::LeadingZeros;
    faults.onlyPaths = {"/cgi-bin/get?mpg"};
    sim.SetFaults(faults);
    auto sys = Quick("/cgi-bin/get?sys");
    EXPECT_EQ(sys.status, 200);
    EXPECT_NE(sys.body.find("s_uptm:0"), std::string::npos);
    EXPECT_EQ(sys.body.find("s_uptm:00"), std::string::npos);  // not padded either
    EXPECT_EQ(Quick("/cgi-bin/get?mpg", 200).code, CURLE_OPERATION_TIMEDOUT);
}

TEST_F(SimulatorFaultTest, CutGarbageAndPaddedReplies) {
    Faults faults;
    faults.cutAfterBytes = 5;
    sim.SetFaults(faults);
    auto cut = Quick("/cgi-bin/get?sys", 2000);
    EXPECT_EQ(cut.code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(cut.body, "s_pri");
    EXPECT_EQ(Quick("/cgi-bin/get?sys", 2000).code, CURLE_PARTIAL_FILE);  // the next connection too

    faults = {};
    faults.garbage = true;
    sim.SetFaults(faults);
    auto garbage = Quick("/cgi-bin/get?sys");
    EXPECT_EQ(garbage.status, 200);
    EXPECT_GT(garbage.body.size(), 0u);
    EXPECT_EQ(garbage.body.find(':'), std::string::npos);

    faults = {};
    faults.padding = ValuePadding::LeadingBlanks;
    sim.SetFaults(faults);
    EXPECT_NE(Quick("/cgi-bin/get?mpg").body.find("m_qual: 1250\r\n"), std::string::npos);
}

TEST_F(SimulatorFaultTest, StopIsPromptWithStalledRepliesOpen) {
    Faults faults;
    faults.stall = true;
    sim.SetFaults(faults);
    std::vector<std::future<FetchResult>> pending;
    for (int i = 0; i < 3; ++i) {
        pending.push_back(std::async(std::launch::async, [&] { return Quick("/cgi-bin/get?sys", 10000); }));
    }
    ASSERT_TRUE(WaitForRequests(3));
    const auto start = Clock::now();
    sim.Stop();
    EXPECT_LT(Clock::now() - start, milliseconds(900));
    for (auto& request : pending) {
        ASSERT_EQ(request.wait_for(std::chrono::seconds(2)), std::future_status::ready);
        const FetchResult result = request.get();
        EXPECT_NE(result.code, CURLE_OK);
        EXPECT_EQ(result.status, 0);
    }
    for (const RequestLogEntry& entry : sim.RequestLog()) {
        EXPECT_EQ(entry.status, 0u);
    }
}

TEST_F(SimulatorFaultTest, LogRecordsTargetsInOrderAndClears) {
    Quick("/cgi-bin/get?sys");
    Quick("/cgi-bin/set?a_aoa1=2");
    Quick("/cgi-bin/get?bogus");
    auto log = sim.RequestLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].target, "/cgi-bin/get?sys");
    EXPECT_EQ(log[1].target, "/cgi-bin/set?a_aoa1=2");
    EXPECT_EQ(log[2].status, 404u);
    sim.ClearRequestLog();
    EXPECT_TRUE(sim.RequestLog().empty());
    Quick("/cgi-bin/get?net");
    ASSERT_EQ(sim.RequestLog().size(), 1u);
    EXPECT_EQ(sim.RequestLog()[0].status, 200u);
}

}  // namespace
}  // namespace darvik::camsim
