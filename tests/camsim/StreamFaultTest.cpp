// Pacing, replayed streams and the faults the simulator injects into its
// streams.
#include <gtest/gtest.h>

#include <algorithm>

#include "camsim/StreamTestSupport.h"
#include "streams/JpegStreamSource.h"
#include "streams/ReplayStreamSource.h"

namespace darvik::camsim {
namespace {

using brevane::test::DecodeJpeg;
using brevane::test::Drain;
using brevane::test::Drained;
using brevane::test::MakeSource;
using brevane::test::ManualClock;
using brevane::test::Part;
using brevane::test::Record;
using brevane::test::SplitMultipart;
using brevane::test::SplitRecords;

StreamSettings Jpeg(std::uint32_t framesPerSecond = 10) {
    StreamSettings settings;
    settings.group = "jpgl";
    settings.jpegQualityCode = 2;
    settings.jpegFramesPerSecond = framesPerSecond;
    return settings;
}

StreamSettings Mpeg() {
    StreamSettings settings;
    settings.group = "liv";
    settings.mpegResolutionCode = 2;
    settings.mpegFrameRateCode = 1;
    settings.keyFrameInterval = 4;
    return settings;
}

// The server waits each piece's delay, sends it and asks for the next one.
TEST(StreamPacing, PiecesWaitForTheirFrameOnTheSchedule) {
    ManualClock clock;
    auto source = MakeSource(Jpeg(10), clock.Function());
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->Next().delayMs, 0u);  // the first picture at once
    EXPECT_EQ(source->Next().delayMs, 100u);
    clock.now += 100000;
    EXPECT_EQ(source->Next().delayMs, 100u);
    clock.now += 100000;
    // Time spent sending or encoding comes off the next wait.
    clock.now += 30000;
    EXPECT_EQ(source->Next().delayMs, 70u);
    clock.now += 70000;

    // A reader that fell seconds behind gets the next picture at once and
    // then the normal interval, not a burst of overdue pictures.
    clock.now += 5000000;
    EXPECT_EQ(source->Next().delayMs, 0u);
    EXPECT_EQ(source->Next().delayMs, 100u);
}

// A replayed stream sends the live stream's first N units again and again,
// unpaced when asked, and its stream faults still apply.
TEST(StreamReplay, CyclesTheLiveUnitsWithoutWaitsAndKeepsTheFaults) {
    for (StreamSettings settings : {Jpeg(), Mpeg()}) {
        const bool mpeg = settings.group == "liv";
        auto units = [mpeg](const std::vector<std::uint8_t>& body) {
            std::vector<std::vector<std::uint8_t>> out;
            if (mpeg) {
                for (const Record& record : SplitRecords(body)) out.push_back(record.payload);
            } else {
                for (const Part& part : SplitMultipart(body, JpegStreamSource::kBoundary)) out.push_back(part.jpeg);
            }
            return out;
        };
        settings.faults.closeAfterFrames = 3;
        auto live = MakeSource(settings);
        ASSERT_NE(live, nullptr);
        const auto cycle = units(Drain(*live).body);
        ASSERT_EQ(cycle.size(), 3u);

        ReplayLibrary library(3);
        settings.faults.closeAfterFrames = 8;
        settings.unpaced = true;
        std::string error;
        for (int stream = 0; stream < 2; ++stream) {  // the second one reuses the cycle
            auto replay = library.Create(settings, &error);
            ASSERT_NE(replay, nullptr) << error;
            EXPECT_EQ(replay->ContentType(), live->ContentType());
            const Drained drained = Drain(*replay);
            EXPECT_TRUE(drained.ended) << settings.group;
            EXPECT_TRUE(std::all_of(drained.pieces.begin(), drained.pieces.end(),
                                    [](const StreamPiece& piece) { return piece.delayMs == 0; }));
            const auto replayed = units(drained.body);
            ASSERT_EQ(replayed.size(), 8u) << settings.group;
            for (std::size_t i = 0; i < replayed.size(); ++i) {
                EXPECT_EQ(replayed[i], cycle[i % 3]) << settings.group << " unit " << i;
            }
        }
    }
}

TEST(StreamFaults, CloseAfterFramesEndsAfterTheLastFrame) {
    for (StreamSettings settings : {Jpeg(), Mpeg()}) {
        settings.faults.closeAfterFrames = 5;
        settings.faults.stallAfterFrames = 9;  // the earlier limit wins
        auto source = MakeSource(settings);
        ASSERT_NE(source, nullptr);
        const Drained drained = Drain(*source);
        EXPECT_TRUE(drained.ended);
        EXPECT_FALSE(drained.stalled);
        EXPECT_EQ(source->FramesProduced(), 5u);
        EXPECT_FALSE(drained.pieces.back().bytes.empty()) << "the end goes with the last frame's bytes";
        if (settings.group == "liv") {
            EXPECT_EQ(SplitRecords(drained.body).size(), 5u);
        } else {
            EXPECT_EQ(SplitMultipart(drained.body, JpegStreamSource::kBoundary).size(), 5u);
        }
    }
}

TEST(StreamFaults, StallAfterFramesSendsAllFramesThenNothing) {
    StreamSettings settings = Mpeg();
    settings.faults.stallAfterFrames = 3;
    settings.faults.chunkSizes = {1000};
    auto source = MakeSource(settings);
    ASSERT_NE(source, nullptr);
    const Drained drained = Drain(*source);
    EXPECT_TRUE(drained.stalled);
    EXPECT_FALSE(drained.ended);
    EXPECT_TRUE(drained.pieces.back().bytes.empty());
    const auto records = SplitRecords(drained.body);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records.back().lengthField, records.back().payload.size());
    EXPECT_EQ(source->FramesProduced(), 3u);
}

