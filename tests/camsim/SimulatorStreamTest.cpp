// Serving stream bodies: pieces, waits, stalls and ends from the source, the
// settings the source is given, refused stream requests and a prompt Stop
// with endless streams open. A scripted source stands in for the encoders.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
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

// Frames of the text "frame N;", each after `delayMs`; then ends, stalls or
// goes on forever.
class ScriptedSource : public StreamSource {
   public:
    ScriptedSource(std::uint32_t frames, bool stallAfter, std::uint32_t delayMs)
        : m_frames(frames), m_stallAfter(stallAfter), m_delayMs(delayMs) {}

    std::string ContentType() const override { return "application/x-test"; }

    StreamPiece Next() override {
        StreamPiece piece;
        if (m_frames != 0 && m_produced == m_frames) {
            (m_stallAfter ? piece.stall : piece.end) = true;
            return piece;
        }
        const std::string text = "frame " + std::to_string(m_produced++) + ";";
        piece.bytes.assign(text.begin(), text.end());
        piece.delayMs = m_delayMs;
        return piece;
    }

    std::uint64_t FramesProduced() const override { return m_produced; }

   private:
    std::uint32_t m_frames;  // 0: endless
    bool m_stallAfter;
    std::uint32_t m_delayMs;
    std::uint32_t m_produced = 0;
};

class SimulatorStreamTest : public ::testing::Test {
   protected:
    void Start(std::uint32_t frames, bool stallAfter, std::uint32_t delayMs, StreamFaults faults = {}) {
        Config config;
        config.jpegFramesPerSecond = 12;
        config.keyFrameInterval = 7;
        config.ntsc = true;
        config.streamFaults = faults;
        config.streamFactory = [=, this](const StreamSettings& settings, std::string*) {
            std::lock_guard guard(lock);
            seen.push_back(settings);
            return std::make_unique<ScriptedSource>(frames, stallAfter, delayMs);
        };
        sim = std::make_unique<Simulator>(config);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
    }

    bool WaitFor(const std::function<bool()>& condition) { return brevane::test::WaitUntil(condition); }

    std::mutex lock;
    std::vector<StreamSettings> seen;  // guarded by lock
    std::unique_ptr<Simulator> sim;
};

TEST_F(SimulatorStreamTest, PiecesArriveWithTheirWaitsAndTheBodyEnds) {
    Start(3, false, 60);
    const auto start = Clock::now();
    FetchResult reply = Fetch(sim->Url() + "/cgi-bin/get?jpgn");
    EXPECT_GE(Clock::now() - start, milliseconds(170));
    ASSERT_EQ(reply.code, CURLE_OK) << curl_easy_strerror(reply.code);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "frame 0;frame 1;frame 2;");
    EXPECT_TRUE(reply.HasHeader("Content-Type: application/x-test"));
    EXPECT_FALSE(reply.HasHeader("Transfer-Encoding"));  // ends with the connection, like the camera
    EXPECT_FALSE(reply.HasHeader("Content-Length"));
    EXPECT_EQ(sim->StreamFramesProduced(), 3u);
    EXPECT_TRUE(WaitFor([&] { return sim->ActiveStreams() == 0; }));
}

TEST_F(SimulatorStreamTest, SourceGetsTheCurrentSettings) {
    Start(1, false, 0);
    ASSERT_EQ(Fetch(sim->Url() + "/cgi-bin/set?j_qual=2&m_resl=4&m_fram=3&m_qual=2000").status, 200);
    ASSERT_EQ(Fetch(sim->Url() + "/cgi-bin/get?jpgh").status, 200);
    ASSERT_EQ(Fetch(sim->Url() + "/cgi-bin/set?r_appl=1").status, 200);
    StreamFaults faults;
    faults.chunkSizes = {1, 7, 300};
    faults.closeAfterFrames = 9;
    sim->SetStreamFaults(faults);
    ASSERT_EQ(Fetch(sim->Url() + "/cgi-bin/get?liv").status, 200);

    std::lock_guard guard(lock);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].group, "jpgh");
    EXPECT_EQ(seen[0].jpegQualityCode, 2);
    EXPECT_EQ(seen[0].mpegResolutionCode, 2);  // not applied yet
    EXPECT_EQ(seen[0].jpegFramesPerSecond, 12u);
    EXPECT_TRUE(seen[0].ntsc);
    EXPECT_EQ(seen[1].group, "liv");
    EXPECT_EQ(seen[1].mpegResolutionCode, 4);
    EXPECT_EQ(seen[1].mpegFrameRateCode, 3);
    EXPECT_EQ(seen[1].mpegQuality, 2000);
    EXPECT_EQ(seen[1].keyFrameInterval, 7u);
    EXPECT_EQ(seen[1].faults.chunkSizes, (std::vector<std::uint32_t>{1, 7, 300}));
    EXPECT_EQ(seen[1].faults.closeAfterFrames, 9u);
}

