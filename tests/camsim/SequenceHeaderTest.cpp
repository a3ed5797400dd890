// The MPEG-4 sequence header the driver puts in front of key frames.
#include <gtest/gtest.h>

#include "camsim/StreamTestSupport.h"
#include "video/SequenceHeader.h"

namespace {

using brevane::BuildSequenceHeader;
using brevane::kSequenceHeaderTemplate;

// Reads the size fields back the way a decoder does: after the video object
// layer start code (offsets 14 to 17), the fields up to fixed_vop_rate take
// 40 bits; then come marker, width, marker, height, marker, interlaced.
TEST(SequenceHeader, DecoderReadsTheSizeAtEveryResolution) {
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{352, 240}, {352, 288}, {704, 240},
                                                             {704, 288}, {704, 480}, {704, 576}};
    for (const auto& [width, height] : sizes) {
        const auto header = BuildSequenceHeader(width, height);
        // Only the size bytes (23 to 26) differ from the template.
        ASSERT_EQ(header.size(), kSequenceHeaderTemplate.size());
        for (std::size_t i = 0; i < header.size(); ++i) {
            EXPECT_TRUE((i >= 23 && i <= 26) || header[i] == kSequenceHeaderTemplate[i]) << "byte " << i;
        }
        brevane::test::BitReader bits(header.data() + 18, header.size() - 18);
        bits.Read(40);
        EXPECT_EQ(bits.Read(1), 1u);
        EXPECT_EQ(bits.Read(13), width);
        EXPECT_EQ(bits.Read(1), 1u);
        EXPECT_EQ(bits.Read(13), height);
        EXPECT_EQ(bits.Read(1), 1u);
        EXPECT_EQ(bits.Read(1), 0u) << "interlaced";
    }
}

}  // namespace
