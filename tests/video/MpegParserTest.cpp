#include <gtest/gtest.h>

#include "video/MpegParser.h"
#include "video/StreamFixtures.h"

namespace brevane {
namespace {

using test::Append;
using test::Bytes;

struct Frame {
    Bytes payload;
    bool key;
    bool operator==(const Frame&) const = default;
};

struct Client : IMpegParserClient {
    std::vector<Frame> frames;
    // Answers to the offered frames in order; true once they run out.
    std::vector<bool> answers;
    std::size_t offered = 0;
    bool OnMpegFrame(const std::uint8_t* payload, std::uint32_t size, bool keyFrame) override {
        const bool accept = offered < answers.size() ? answers[offered] : true;
        ++offered;
        if (accept) {
            frames.push_back({Bytes(payload, payload + size), keyFrame});
        }
        return accept;
    }
};

std::vector<Frame> Parse(const Bytes& stream, const std::vector<std::size_t>& chunkSizes = {}) {
    Client client;
    CMpegParser parser(&client);
    test::FeedInChunks(stream, chunkSizes,
                          [&](const std::uint8_t* data, std::size_t size) { parser.Feed(data, size); });
    return client.frames;
}

Bytes Key(std::size_t size, std::uint32_t seed) { return test::MakeVopPayload(true, size, seed); }
Bytes Inter(std::size_t size, std::uint32_t seed) { return test::MakeVopPayload(false, size, seed); }

TEST(MpegParser, SingleRecordNeedsAKeyFrame) {
    const Bytes key = Key(1000, 1);
    EXPECT_EQ(Parse(test::MakeRecord(key)), (std::vector<Frame>{{key, true}}));
    EXPECT_TRUE(Parse(test::MakeRecord(Inter(1000, 2))).empty());
}

TEST(MpegParser, ChunkBoundariesDoNotChangeTheFrames) {
    std::vector<Frame> expected;
    Bytes stream;
    Append(stream, "garbage before the first record [vgvd");
    std::uint32_t seed = 1;
    for (int gop = 0; gop < 3; ++gop) {
        const Bytes key = Key(2000 + gop * 300, seed++);
        Append(stream, test::MakeRecord(key));
        expected.push_back({key, true});
        for (int i = 0; i < 4; ++i) {
            const Bytes inter = Inter(50 + i * 400, seed++);
            Append(stream, test::MakeRecord(inter));
            Append(stream, "junk between records");
            expected.push_back({inter, false});
        }
    }
    const std::vector<std::vector<std::size_t>> patterns = {
        {}, {1}, {7}, {300}, {8192}, {5, 1, 3},
        test::RandomChunkSizes(21, 100, 30), test::RandomChunkSizes(22, 100, 3000)};
    for (const auto& pattern : patterns) {
        SCOPED_TRACE(::testing::Message() << "pattern of " << pattern.size() << " sizes, first "
                                          << (pattern.empty() ? 0 : pattern[0]));
        EXPECT_EQ(Parse(stream, pattern), expected);
    }
}

TEST(MpegParser, MarkersSplitAtEveryPositionAreRecognised) {
    const Bytes key = Key(40, 3);
    const Bytes record = test::MakeRecord(key);
    for (std::size_t cut = 1; cut < record.size(); ++cut) {
        Client client;
        CMpegParser parser(&client);
        parser.Feed(record.data(), cut);
        parser.Feed(record.data() + cut, record.size() - cut);
        EXPECT_EQ(client.frames, (std::vector<Frame>{{key, true}})) << "cut at " << cut;
    }
}

TEST(MpegParser, WrongLengthDropsFramesUntilTheNextKeyFrame) {
    const Bytes key1 = Key(500, 1);
    const Bytes inter1 = Inter(300, 2);
    const Bytes inter2 = Inter(300, 3);
    const Bytes key2 = Key(500, 4);
    const Bytes inter3 = Inter(300, 5);
    for (std::int64_t delta : {-1, 1}) {
        Bytes stream = test::MakeRecord(key1);
        Append(stream, test::MakeRecord(inter1, static_cast<std::int64_t>(inter1.size()) + delta));
        Append(stream, test::MakeRecord(inter2));
        Append(stream, test::MakeRecord(key2));
        Append(stream, test::MakeRecord(inter3));
        EXPECT_EQ(Parse(stream), (std::vector<Frame>{{key1, true}, {key2, true}, {inter3, false}}))
            << "length off by " << delta;
    }
}

TEST(MpegParser, LengthNearFourGigabytesDoesNotWrapIntoAMatch) {
    // Record of 20 bytes: start marker, length field, end marker. In 32-bit
    // arithmetic L + 288 wraps to exactly 20 and the payload would be read
    // from far past the record.
    Bytes record;
    Append(record, "[vgvdbs]");
    const std::uint32_t length = 0xFFFFFFFFu - 288u + 20u + 1u;
    for (int i = 0; i < 4; ++i) {
        record.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    }
    Append(record, "[vgvdbe]");
    ASSERT_EQ(record.size(), 20u);
    ASSERT_EQ(static_cast<std::uint32_t>(length + 288u), 20u);

    Client client;
    CMpegParser parser(&client);
    const Bytes key = Key(200, 1);
    const Bytes first = test::MakeRecord(key);
    parser.Feed(first.data(), first.size());
    parser.Feed(record.data(), record.size());
    EXPECT_EQ(client.frames, (std::vector<Frame>{{key, true}}));
    EXPECT_TRUE(parser.IsWaitingForKeyFrame());
}

TEST(MpegParser, KeyFrameIsTheIntraCodingTypeOfTheFirstStartCode) {
    struct Case {
        Bytes payload;
        bool key;
    };
    const std::vector<Case> cases = {
        {{0x00, 0x00, 0x01, 0xB6, 0x3F, 0x01}, true},
        {{0x00, 0x00, 0x01, 0xB6, 0x40, 0x01}, false},
        {{0x00, 0x00, 0x01, 0xB6, 0x80}, false},
        {{0x12, 0x00, 0x00, 0x01, 0xB6, 0x00}, true},
        // The first start code decides.
        {{0x00, 0x00, 0x01, 0xB6, 0x50, 0x00, 0x00, 0x01, 0xB6, 0x00}, false},
        // A start code with no byte after it in the payload.
        {{0x00, 0x00, 0x01, 0xB6}, false},
        {{0x00, 0x00, 0x01}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        // A key frame first, so the parser is no longer waiting.
        const Bytes opener = Key(100, 1);
        Bytes stream = test::MakeRecord(opener);
        Append(stream, test::MakeRecord(c.payload));
        const std::vector<Frame> frames = Parse(stream);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[1].payload, c.payload);
        EXPECT_EQ(frames[1].key, c.key) << "payload of " << c.payload.size() << " bytes";
    }
}

TEST(MpegParser, RefusedFrameMakesTheParserWaitForTheNextKeyFrame) {
    const Bytes key1 = Key(500, 1);
    const Bytes inter1 = Inter(300, 2);
    const Bytes key2 = Key(500, 3);
    const Bytes inter2 = Inter(300, 4);
    Bytes stream = test::MakeRecord(key1);
    Append(stream, test::MakeRecord(inter1));
    Append(stream, test::MakeRecord(key2));
    Append(stream, test::MakeRecord(inter2));

    Client client;
    client.answers = {false};
    CMpegParser parser(&client);
    parser.Feed(stream.data(), stream.size());
    EXPECT_EQ(client.offered, 3u);  // key1 (refused), key2, inter2
    EXPECT_EQ(client.frames, (std::vector<Frame>{{key2, true}, {inter2, false}}));
}

TEST(MpegParser, SixthMarkerByteIsNotExamined) {
    const Bytes key = Key(300, 1);
    EXPECT_EQ(Parse(test::MakeRecord(key, -1, 'Z')), (std::vector<Frame>{{key, true}}));
}

TEST(MpegParser, MarkerLookalikesInsidePayloadsAreOrdinaryBytes) {
    Bytes key = Key(100, 1);
    Append(key, "[vgvdbx][vgvdbs[vgvdbe)[vgvd");
    Append(key, Bytes(50, 0x5B));
    const Bytes inter = Inter(200, 2);
    Bytes stream = test::MakeRecord(key);
    Append(stream, test::MakeRecord(inter));
    const std::vector<Frame> expected = {{key, true}, {inter, false}};
    EXPECT_EQ(Parse(stream), expected);
    EXPECT_EQ(Parse(stream, {1}), expected);
    EXPECT_EQ(Parse(stream, {7}), expected);
}

TEST(MpegParser, LostMarkersMakeTheParserWaitForTheNextKeyFrame) {
    const Bytes key1 = Key(500, 1);
    const Bytes inter1 = Inter(300, 2);
    const Bytes inter2 = Inter(300, 3);
    const Bytes key2 = Key(500, 4);

    // A record cut short by the next start marker (its end marker lost).
    Bytes truncated = test::MakeRecord(inter1);
    truncated.resize(truncated.size() - 8);
    Bytes stream = test::MakeRecord(key1);
    Append(stream, truncated);
    Append(stream, test::MakeRecord(inter2));
    Append(stream, test::MakeRecord(key2));
    EXPECT_EQ(Parse(stream), (std::vector<Frame>{{key1, true}, {key2, true}}));

    // A record whose start marker was lost: its end marker stands alone.
    Bytes headless = test::MakeRecord(inter1);
    headless[1] = 'X';
    stream = test::MakeRecord(key1);
    Append(stream, headless);
    Append(stream, test::MakeRecord(inter2));
    Append(stream, test::MakeRecord(key2));
    EXPECT_EQ(Parse(stream), (std::vector<Frame>{{key1, true}, {key2, true}}));
}

TEST(MpegParser, RecordWithoutEndPastTheCapIsDropped) {
    Client client;
    CMpegParser parser(&client);
    const Bytes key = Key(500, 1);
    const Bytes first = test::MakeRecord(key);
    parser.Feed(first.data(), first.size());

    const Bytes start = {'[', 'v', 'g', 'v', 'd', 'b', 's', ']'};
    parser.Feed(start.data(), start.size());
    const Bytes filler(700 * 1024, 0x11);
    // Each growth holds the old storage and the new one while it copies;
    // together they never pass the cap and an eighth of it.
    std::size_t capacity = parser.BufferCapacity();
    for (std::size_t fed = 0; fed <= CMpegParser::kMaxRecordSize; fed += filler.size()) {
        parser.Feed(filler.data(), filler.size());
        ASSERT_LE(parser.BufferCapacity(), CMpegParser::kMaxRecordSize);
        if (parser.BufferCapacity() > capacity) {
            ASSERT_LE(capacity + parser.BufferCapacity(), CMpegParser::kMaxRecordSize + CMpegParser::kMaxRecordSize / 8)
                << "grew from " << capacity << " to " << parser.BufferCapacity();
        }
        capacity = parser.BufferCapacity();
    }
    EXPECT_EQ(parser.DroppedRecords(), 1u);
    EXPECT_TRUE(parser.IsWaitingForKeyFrame());

    const Bytes end = {'[', 'v', 'g', 'v', 'd', 'b', 'e', ']'};
    parser.Feed(end.data(), end.size());
    const Bytes inter = test::MakeRecord(Inter(100, 2));
    parser.Feed(inter.data(), inter.size());
    const Bytes key2 = Key(400, 3);
    const Bytes second = test::MakeRecord(key2);
    parser.Feed(second.data(), second.size());
    EXPECT_EQ(client.frames, (std::vector<Frame>{{key, true}, {key2, true}}));
}

}  // namespace
}  // namespace brevane
