// The simulator's CGI interface over HTTP, driven with libcurl.
#include <gtest/gtest.h>

#include "HttpFetch.h"
#include "camsim/Simulator.h"

namespace darvik::camsim {
namespace {

using brevane::test::Fetch;
using brevane::test::FetchOptions;

class SimulatorCgiTest : public ::testing::Test {
   protected:
    void SetUp() override {
        Config config;
        config.inputCount = 2;
        config.outputCount = 3;
        config.productId = "031";
        sim = std::make_unique<Simulator>(config);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        ASSERT_NE(sim->Port(), 0);
    }

    std::string Url(const std::string& target) const { return sim->Url() + target; }

    std::unique_ptr<Simulator> sim;
};

TEST_F(SimulatorCgiTest, GroupsAnswerWithCrLfLines) {
    auto sys = Fetch(Url("/cgi-bin/get?sys"));
    ASSERT_EQ(sys.code, CURLE_OK);
    EXPECT_EQ(sys.status, 200);
    EXPECT_NE(sys.body.find("s_prid:031\r\n"), std::string::npos) << sys.body;
    EXPECT_NE(sys.body.find("s_ssta:00\r\n"), std::string::npos) << sys.body;
    for (const char* group : {"mpg", "aud", "alm", "net"}) {
        auto reply = Fetch(Url(std::string("/cgi-bin/get?") + group));
        EXPECT_EQ(reply.status, 200) << group;
        EXPECT_GE(reply.body.size(), 2u);
        EXPECT_EQ(reply.body.substr(reply.body.size() - 2), "\r\n") << group;
    }
    EXPECT_NE(Fetch(Url("/cgi-bin/get?alm")).body.find("a_aoa3:0\r\n"), std::string::npos);
    const std::string net = Fetch(Url("/cgi-bin/get?net")).body;
    EXPECT_NE(net.find("n_madr:00-11-22-33-44-AA\r\n"), std::string::npos);
    EXPECT_NE(net.find("n_port:" + std::to_string(sim->Port()) + "\r\n"), std::string::npos);

    EXPECT_EQ(Fetch(Url("/cgi-bin/get?nope")).status, 404);
    EXPECT_EQ(Fetch(Url("/cgi-bin/get")).status, 404);
    EXPECT_EQ(Fetch(Url("/index.html")).status, 404);
    FetchOptions post;
    post.method = "POST";
    EXPECT_EQ(Fetch(Url("/cgi-bin/get?sys"), post).status, 405);
}

TEST_F(SimulatorCgiTest, TargetWithoutLeadingSlashIsServedAndLoggedAsSent) {
    FetchOptions options;
    options.requestTarget = "cgi-bin/get?mpg";
    auto reply = Fetch(sim->Url() + "/", options);
    ASSERT_EQ(reply.code, CURLE_OK);
    EXPECT_EQ(reply.status, 200);
    EXPECT_NE(reply.body.find("m_qual:1250\r\n"), std::string::npos) << reply.body;

    options.requestTarget = "cgi-bin/set?m_qual=800";
    EXPECT_EQ(Fetch(sim->Url() + "/", options).status, 200);
    const auto log = sim->RequestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].target, "cgi-bin/get?mpg");
    EXPECT_EQ(log[1].target, "cgi-bin/set?m_qual=800");
    EXPECT_EQ(log[1].status, 200u);
    EXPECT_EQ(sim->Encoder().pending.quality, 800);
}

TEST_F(SimulatorCgiTest, SetApplyAndReadBack) {
    auto set = Fetch(Url("/cgi-bin/set?m_mode=0&m_qual=1250&m_fram=2&m_resl=3"));
    EXPECT_EQ(set.status, 200);
    EXPECT_EQ(set.body, "OK\r\n");
    EXPECT_NE(Fetch(Url("/cgi-bin/get?mpg")).body.find("m_fram:1\r\n"), std::string::npos);
    EXPECT_EQ(Fetch(Url("/cgi-bin/set?r_appl=1")).status, 200);
    const std::string mpg = Fetch(Url("/cgi-bin/get?mpg")).body;
    EXPECT_NE(mpg.find("m_fram:2\r\n"), std::string::npos) << mpg;
    EXPECT_NE(mpg.find("m_resl:3\r\n"), std::string::npos) << mpg;
    EXPECT_EQ(sim->Encoder().applied, (MpegSettings{0, 1250, 2, 3}));

    EXPECT_EQ(Fetch(Url("/cgi-bin/set?j_qual=1")).status, 200);
    EXPECT_EQ(sim->Encoder().jpegQuality, 1);
    EXPECT_EQ(Fetch(Url("/cgi-bin/set?x_none=1")).status, 404);
    EXPECT_EQ(Fetch(Url("/cgi-bin/set?m_resl=9")).status, 400);
    EXPECT_EQ(Fetch(Url("/cgi-bin/set")).status, 400);
}

TEST_F(SimulatorCgiTest, OutputsAndInputsThroughTheControlMethods) {
    EXPECT_EQ(Fetch(Url("/cgi-bin/set?a_aoa1=2")).status, 200);
    EXPECT_EQ(Fetch(Url("/cgi-bin/set?a_aoa3=1")).status, 200);
    EXPECT_EQ(Fetch(Url("/cgi-bin/set?a_aoa4=1")).status, 404);
    EXPECT_EQ(sim->Outputs(), (std::vector<int>{2, 0, 1}));
    const auto writes = sim->OutputWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].output, 3u);
    EXPECT_NE(Fetch(Url("/cgi-bin/get?alm")).body.find("a_aoa1:2\r\n"), std::string::npos);

    EXPECT_TRUE(sim->FlipInput(1));
    EXPECT_EQ(sim->InputStatus(), "01");
    EXPECT_NE(Fetch(Url("/cgi-bin/get?sys")).body.find("s_ssta:01\r\n"), std::string::npos);
    EXPECT_TRUE(sim->SetInput(0, true));
    EXPECT_NE(Fetch(Url("/cgi-bin/get?sys")).body.find("s_ssta:11\r\n"), std::string::npos);
}

TEST_F(SimulatorCgiTest, StartTwiceFailsAndStopIsRepeatable) {
    std::string error;
    EXPECT_FALSE(sim->Start(&error));
    EXPECT_FALSE(error.empty());
    Config taken;
    taken.port = sim->Port();
    Simulator second(taken);
    EXPECT_FALSE(second.Start(&error));
    EXPECT_NE(error.find(std::to_string(sim->Port())), std::string::npos);
    sim->Stop();
    sim->Stop();
    EXPECT_FALSE(sim->IsRunning());
    EXPECT_EQ(sim->Port(), 0);
    ASSERT_TRUE(sim->Start(&error)) << error;
    EXPECT_EQ(Fetch(Url("/cgi-bin/get?sys")).status, 200);

    // A camera that comes back on the same port right after serving there.
    const std::uint16_t port = sim->Port();
    sim->Stop();
    Config same;
    same.port = port;
    Simulator again(same);
    ASSERT_TRUE(again.Start(&error)) << error;
    EXPECT_EQ(again.Port(), port);
    EXPECT_EQ(Fetch(again.Url() + "/cgi-bin/get?sys").status, 200);
}

}  // namespace
}  // namespace darvik::camsim
