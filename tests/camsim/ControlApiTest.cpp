// The control interface: JSON reads and changes, directly and over HTTP.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "HttpFetch.h"
#include "camsim/ControlApi.h"
#include "camsim/Simulator.h"

namespace darvik::camsim {
namespace {

using brevane::test::Fetch;
using brevane::test::FetchOptions;
using nlohmann::json;

class ControlApiTest : public ::testing::Test {
   protected:
    void SetUp() override {
        Config config;
        config.inputCount = 3;
        sim = std::make_unique<Simulator>(config);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
    }

    json Call(const std::string& method, const std::string& path, unsigned expected = 200,
              const std::map<std::string, std::string>& args = {}, const std::string& body = "") {
        ControlReply reply = HandleControl(*sim, method, path, args, body);
        EXPECT_EQ(reply.status, expected) << method << " " << path << ": " << reply.body;
        return json::parse(reply.body);
    }

    std::unique_ptr<Simulator> sim;
};

TEST_F(ControlApiTest, InputsChangeWithPostOnly) {
    EXPECT_EQ(Call("POST", "inputs/flip", 200, {{"input", "2"}})["s_ssta"], "001");
    EXPECT_EQ(Call("POST", "inputs/set", 200, {{"input", "0"}, {"active", "1"}})["s_ssta"], "101");
    EXPECT_EQ(Call("GET", "inputs")["s_ssta"], "101");
    Call("GET", "inputs/flip", 405, {{"input", "0"}});
    Call("POST", "inputs/flip", 404, {{"input", "3"}});
    Call("POST", "inputs/flip", 400, {{"input", "x"}});
    Call("POST", "inputs/set", 400, {{"input", "0"}, {"active", "2"}});
    EXPECT_EQ(sim->InputStatus(), "101");
    Call("DELETE", "inputs", 405);
    Call("GET", "nothing-here", 404);
}

TEST_F(ControlApiTest, FaultsMergeAndReject) {
    json faults = Call("POST", "faults", 200, {},
                       R"({"stall": true, "onlyPaths": ["/cgi-bin/get?mpg"], "padding": "zeros",
                           "pathStatus": [{"prefix": "/cgi-bin/get?sys", "status": 500}], "cutAfterBytes": 3})");
    EXPECT_EQ(faults["stall"], true);
    Faults now = sim->GetFaults();
    EXPECT_TRUE(now.stall);
    EXPECT_EQ(now.onlyPaths, (std::vector<std::string>{"/cgi-bin/get?mpg"}));
    EXPECT_EQ(now.padding, ValuePadding::LeadingZeros);
    ASSERT_EQ(now.pathStatus.size(), 1u);
    EXPECT_EQ(now.pathStatus[0].status, 500u);
    EXPECT_EQ(now.cutAfterBytes, std::optional<std::uint32_t>(3));

    // Only the named fields change.
    Call("POST", "faults", 200, {}, R"({"stall": false, "cutAfterBytes": null})");
    now = sim->GetFaults();
    EXPECT_FALSE(now.stall);
    EXPECT_FALSE(now.cutAfterBytes.has_value());
    EXPECT_EQ(now.padding, ValuePadding::LeadingZeros);

    // Bad input changes nothing.
    for (const char* bad : {R"({"stal": true})", R"({"delayMs": -5})", R"({"delayMs": "5"})", R"([1])",
                            R"({"padding": "odd"})", R"({"pathStatus": [{"prefix": "/x", "status": 42}]})",
                            R"({"garbage": true, "refuseConnections": 1})", "{broken"}) {
        EXPECT_TRUE(Call("POST", "faults", 400, {}, bad).contains("error")) << bad;
    }
    EXPECT_FALSE(sim->GetFaults().garbage);
    EXPECT_EQ(sim->GetFaults().padding, ValuePadding::LeadingZeros);

    Call("POST", "faults/clear");
    EXPECT_EQ(sim->GetFaults().padding, ValuePadding::None);
    EXPECT_TRUE(sim->GetFaults().onlyPaths.empty());
}

TEST_F(ControlApiTest, StreamFaultsMergeAndReject) {
    Call("POST", "stream-faults", 200, {}, R"({"chunkSizes": [1, 7, 300], "stallAfterFrames": 4})");
    StreamFaults now = sim->GetStreamFaults();
    EXPECT_EQ(now.chunkSizes, (std::vector<std::uint32_t>{1, 7, 300}));
    EXPECT_EQ(now.stallAfterFrames, 4u);
    Call("POST", "stream-faults", 400, {}, R"({"chunkSizes": [0]})");
    Call("POST", "stream-faults", 400, {}, R"({"closeAfterFrames": 1.5})");
    EXPECT_EQ(sim->GetStreamFaults().closeAfterFrames, 0u);
    Call("POST", "stream-faults/clear");
    EXPECT_TRUE(sim->GetStreamFaults().chunkSizes.empty());
}

// A scripted body set through the control interface (as a simulator farm
// is driven) ends as the script says: an orderly close reaches the client as
// the end of the body, a reset as a receive error after the bytes it got.
TEST_F(ControlApiTest, ScriptedStreamEndsWithACloseOrAReset) {
    const std::string body = "0123456789abcdef";
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "close");
        json script = {{"body", "30313233343536373839616263646566"}, {"repeat", false}, {"delayMs", 1}};
        if (reset) script["resetAtEnd"] = true;
        Call("POST", "stream-script", 200, {}, script.dump());
        const auto reply = Fetch(sim->Url() + "/cgi-bin/get?jpgl");
        EXPECT_EQ(reply.code, reset ? CURLE_RECV_ERROR : CURLE_OK) << curl_easy_strerror(reply.code);
        EXPECT_EQ(body.compare(0, reply.body.size(), reply.body), 0) << reply.body;
        if (!reset) {
            EXPECT_EQ(reply.body, body);
        }
    }
    Call("POST", "stream-script", 400, {}, R"({"resetAtEnd": 1})");
}