TEST_F(SimulatorStreamTest, FirstStreamRequestsAreRefused) {
    StreamFaults faults;
    faults.refuseFirstConnections = 2;
    Start(1, false, 0, faults);
    EXPECT_EQ(Fetch(sim->Url() + "/cgi-bin/get?liv").code, CURLE_GOT_NOTHING);
    EXPECT_EQ(Fetch(sim->Url() + "/cgi-bin/get?sys").status, 200);  // CGI is not affected
    EXPECT_EQ(Fetch(sim->Url() + "/cgi-bin/get?jpgl").code, CURLE_GOT_NOTHING);
    EXPECT_EQ(sim->GetStreamFaults().refuseFirstConnections, 0u);
    EXPECT_EQ(Fetch(sim->Url() + "/cgi-bin/get?liv").status, 200);
    const auto log = sim->RequestLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].status, 0u);
    EXPECT_EQ(log[3].status, 200u);
    std::lock_guard guard(lock);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(SimulatorStreamTest, ClientThatLeavesEndsTheStream) {
    Start(0, false, 5);
    FetchOptions options;
    options.maxBody = 100;
    FetchResult reply = Fetch(sim->Url() + "/cgi-bin/get?jpgn", options);
    EXPECT_EQ(reply.code, CURLE_WRITE_ERROR);
    EXPECT_GE(reply.body.size(), 100u);
    EXPECT_TRUE(WaitFor([&] { return sim->ActiveStreams() == 0; }));
}

TEST_F(SimulatorStreamTest, StopIsPromptWithEndlessAndStalledStreams) {
    Start(2, true, 0);
    auto stalled = std::async(std::launch::async, [&] {
        FetchOptions options;
        options.timeoutMs = 10000;
        return Fetch(sim->Url() + "/cgi-bin/get?jpgl", options);
    });
    ASSERT_TRUE(WaitFor([&] { return sim->StreamFramesProduced() == 2; }));
    EXPECT_EQ(sim->ActiveStreams(), 1u);

    const auto start = Clock::now();
    sim->Stop();
    EXPECT_LT(Clock::now() - start, milliseconds(900));
    ASSERT_EQ(stalled.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    FetchResult reply = stalled.get();
    EXPECT_EQ(reply.body, "frame 0;frame 1;");  // the close ends the body
    EXPECT_EQ(sim->ActiveStreams(), 0u);
}

TEST_F(SimulatorStreamTest, StopIsPromptDuringALongPieceWait) {
    Start(0, false, 60000);
    auto waiting = std::async(std::launch::async, [&] {
        FetchOptions options;
        options.timeoutMs = 10000;
        return Fetch(sim->Url() + "/cgi-bin/get?liv", options);
    });
    ASSERT_TRUE(WaitFor([&] { return sim->ActiveStreams() == 1; }));
    const auto start = Clock::now();
    sim->Stop();
    EXPECT_LT(Clock::now() - start, milliseconds(900));
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(2)), std::future_status::ready);
}

TEST(SimulatorStreamFactoryTest, SourceThatCannotBeMadeAnswers503WithTheReason) {
    Config config;
    config.streamFactory = [](const StreamSettings& settings, std::string* error) {
        *error = "no encoder for " + settings.group;
        return std::unique_ptr<StreamSource>();
    };
    Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    FetchResult reply = Fetch(sim.Url() + "/cgi-bin/get?liv");
    EXPECT_EQ(reply.status, 503);
    EXPECT_NE(reply.body.find("no encoder for liv"), std::string::npos) << reply.body;
    EXPECT_EQ(sim.ActiveStreams(), 0u);
}

// The built-in sources behind the server: the first bytes of each stream.
TEST(SimulatorStreamFactoryTest, BuiltInStreamsOverHttp) {
    Simulator sim;
    ASSERT_TRUE(sim.Start());
    FetchOptions options;
    options.maxBody = 4096;
    FetchResult jpeg = Fetch(sim.Url() + "/cgi-bin/get?jpgl", options);
    ASSERT_EQ(jpeg.status, 200);
    EXPECT_TRUE(jpeg.HasHeader("Content-Type: multipart/x-mixed-replace"));
    EXPECT_NE(jpeg.body.find("\xFF\xD8"), std::string::npos);

    FetchResult mpeg = Fetch(sim.Url() + "/cgi-bin/get?liv", options);
    ASSERT_EQ(mpeg.status, 200);
    EXPECT_NE(mpeg.body.find("[vgvdbs]"), std::string::npos);
    EXPECT_GE(sim.StreamFramesProduced(), 2u);
}

}  // namespace
}  // namespace darvik::camsim
