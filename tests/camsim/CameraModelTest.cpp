// The camera model without HTTP: replies, settings, outputs, inputs and the
// PTZ head, with the time given by the test.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "camsim/CameraModel.h"

namespace darvik::camsim {
namespace {

using Clock = CameraModel::Clock;
using std::chrono::milliseconds;

std::map<std::string, std::string> Parse(const std::string& body) {
    std::map<std::string, std::string> values;
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t end = body.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
        if (end == std::string::npos) break;
        const std::string line = body.substr(pos, end - pos);
        const std::size_t colon = line.find(':');
        EXPECT_NE(colon, std::string::npos) << line;
        if (colon != std::string::npos) values[line.substr(0, colon)] = line.substr(colon + 1);
        pos = end + 2;
    }
    return values;
}

class CameraModelTest : public ::testing::Test {
   protected:
    CameraModelTest() : t0(Clock::now()), model(MakeConfig(), t0) {}

    static Config MakeConfig() {
        Config config;
        config.productId = "013";
        config.inputCount = 3;
        config.outputCount = 2;
        config.audioType = 1;
        return config;
    }

    std::map<std::string, std::string> Get(const std::string& group, ValuePadding padding = ValuePadding::None) {
        CgiReply reply = model.Get(group, padding, t0);
        EXPECT_EQ(reply.status, 200u) << group;
        return Parse(reply.body);
    }

    Clock::time_point t0;
    CameraModel model;
};

TEST_F(CameraModelTest, EveryGroupAnswersFromTheConfiguration) {
    auto sys = Get("sys");
    EXPECT_EQ(sys["s_prid"], "013");
    EXPECT_EQ(sys["s_ssta"], "000");
    EXPECT_EQ(Get("mpg")["m_type"], "1");  // PAL
    EXPECT_EQ(Get("aud")["a_type"], "1");
    auto alm = Get("alm");
    EXPECT_EQ(alm["a_snum"], "3");
    EXPECT_EQ(alm["a_aoa1"], "0");
    EXPECT_EQ(alm["a_aoa2"], "0");
    EXPECT_EQ(alm.count("a_aoa3"), 0u);
    EXPECT_EQ(Get("net")["n_madr"], "00-11-22-33-44-AA");

    Config ntsc;
    ntsc.ntsc = true;
    CameraModel other(ntsc, t0);
    EXPECT_EQ(Parse(other.Get("mpg", ValuePadding::None, t0).body)["m_type"], "0");

    EXPECT_EQ(model.Get("xyz", ValuePadding::None, t0).status, 404u);
    EXPECT_EQ(model.Get("", ValuePadding::None, t0).status, 404u);
    EXPECT_EQ(model.Get("sys&mpg", ValuePadding::None, t0).status, 404u);
}

TEST_F(CameraModelTest, EncoderSettingsWaitForApply) {
    EXPECT_EQ(model.Set("m_mode=0&m_qual=1700&m_fram=3", t0).status, 200u);
    EXPECT_EQ(model.Set("m_resl=4", t0).status, 200u);
    auto before = Get("mpg");
    EXPECT_EQ(before["m_qual"], "1250");
    EXPECT_EQ(before["m_fram"], "1");
    EXPECT_EQ(before["m_resl"], "2");
    EXPECT_EQ(model.Encoder().pending.quality, 1700);

    EXPECT_EQ(model.Set("r_appl=0", t0).status, 200u);
    EXPECT_EQ(Get("mpg")["m_qual"], "1250");
    CgiReply applied = model.Set("r_appl=1", t0);
    EXPECT_EQ(applied.status, 200u);
    EXPECT_FALSE(applied.body.empty());
    auto after = Get("mpg");
    EXPECT_EQ(after["m_qual"], "1700");
    EXPECT_EQ(after["m_fram"], "3");
    EXPECT_EQ(after["m_resl"], "4");

    EXPECT_EQ(model.Set("j_qual=2", t0).status, 200u);
    EXPECT_EQ(model.Encoder().jpegQuality, 2);
}

TEST_F(CameraModelTest, FailedCommandChangesNothing) {
    EXPECT_EQ(model.Set("j_qual=1&bogus=1", t0).status, 404u);
    EXPECT_EQ(model.Set("a_aoa1=2&j_qual=7", t0).status, 400u);
    EXPECT_EQ(model.Encoder().jpegQuality, 0);
    EXPECT_EQ(model.Outputs(), (std::vector<int>{0, 0}));
    EXPECT_TRUE(model.OutputWrites().empty());

    for (const char* bad : {"m_qual=499", "m_qual=2001", "m_fram=0", "m_fram=6", "m_resl=1", "m_resl=5",
                            "j_qual=-1", "j_qual=1.5", "j_qual= 1", "j_qual=", "j_qual", "=1", "p_panl=-1",
                            "p_prss=255", "p_prsd=-1"}) {
        EXPECT_EQ(model.Set(bad, t0).status, 400u) << bad;
    }
    for (const char* unknown : {"a_aoa0=1", "a_aoa3=1", "a_aoa=1", "a_aoa+1=1", "s_ssta=1", "M_QUAL=1000"}) {
        EXPECT_EQ(model.Set(unknown, t0).status, 404u) << unknown;
    }
    EXPECT_EQ(model.Set("", t0).status, 400u);
}

TEST_F(CameraModelTest, OutputWritesAreKeptInOrder) {
    EXPECT_EQ(model.Set("a_aoa1=2", t0).status, 200u);
    EXPECT_EQ(model.Set("a_aoa2=1&a_aoa1=1", t0).status, 200u);
    EXPECT_EQ(model.Outputs(), (std::vector<int>{1, 1}));
    const auto writes = model.OutputWrites();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].output, 1u);
    EXPECT_EQ(writes[0].value, 2);
    EXPECT_EQ(writes[1].output, 2u);
    EXPECT_EQ(writes[2].output, 1u);
    EXPECT_EQ(Get("alm")["a_aoa2"], "1");
    model.ClearOutputWrites();
    EXPECT_TRUE(model.OutputWrites().empty());
    EXPECT_EQ(model.Outputs(), (std::vector<int>{1, 1}));
}

