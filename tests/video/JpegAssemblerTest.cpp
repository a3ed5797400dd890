#include <gtest/gtest.h>

#include "video/JpegAssembler.h"
#include "video/StreamFixtures.h"

namespace brevane {
namespace {

using test::Append;
using test::Bytes;

struct Collector : IJpegReceiver {
    std::vector<Bytes> pictures;
    void OnJpegFrame(const std::uint8_t* data, std::uint32_t size) override {
        pictures.emplace_back(data, data + size);
    }
};

// A response of several pictures of different sizes, with boundaries.
struct MultipartStream {
    std::vector<Bytes> pictures;
    Bytes bytes;
};

MultipartStream MakeStream() {
    MultipartStream stream;
    Append(stream.bytes, "HTTP junk before the first part\r\n");
    const std::size_t bodies[] = {3000, 17, 900, 5000, 1};
    std::uint32_t seed = 1;
    for (std::size_t body : bodies) {
        stream.pictures.push_back(test::MakeJpeg(352, 288, body, seed++));
        Append(stream.bytes, test::MultipartPart(stream.pictures.back()));
    }
    return stream;
}

std::vector<Bytes> Assemble(const Bytes& bytes, const std::vector<std::size_t>& chunkSizes) {
    Collector collector;
    CJpegAssembler assembler(&collector);
    test::FeedInChunks(bytes, chunkSizes,
                          [&](const std::uint8_t* data, std::size_t size) { assembler.Feed(data, size); });
    return collector.pictures;
}

TEST(JpegAssembler, ChunkBoundariesDoNotChangeThePictures) {
    const MultipartStream stream = MakeStream();
    const std::vector<std::vector<std::size_t>> patterns = {
        {}, {1}, {2}, {7}, {300}, {8096}, {3, 1, 9, 2},
        test::RandomChunkSizes(11, 64, 40), test::RandomChunkSizes(12, 64, 2000)};
    for (const auto& pattern : patterns) {
        SCOPED_TRACE(::testing::Message() << "pattern of " << pattern.size() << " sizes, first "
                                          << (pattern.empty() ? 0 : pattern[0]));
        EXPECT_EQ(Assemble(stream.bytes, pattern), stream.pictures);
    }
}

TEST(JpegAssembler, MarkersSplitAtEveryPositionAreRecognised) {
    // Every two-chunk split of a part: SOI, segment headers, SOF0 size
    // fields and EOI each get cut somewhere along the way. The EXIF picture
    // carries a thumbnail JPEG and marker bytes inside its segments; they
    // must neither cut the picture short nor change its size.
    for (const Bytes& picture : {test::MakeJpeg(704, 576, 40, 5), test::MakeExifJpeg(704, 576, 40, 5)}) {
        const Bytes part = test::MultipartPart(picture);
        for (std::size_t cut = 1; cut < part.size(); ++cut) {
            Collector collector;
            CJpegAssembler assembler(&collector);
            assembler.Feed(part.data(), cut);
            assembler.Feed(part.data() + cut, part.size() - cut);
            ASSERT_EQ(collector.pictures.size(), 1u) << "cut at " << cut;
            EXPECT_EQ(collector.pictures[0], picture) << "cut at " << cut;
            std::uint16_t width = 0;
            std::uint16_t height = 0;
            assembler.GetSize(width, height);
            EXPECT_EQ(width, 704) << "cut at " << cut;
            EXPECT_EQ(height, 576) << "cut at " << cut;
        }
        EXPECT_EQ(Assemble(part, {1}), std::vector<Bytes>{picture});
    }
}

TEST(JpegAssembler, MalformedSegmentLengthFallsBackToTheEndMarker) {
    // A length below 2 cannot be walked; the picture still ends at its EOI.
    Bytes picture = test::MakeJpeg(352, 288, 200, 8);
    picture[4] = 0x00;  // APP0 length 0x0001
    picture[5] = 0x01;
    EXPECT_EQ(Assemble(picture, {}), std::vector<Bytes>{picture});
    EXPECT_EQ(Assemble(picture, {3}), std::vector<Bytes>{picture});
}

TEST(JpegAssembler, SizeComesFromTheLastStartOfFrame) {
    Collector collector;
    CJpegAssembler assembler(&collector);
    std::uint16_t width = 1;
    std::uint16_t height = 1;
    assembler.GetSize(width, height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);

    const Bytes first = test::MultipartPart(test::MakeJpeg(160, 120, 100, 1));
    const Bytes second = test::MultipartPart(test::MakeJpeg(800, 240, 100, 2));
    assembler.Feed(first.data(), first.size());
    assembler.GetSize(width, height);
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);
    assembler.Feed(second.data(), second.size());
    assembler.GetSize(width, height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 240);
}

TEST(JpegAssembler, EndAndStartInOneChunkGiveOnePictureAndKeepTheNext) {
    const Bytes a = test::MakeJpeg(352, 288, 500, 1);
    const Bytes b = test::MakeJpeg(352, 288, 500, 2);
    Bytes stream = test::MultipartPart(a);
    Append(stream, test::MultipartPart(b));
    // First chunk ends inside a; the second holds a's end and b's start.
    const std::size_t cut1 = 200;
    const std::size_t cut2 = test::MultipartPart(a).size() + 100;

    Collector collector;
    CJpegAssembler assembler(&collector);
    assembler.Feed(stream.data(), cut1);
    EXPECT_TRUE(collector.pictures.empty());
    assembler.Feed(stream.data() + cut1, cut2 - cut1);
    ASSERT_EQ(collector.pictures.size(), 1u);
    EXPECT_EQ(collector.pictures[0], a);
    assembler.Feed(stream.data() + cut2, stream.size() - cut2);
    ASSERT_EQ(collector.pictures.size(), 2u);
    EXPECT_EQ(collector.pictures[1], b);
}

TEST(JpegAssembler, BytesOutsidePicturesNeverReachTheReceiver) {
    const Bytes picture = test::MakeJpeg(352, 288, 300, 3);
    Bytes stream;
    // An end-of-image marker before any start, and between pictures: junk,
    // not a picture.
    Append(stream, Bytes{'x', 0xFF, 0xD9, 'y'});
    Append(stream, test::MultipartPart(picture));
    Append(stream, Bytes{0xFF, 0xD9, 0xFF, 0xD9});
    // Fill bytes before a start-of-image marker.
    Append(stream, Bytes{0xFF, 0xFF, 0xFF});
    Append(stream, picture);
    EXPECT_EQ(Assemble(stream, {}), (std::vector<Bytes>{picture, picture}));
    EXPECT_EQ(Assemble(stream, {1}), (std::vector<Bytes>{picture, picture}));
}

TEST(JpegAssembler, NewStartOfImageDropsTheUnfinishedPicture) {
    const Bytes whole = test::MakeJpeg(352, 288, 300, 4);
    Bytes stream(whole.begin(), whole.begin() + 150);  // cut short: no EOI
    Append(stream, whole);
    EXPECT_EQ(Assemble(stream, {}), std::vector<Bytes>{whole});
    EXPECT_EQ(Assemble(stream, {7}), std::vector<Bytes>{whole});
}

TEST(JpegAssembler, ResetForgetsThePictureInProgressAndCarriedBytes) {
    const Bytes picture = test::MakeJpeg(352, 288, 300, 6);
    Collector collector;
    CJpegAssembler assembler(&collector);
    assembler.Feed(picture.data(), 100);
    assembler.Reset();
    // The tail of the old picture, including its EOI, is not a picture.
    assembler.Feed(picture.data() + 100, picture.size() - 100);
    EXPECT_TRUE(collector.pictures.empty());

    // A lone 0xFF carried from the old stream must not pair with a D8
    // beginning the new one.
    const Bytes ff = {0xFF};
    assembler.Feed(ff.data(), ff.size());
    assembler.Reset();
    const Bytes d8Junk = {0xD8, 'a', 0xFF, 0xD9};
    assembler.Feed(d8Junk.data(), d8Junk.size());
    EXPECT_TRUE(collector.pictures.empty());

    assembler.Feed(picture.data(), picture.size());
    EXPECT_EQ(collector.pictures, std::vector<Bytes>{picture});
}

TEST(JpegAssembler, PictureWithoutEndPastTheCapIsDroppedAndScanningGoesOn) {
    Collector collector;
    CJpegAssembler assembler(&collector);
    const Bytes start = {0xFF, 0xD8};
    assembler.Feed(start.data(), start.size());
    // Uneven chunks, so the storage would pass the cap if it doubled freely.
    const Bytes filler(700 * 1024, 0x11);
    // Each growth holds the old storage and the new one while it copies;
    // together they never pass the cap and an eighth of it.
    std::size_t capacity = assembler.BufferCapacity();
    for (std::size_t fed = 0; fed <= CJpegAssembler::kMaxPictureSize; fed += filler.size()) {
        assembler.Feed(filler.data(), filler.size());
        ASSERT_LE(assembler.BufferCapacity(), CJpegAssembler::kMaxPictureSize);
        if (assembler.BufferCapacity() > capacity) {
            ASSERT_LE(capacity + assembler.BufferCapacity(), CJpegAssembler::kMaxPictureSize + CJpegAssembler::kMaxPictureSize / 8)
                << "grew from " << capacity << " to " << assembler.BufferCapacity();
        }
        capacity = assembler.BufferCapacity();
    }
    EXPECT_EQ(assembler.DroppedPictures(), 1u);
    // The dropped picture's end marker delivers nothing; the next picture is
    // whole.
    const Bytes end = {0xFF, 0xD9};
    assembler.Feed(end.data(), end.size());
    EXPECT_TRUE(collector.pictures.empty());
    const Bytes picture = test::MakeJpeg(352, 288, 300, 7);
    assembler.Feed(picture.data(), picture.size());
    EXPECT_EQ(collector.pictures, std::vector<Bytes>{picture});
}

}  // namespace
}  // namespace brevane
