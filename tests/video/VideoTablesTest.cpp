#include <gtest/gtest.h>

#include <string>

#include "video/VideoTables.h"

namespace brevane {
namespace {

TEST(VideoTables, JpegQualityCodes) {
    EXPECT_EQ(JpegQualityCode(100), 0);
    EXPECT_EQ(JpegQualityCode(67), 0);
    EXPECT_EQ(JpegQualityCode(66), 1);
    EXPECT_EQ(JpegQualityCode(34), 1);
    EXPECT_EQ(JpegQualityCode(33), 2);
    EXPECT_EQ(JpegQualityCode(0), 2);
}

TEST(VideoTables, MpegQualityValues) {
    EXPECT_EQ(MpegQualityValue(0), 500u);
    EXPECT_EQ(MpegQualityValue(50), 1250u);
    EXPECT_EQ(MpegQualityValue(100), 2000u);
    EXPECT_EQ(MpegQualityValue(150), 2000u);
    EXPECT_EQ(MpegQualityValue(0xFFFFFFFFu), 2000u);
}

TEST(VideoTables, JpegAddresses) {
    EXPECT_STREQ(JpegPathForWidth(160), "/cgi-bin/get?jpgl");
    EXPECT_STREQ(JpegPathForWidth(352), "/cgi-bin/get?jpgn");
    EXPECT_STREQ(JpegPathForWidth(704), "/cgi-bin/get?jpgh");
    EXPECT_STREQ(JpegPathForWidth(640), "");
    EXPECT_STREQ(JpegPathForWidth(0), "");
    EXPECT_EQ(JpegAddressTable().size(), 3u);
}

TEST(VideoTables, FrameRateCodesByFamily) {
    EXPECT_EQ(FindFrameRateCode(false, 40), 1);   // 25 fps
    EXPECT_EQ(FindFrameRateCode(false, 200), 5);  // 5 fps
    EXPECT_EQ(FindFrameRateCode(false, 77), std::nullopt);  // key 12
    EXPECT_EQ(FindFrameRateCode(false, 0), std::nullopt);
    EXPECT_EQ(FindFrameRateCode(true, 33), 1);    // key 30
    EXPECT_EQ(FindFrameRateCode(true, 66), 2);    // key 15
    EXPECT_EQ(FindFrameRateCode(true, 40), std::nullopt);
    // Every interval the capability query offers maps back to its code.
    for (bool ntsc : {false, true}) {
        for (const FrameRateCode& row : FrameRateTable(ntsc)) {
            EXPECT_EQ(FindFrameRateCode(ntsc, 1000 / row.framesPerSecond), row.code)
                << (ntsc ? "NTSC " : "PAL ") << row.framesPerSecond;
        }
    }
}

TEST(VideoTables, ResolutionCodesByFamily) {
    EXPECT_EQ(FindResolutionCode(false, 352, 288), 2);
    EXPECT_EQ(FindResolutionCode(false, 704, 288), 3);
    EXPECT_EQ(FindResolutionCode(false, 704, 576), 4);
    EXPECT_EQ(FindResolutionCode(false, 704, 480), std::nullopt);
    EXPECT_EQ(FindResolutionCode(true, 704, 480), 4);
    EXPECT_EQ(FindResolutionCode(true, 352, 240), 2);
    EXPECT_EQ(FindResolutionCode(true, 352, 288), std::nullopt);
}

TEST(VideoTables, SizeClasses) {
    EXPECT_EQ(SizeClassFor(800, 240), 3);
    EXPECT_EQ(SizeClassFor(704, 576), 4);
    EXPECT_EQ(SizeClassFor(352, 288), 2);
    EXPECT_EQ(SizeClassFor(1280, 480), 4);
    EXPECT_EQ(SizeClassFor(704, 288), 3);
    EXPECT_EQ(SizeClassFor(400, 300), 2);
    EXPECT_EQ(SizeClassFor(401, 300), 4);
    EXPECT_EQ(SizeClassFor(0, 0), 2);
    EXPECT_EQ(SizeClassFor(1000, 0x80000000u), 4);  // twice the height does not wrap
}

}  // namespace
}  // namespace brevane