TEST_F(CameraModelTest, PaddingTouchesNumbersOnly) {
    model.SetInput(1, true, t0);
    auto zeros = Get("mpg", ValuePadding::LeadingZeros);
    EXPECT_EQ(zeros["m_qual"], "01250");
    EXPECT_EQ(zeros["m_type"], "01");
    auto blanks = Get("alm", ValuePadding::LeadingBlanks);
    EXPECT_EQ(blanks["a_snum"], " 3");
    EXPECT_EQ(blanks["a_aoa1"], " 0");
    auto sys = Get("sys", ValuePadding::LeadingZeros);
    EXPECT_EQ(sys["s_ssta"], "010");
    EXPECT_EQ(sys["s_prid"], "013");
    EXPECT_EQ(Get("net", ValuePadding::LeadingBlanks)["n_madr"], "00-11-22-33-44-AA");
}

TEST_F(CameraModelTest, InputsFollowControlAndScript) {
    Config config = MakeConfig();
    config.inputScript = {{2, 1000}};
    CameraModel scripted(config, t0);
    EXPECT_EQ(scripted.InputStatus(t0), "000");
    EXPECT_EQ(scripted.InputStatus(t0 + milliseconds(999)), "000");
    EXPECT_EQ(scripted.InputStatus(t0 + milliseconds(1000)), "001");
    EXPECT_EQ(scripted.InputStatus(t0 + milliseconds(2500)), "000");

    // A manual change holds against the script's current phase.
    EXPECT_TRUE(scripted.SetInput(2, false, t0 + milliseconds(1500)));
    EXPECT_EQ(scripted.InputStatus(t0 + milliseconds(1500)), "000");
    EXPECT_EQ(scripted.InputStatus(t0 + milliseconds(2500)), "001");
    EXPECT_TRUE(scripted.FlipInput(0, t0));
    EXPECT_EQ(scripted.InputStatus(t0 + milliseconds(2500)), "101");
    EXPECT_FALSE(scripted.SetInput(3, true, t0));
    EXPECT_FALSE(scripted.FlipInput(3, t0));
}