TEST(StreamFaults, CloseAfterBytesEndsAtExactlyThatByte) {
    for (std::uint64_t limit : {1ull, 287ull, 5000ull, 123457ull}) {
        StreamSettings settings = Mpeg();
        settings.faults.closeAfterBytes = limit;
        auto source = MakeSource(settings);
        ASSERT_NE(source, nullptr);
        const Drained drained = Drain(*source);
        EXPECT_TRUE(drained.ended);
        EXPECT_EQ(drained.body.size(), limit);
    }
}

// Chunks cut the same bytes differently: the body is unchanged and the
// pieces cycle through the sizes, across frame boundaries, so a test can
// split any marker where it likes.
TEST(StreamFaults, ChunksCycleThroughTheSizes) {
    for (StreamSettings settings : {Mpeg(), Jpeg()}) {
        SCOPED_TRACE(settings.group);
        settings.faults.closeAfterFrames = 6;
        auto whole = MakeSource(settings);
        const std::vector<std::uint32_t> sizes = {1, 7, 300};
        settings.faults.chunkSizes = sizes;
        auto chunked = MakeSource(settings);
        ASSERT_TRUE(whole && chunked);
        const Drained expected = Drain(*whole);
        const Drained got = Drain(*chunked);
        EXPECT_EQ(got.body, expected.body);
        EXPECT_TRUE(got.ended);
        for (std::size_t i = 0; i + 1 < got.pieces.size(); ++i) {
            EXPECT_EQ(got.pieces[i].bytes.size(), sizes[i % 3]) << "piece " << i;
        }
    }
}

TEST(StreamFaults, GarbageLiesBetweenFramesAndLooksLikeNoMarker) {
    for (StreamSettings settings : {Mpeg(), Jpeg()}) {
        SCOPED_TRACE(settings.group);
        settings.faults.closeAfterFrames = 5;
        settings.faults.garbageBetweenFrames = true;
        auto source = MakeSource(settings);
        ASSERT_NE(source, nullptr);
        const Drained drained = Drain(*source);
        std::vector<std::vector<std::uint8_t>> junk;
        if (settings.group == "liv") {
            for (const Record& record : SplitRecords(drained.body)) {
                EXPECT_EQ(record.lengthField, record.payload.size());
                junk.push_back(record.junkBefore);
            }
        } else {
            for (const Part& part : SplitMultipart(drained.body, JpegStreamSource::kBoundary)) {
                EXPECT_TRUE(DecodeJpeg(part.jpeg).has_value());
                junk.push_back(part.junkBefore);
            }
        }
        ASSERT_EQ(junk.size(), 5u);
        EXPECT_TRUE(junk[0].empty()) << "nothing before the first frame";
        for (std::size_t i = 1; i < junk.size(); ++i) {
            EXPECT_FALSE(junk[i].empty()) << "frame " << i;
            // No JPEG marker byte and no record marker start in the junk.
            EXPECT_EQ(std::count(junk[i].begin(), junk[i].end(), 0xFF), 0) << "frame " << i;
            EXPECT_EQ(std::count(junk[i].begin(), junk[i].end(), '['), 0) << "frame " << i;
        }
    }
}

TEST(StreamFaults, EveryNthRecordClaimsAWrongLength) {
    StreamSettings settings = Mpeg();
    settings.faults.closeAfterFrames = 7;
    settings.faults.wrongLengthEvery = 3;
    auto source = MakeSource(settings);
    ASSERT_NE(source, nullptr);
    const auto records = SplitRecords(Drain(*source).body);
    ASSERT_EQ(records.size(), 7u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const bool wrong = (i + 1) % 3 == 0;
        EXPECT_EQ(records[i].lengthField == records[i].payload.size(), !wrong) << "record " << i + 1;
    }
}

}  // namespace
}  // namespace darvik::camsim
