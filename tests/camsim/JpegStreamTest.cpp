// The simulator's multipart JPEG streams.
#include <gtest/gtest.h>

#include "camsim/StreamTestSupport.h"
#include "streams/JpegStreamSource.h"

namespace darvik::camsim {
namespace {

using brevane::test::BaselineSize;
using brevane::test::DecodeJpeg;
using brevane::test::Drain;
using brevane::test::Drained;
using brevane::test::MakeSource;
using brevane::test::SplitMultipart;

StreamSettings JpegSettings(const std::string& group, bool ntsc, std::uint32_t frames) {
    StreamSettings settings;
    settings.group = group;
    settings.ntsc = ntsc;
    settings.jpegFramesPerSecond = 25;
    settings.faults.closeAfterFrames = frames;
    return settings;
}

struct JpegCase {
    const char* group;
    bool ntsc;
    int width;
    int height;
};

class JpegStreamSizes : public ::testing::TestWithParam<JpegCase> {};

// Every picture is a complete part with the right headers, a baseline JPEG
// of the stream's size that decodes and shows its own frame number.
TEST_P(JpegStreamSizes, EveryPictureDecodesAtItsSizeAndShowsItsNumber) {
    const JpegCase& c = GetParam();
    constexpr std::uint32_t kFrames = 3;
    for (int code = 0; code <= 2; ++code) {
        StreamSettings settings = JpegSettings(c.group, c.ntsc, kFrames);
        settings.jpegQualityCode = code;
        auto source = MakeSource(settings);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->ContentType(), std::string("multipart/x-mixed-replace; boundary=") +
                                             JpegStreamSource::kBoundary);
        const Drained drained = Drain(*source);
        EXPECT_TRUE(drained.ended);
        EXPECT_EQ(drained.pieces.size(), kFrames);  // one piece per picture
        EXPECT_EQ(source->FramesProduced(), kFrames);

        const auto parts = SplitMultipart(drained.body, JpegStreamSource::kBoundary);
        ASSERT_EQ(parts.size(), kFrames);
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            SCOPED_TRACE(::testing::Message() << c.group << " quality code " << code << " picture " << i);
            EXPECT_TRUE(parts[i].junkBefore.empty());
            EXPECT_NE(parts[i].headers.find("Content-Type: image/jpeg"), std::string::npos);
            const auto sof = BaselineSize(parts[i].jpeg);
            ASSERT_TRUE(sof.has_value()) << "no baseline start of frame";
            EXPECT_EQ(*sof, std::make_pair(c.width, c.height));
            const auto picture = DecodeJpeg(parts[i].jpeg);
            ASSERT_TRUE(picture.has_value());
            EXPECT_EQ(picture->width, c.width);
            EXPECT_EQ(picture->height, c.height);
            EXPECT_EQ(picture->FrameNumber(), std::optional<std::uint32_t>(i));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllStreams, JpegStreamSizes,
                         ::testing::Values(JpegCase{"jpgl", false, 160, 144}, JpegCase{"jpgn", false, 352, 288},
                                           JpegCase{"jpgh", false, 704, 576}, JpegCase{"jpgl", true, 160, 120},
                                           JpegCase{"jpgn", true, 352, 240}, JpegCase{"jpgh", true, 704, 480}),
                         [](const auto& info) {
                             return std::string(info.param.group) + (info.param.ntsc ? "Ntsc" : "Pal");
                         });

TEST(JpegStream, LowerQualityCodesMakeSmallerPictures) {
    std::size_t previous = SIZE_MAX;
    for (int code = 0; code <= 2; ++code) {
        StreamSettings settings = JpegSettings("jpgn", false, 1);
        settings.jpegQualityCode = code;
        auto source = MakeSource(settings);
        ASSERT_NE(source, nullptr);
        const auto parts = SplitMultipart(Drain(*source).body, JpegStreamSource::kBoundary);
        ASSERT_EQ(parts.size(), 1u);
        EXPECT_LT(parts[0].jpeg.size(), previous) << "quality code " << code;
        previous = parts[0].jpeg.size();
    }
}

TEST(JpegStream, PatternMovesBetweenPictures) {
    // The pattern moves: consecutive pictures differ outside the number box.
    auto source = MakeSource(JpegSettings("jpgl", false, 2));
    ASSERT_NE(source, nullptr);
    const auto parts = SplitMultipart(Drain(*source).body, JpegStreamSource::kBoundary);
    ASSERT_EQ(parts.size(), 2u);
    const auto first = DecodeJpeg(parts[0].jpeg);
    const auto second = DecodeJpeg(parts[1].jpeg);
    ASSERT_TRUE(first && second);
    const std::size_t lowerHalf = first->luma.size() / 2;
    EXPECT_FALSE(std::equal(first->luma.begin() + static_cast<std::ptrdiff_t>(lowerHalf), first->luma.end(),
                            second->luma.begin() + static_cast<std::ptrdiff_t>(lowerHalf)));
}

}  // namespace
}  // namespace darvik::camsim