TEST_F(CameraModelTest, HeadMovesWhileCommandsAreActive) {
    EXPECT_EQ(model.Set("p_panr=10&p_tilu=5", t0).status, 200u);
    HeadState head = model.Head(t0 + milliseconds(1000));
    EXPECT_DOUBLE_EQ(head.position.pan, 60.0);
    EXPECT_DOUBLE_EQ(head.position.tilt, 30.0);
    EXPECT_EQ(head.pan.direction, 1);
    EXPECT_EQ(head.pan.speed, 10);
    EXPECT_EQ(head.tilt.direction, 1);

    EXPECT_EQ(model.Set("p_ptms=1", t0 + milliseconds(1000)).status, 200u);
    head = model.Head(t0 + milliseconds(5000));
    EXPECT_DOUBLE_EQ(head.position.pan, 60.0);
    EXPECT_FALSE(head.pan.Active());
    EXPECT_FALSE(head.tilt.Active());

    EXPECT_EQ(model.Set("p_zomi=30", t0 + milliseconds(5000)).status, 200u);
    EXPECT_EQ(model.Set("p_fcsn=1&p_irso=1", t0 + milliseconds(5000)).status, 200u);
    head = model.Head(t0 + milliseconds(6000));
    EXPECT_DOUBLE_EQ(head.position.zoom, 90.0);
    EXPECT_DOUBLE_EQ(head.position.focus, 25.0);
    EXPECT_DOUBLE_EQ(head.position.iris, 75.0);
    head = model.Head(t0 + milliseconds(60000));
    EXPECT_DOUBLE_EQ(head.position.zoom, 100.0);  // held at the end stop
    EXPECT_DOUBLE_EQ(head.position.focus, 0.0);
    EXPECT_TRUE(head.zoom.Active());
    EXPECT_EQ(model.Set("p_zoms=1&p_fcss=1&p_irss=1", t0 + milliseconds(60000)).status, 200u);
    head = model.Head(t0 + milliseconds(60000));
    EXPECT_FALSE(head.zoom.Active() || head.focus.Active() || head.iris.Active());
}

TEST_F(CameraModelTest, PresetsStoreRecallAndDelete) {
    EXPECT_EQ(model.Set("p_panl=5", t0).status, 200u);
    EXPECT_EQ(model.Set("p_prss=3", t0 + milliseconds(1000)).status, 200u);  // pan -30
    EXPECT_EQ(model.Set("p_panr=5", t0 + milliseconds(1000)).status, 200u);
    EXPECT_EQ(model.Set("p_ptms=1&p_prss=0", t0 + milliseconds(3000)).status, 200u);  // pan +30
    ASSERT_EQ(model.Presets().size(), 2u);
    EXPECT_DOUBLE_EQ(model.Presets().at(3).pan, -30.0);

    EXPECT_EQ(model.Set("p_panr=5", t0 + milliseconds(3000)).status, 200u);
    EXPECT_EQ(model.Set("p_prsm=3", t0 + milliseconds(3000)).status, 200u);
    HeadState head = model.Head(t0 + milliseconds(9000));
    EXPECT_DOUBLE_EQ(head.position.pan, -30.0);
    EXPECT_FALSE(head.pan.Active());  // a recall ends the motion

    EXPECT_EQ(model.Set("p_prsm=7", t0).status, 404u);
    EXPECT_EQ(model.Set("p_prsd=3", t0).status, 200u);
    EXPECT_EQ(model.Set("p_prsd=3", t0).status, 200u);  // already gone: still fine
    EXPECT_EQ(model.Set("p_prsm=3", t0).status, 404u);
    EXPECT_EQ(model.Presets().size(), 1u);
    EXPECT_EQ(model.Set("p_prss=254", t0).status, 200u);
}

}  // namespace
}  // namespace darvik::camsim