TEST_F(ControlApiTest, ReadsReflectTheCamera) {
    ASSERT_EQ(Fetch(sim->Url() + "/cgi-bin/set?p_panr=10&a_aoa2=2&m_qual=900").status, 200);
    ASSERT_EQ(Fetch(sim->Url() + "/cgi-bin/set?p_prss=4").status, 200);
    json ptz = Call("GET", "ptz");
    EXPECT_EQ(ptz["motion"]["pan"]["direction"], 1);
    EXPECT_EQ(ptz["motion"]["pan"]["speed"], 10);
    ASSERT_EQ(ptz["presets"].size(), 1u);
    EXPECT_EQ(ptz["presets"][0]["number"], 4);

    json outputs = Call("GET", "outputs");
    EXPECT_EQ(outputs["values"], json({0, 2}));
    EXPECT_EQ(outputs["writes"][0]["output"], 2);
    Call("POST", "outputs/clear");
    EXPECT_TRUE(Call("GET", "outputs")["writes"].empty());

    EXPECT_EQ(Call("GET", "encoder")["pending"]["m_qual"], 900);
    json log = Call("GET", "log");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0]["target"], "/cgi-bin/set?p_panr=10&a_aoa2=2&m_qual=900");
    EXPECT_EQ(log[0]["auth"], "none");
    EXPECT_EQ(log[0]["status"], 200);
    Call("POST", "log/clear");
    EXPECT_TRUE(Call("GET", "log").empty());

    // A target that is not UTF-8 still reads back (with replacement characters).
    FetchOptions raw;
    raw.requestTarget = "/cgi-bin/get?\xff\xfe";
    EXPECT_EQ(Fetch(sim->Url() + "/", raw).status, 404);
    json odd = Call("GET", "log");
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd[0]["target"], "/cgi-bin/get?\xEF\xBF\xBD\xEF\xBF\xBD");
    Call("POST", "log/clear");

    json state = Call("GET", "");
    EXPECT_EQ(state["camera"]["inputCount"], 3);
    EXPECT_EQ(state["camera"]["url"], sim->Url());
    EXPECT_TRUE(state.contains("faults"));
}

TEST_F(ControlApiTest, OverHttpWhileTheCameraRefusesConnections) {
    ASSERT_NE(sim->ControlPort(), 0);
    ASSERT_NE(sim->ControlPort(), sim->Port());
    const std::string control = sim->ControlUrl();
    EXPECT_EQ(control, "http://127.0.0.1:" + std::to_string(sim->ControlPort()) + "/control/");

    FetchOptions post;
    post.method = "POST";
    post.body = R"({"refuseConnections": true})";
    auto set = Fetch(control + "faults", post);
    EXPECT_EQ(set.status, 200);
    EXPECT_TRUE(set.HasHeader("Content-Type: application/json"));
    EXPECT_NE(Fetch(sim->Url() + "/cgi-bin/get?sys").code, CURLE_OK);

    auto state = Fetch(control + "state");
    ASSERT_EQ(state.status, 200);
    EXPECT_EQ(json::parse(state.body)["refusedConnections"], 1);

    post.body.clear();
    EXPECT_EQ(Fetch(control + "inputs/flip?input=1", post).status, 200);
    EXPECT_EQ(sim->InputStatus(), "010");
    EXPECT_EQ(Fetch(control + "faults/clear", post).status, 200);
    EXPECT_EQ(Fetch(sim->Url() + "/cgi-bin/get?sys").status, 200);

    EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(sim->ControlPort()) + "/other").status, 404);
    post.body = std::string(70 * 1024, ' ');
    EXPECT_EQ(Fetch(control + "faults", post).status, 413);
}

TEST(ControlDisabledTest, NoControlPortWhenDisabled) {
    Config config;
    config.controlEnabled = false;
    Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.ControlPort(), 0);
}

}  // namespace
}  // namespace darvik::camsim
