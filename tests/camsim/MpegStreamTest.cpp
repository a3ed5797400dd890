// The simulator's MPEG-4 record stream, decoded the way the driver hands it
// to a host: the driver's sequence header in front of every key frame.
#include <gtest/gtest.h>

#include <algorithm>

#include "camsim/StreamTestSupport.h"
#include "streams/CameraTables.h"
#include "streams/MpegStreamSource.h"
#include "streams/StreamSourceFactory.h"
#include "video/SequenceHeader.h"

namespace darvik::camsim {
namespace {

using brevane::test::BitReader;
using brevane::test::DecodeMpeg4;
using brevane::test::Drain;
using brevane::test::Drained;
using brevane::test::MakeSource;
using brevane::test::ManualClock;
using brevane::test::ParseVopHeader;
using brevane::test::Record;
using brevane::test::SplitRecords;

StreamSettings MpegSettings(int resolution, bool ntsc, std::uint32_t frames, std::uint32_t keyInterval) {
    StreamSettings settings;
    settings.group = "liv";
    settings.ntsc = ntsc;
    settings.mpegResolutionCode = resolution;
    settings.mpegFrameRateCode = 1;
    settings.keyFrameInterval = keyInterval;
    settings.faults.closeAfterFrames = frames;
    return settings;
}

bool IsIntraVop(const std::vector<std::uint8_t>& payload) {
    const auto header = ParseVopHeader(payload);
    return header && header->codingType == 0;
}

// The packets a host receives: header + plane for key frames, plane alone otherwise.
std::vector<std::vector<std::uint8_t>> HostPackets(const std::vector<Record>& records, std::uint32_t width,
                                                   std::uint32_t height) {
    const auto header = brevane::BuildSequenceHeader(width, height);
    std::vector<std::vector<std::uint8_t>> packets;
    for (const Record& record : records) {
        std::vector<std::uint8_t> packet;
        if (IsIntraVop(record.payload)) {
            packet.assign(header.begin(), header.end());
        }
        packet.insert(packet.end(), record.payload.begin(), record.payload.end());
        packets.push_back(std::move(packet));
    }
    return packets;
}

struct MpegCase {
    int resolution;
    bool ntsc;
};

class MpegStreamSizes : public ::testing::TestWithParam<MpegCase> {};

TEST_P(MpegStreamSizes, RecordsDecodeWithTheDriversHeaderWithoutAnyError) {
    const MpegCase& c = GetParam();
    constexpr std::uint32_t kFrames = 7;
    constexpr std::uint32_t kKeyInterval = 3;
    const PictureSize size = *MpegPictureSize(c.resolution, c.ntsc);
    auto source = MakeSource(MpegSettings(c.resolution, c.ntsc, kFrames, kKeyInterval));
    ASSERT_NE(source, nullptr);
    const Drained drained = Drain(*source);
    ASSERT_TRUE(drained.ended);

    const auto records = SplitRecords(drained.body);
    ASSERT_EQ(records.size(), kFrames);
    std::size_t recordBytes = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "record " << i);
        const Record& record = records[i];
        recordBytes += 288 + record.payload.size();
        EXPECT_EQ(record.lengthField, record.payload.size());
        EXPECT_TRUE(record.junkBefore.empty());
        // The same header for every record, apart from the length.
        EXPECT_TRUE(std::equal(record.header.begin() + 12, record.header.end(), records[0].header.begin() + 12));
        // A video object plane alone: no sequence, object or layer header.
        const auto header = ParseVopHeader(record.payload);
        ASSERT_TRUE(header.has_value());
        EXPECT_EQ(header->codingType, i % kKeyInterval == 0 ? 0 : 1);
        // Key frames bring a group-of-VOP header; nothing else precedes the plane.
        EXPECT_EQ(header->groupSeconds.has_value(), header->codingType == 0);
        std::vector<std::uint8_t> startCodes;
        for (std::size_t at = 0; at + 4 <= record.payload.size(); ++at) {
            if (record.payload[at] == 0 && record.payload[at + 1] == 0 && record.payload[at + 2] == 1) {
                startCodes.push_back(record.payload[at + 3]);
            }
        }
        const std::vector<std::uint8_t> expected =
            header->groupSeconds ? std::vector<std::uint8_t>{0xB3, 0xB6} : std::vector<std::uint8_t>{0xB6};
        EXPECT_EQ(startCodes, expected);
    }
    EXPECT_EQ(recordBytes, drained.body.size());

    const auto decoded = DecodeMpeg4(HostPackets(records, size.width, size.height));
    EXPECT_EQ(decoded.failedCalls, 0);
    EXPECT_TRUE(decoded.messages.empty()) << decoded.messages.front();
    ASSERT_EQ(decoded.pictures.size(), kFrames);
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        EXPECT_EQ(decoded.pictures[i].width, static_cast<int>(size.width));
        EXPECT_EQ(decoded.pictures[i].height, static_cast<int>(size.height));
        EXPECT_EQ(decoded.pictures[i].FrameNumber(), std::optional<std::uint32_t>(i)) << "picture " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(AllResolutions, MpegStreamSizes,
                         ::testing::Values(MpegCase{2, false}, MpegCase{3, false}, MpegCase{4, false},
                                           MpegCase{2, true}, MpegCase{3, true}, MpegCase{4, true}),
                         [](const auto& info) {
                             return "Code" + std::to_string(info.param.resolution) +
                                    (info.param.ntsc ? "Ntsc" : "Pal");
                         });

TEST(MpegStream, DecodingFromAnyKeyFrameWorks) {
    // A host joins the stream at some key frame: it sees nothing before it.
    auto source = MakeSource(MpegSettings(2, false, 8, 4));
    ASSERT_NE(source, nullptr);
    auto records = SplitRecords(Drain(*source).body);
    ASSERT_EQ(records.size(), 8u);
    records.erase(records.begin(), records.begin() + 4);
    const auto decoded = DecodeMpeg4(HostPackets(records, 352, 288));
    EXPECT_EQ(decoded.failedCalls, 0);
    EXPECT_TRUE(decoded.messages.empty()) << decoded.messages.front();
    ASSERT_EQ(decoded.pictures.size(), 4u);
    EXPECT_EQ(decoded.pictures[0].FrameNumber(), std::optional<std::uint32_t>(4));
    EXPECT_EQ(decoded.pictures[3].FrameNumber(), std::optional<std::uint32_t>(7));
}

// Fields of a video object layer that the planes depend on.
struct VolFields {
    std::uint32_t lowDelay, timeResolution, interlaced, sprite, quantType, resyncDisabled, dataPartitioned;
    std::uint32_t width, height, verid;
};

// Parses the video object layer that follows 00 00 01 2x in data.
std::optional<VolFields> ParseVol(const std::uint8_t* data, std::size_t size) {
    for (std::size_t at = 0; at + 4 < size; ++at) {
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1 && (data[at + 3] & 0xF0) == 0x20) {
            BitReader bits(data + at + 4, size - at - 4);
            VolFields vol{};
            bits.Read(1);  // random_accessible_vol
            const std::uint32_t objectType = bits.Read(8);
            vol.verid = 1;
            if (bits.Read(1)) {
                vol.verid = bits.Read(4);
                bits.Read(3);
            }
            if (bits.Read(4) == 15) {
                bits.Read(16);  // extended pixel aspect ratio
            }
            // Without control parameters a simple object is low delay.
            vol.lowDelay = objectType == 1 ? 1 : 0;
            if (bits.Read(1)) {  // vol_control_parameters
                bits.Read(2);
                vol.lowDelay = bits.Read(1);
                if (bits.Read(1)) {
                    bits.Read(79);  // VBV parameters with their markers
                }
            }
            if (bits.Read(2) != 0) {
                return std::nullopt;  // only rectangular layers here
            }
            bits.Read(1);
            vol.timeResolution = bits.Read(16);
            bits.Read(1);
            if (bits.Read(1)) {  // fixed_vop_rate
                int increments = 1;
                while ((1u << increments) < vol.timeResolution) {
                    ++increments;
                }
                bits.Read(increments);
            }
            bits.Read(1);
            vol.width = bits.Read(13);
            bits.Read(1);
            vol.height = bits.Read(13);
            bits.Read(1);
            vol.interlaced = bits.Read(1);
            bits.Read(1);  // obmc_disable
            vol.sprite = bits.Read(vol.verid == 1 ? 1 : 2);
            if (vol.sprite != 0 || bits.Read(1) /* not_8_bit */) {
                return vol;  // not expected; the comparison fails on sprite
            }
            vol.quantType = bits.Read(1);
            if (vol.quantType) {
                return vol;
            }
            if (vol.verid != 1) {
                bits.Read(1);  // quarter_sample
            }
            bits.Read(1);  // complexity_estimation_disable (estimation header not expected)
            vol.resyncDisabled = bits.Read(1);
            vol.dataPartitioned = bits.Read(1);
            return vol;
        }
    }
    return std::nullopt;
}

TEST(MpegStream, EncoderLayerAgreesWithTheDriversHeader) {
    for (int resolution = 2; resolution <= 4; ++resolution) {
        const PictureSize size = *MpegPictureSize(resolution, false);
        MpegStreamSource source(size, *MpegFrameRate(1, false), 1250, 25, resolution, 1, StreamFaults{}, nullptr);
        std::string error;
        ASSERT_TRUE(source.Init(&error)) << error;
        const auto extradata = source.EncoderExtradata();
        const auto header = brevane::BuildSequenceHeader(size.width, size.height);
        const auto encoder = ParseVol(extradata.data(), extradata.size());
        const auto driver = ParseVol(header.data(), header.size());
        ASSERT_TRUE(encoder && driver);
        EXPECT_EQ(driver->timeResolution, 30000u);
        EXPECT_EQ(encoder->timeResolution, driver->timeResolution);
        EXPECT_EQ(encoder->lowDelay, driver->lowDelay);
        EXPECT_EQ(encoder->interlaced, driver->interlaced);
        EXPECT_EQ(encoder->sprite, driver->sprite);
        EXPECT_EQ(encoder->quantType, driver->quantType);
        EXPECT_EQ(encoder->resyncDisabled, driver->resyncDisabled);
        EXPECT_EQ(encoder->dataPartitioned, driver->dataPartitioned);
        EXPECT_EQ(encoder->verid, 1u);  // no quarter-pel or other version 2 tools
        EXPECT_EQ(encoder->width, driver->width);
        EXPECT_EQ(encoder->height, driver->height);
    }
}

// Plane time stamps step by the frame interval of the m_fram code, in
// 1/30000 s, across whole seconds and key frames too; pieces are paced at
// that interval.
TEST(MpegStream, TimeStampsAndPacingFollowTheFrameRateCode) {
    for (bool ntsc : {false, true}) {
        for (int code = 1; code <= 5; ++code) {
            SCOPED_TRACE(::testing::Message() << (ntsc ? "NTSC" : "PAL") << " m_fram=" << code);
            const FrameRate rate = *MpegFrameRate(code, ntsc);
            const std::uint32_t frames = rate.base / code + 2;  // a little over one second
            ManualClock clock;
            StreamSettings settings = MpegSettings(2, ntsc, frames, 3);
            settings.mpegFrameRateCode = code;
            auto source = MakeSource(settings, clock.Function());
            ASSERT_NE(source, nullptr);
            // modulo_time_base counts whole seconds since the previous plane or
            // the group-of-VOP time code.
            std::uint64_t seconds = 0;
            for (std::uint32_t i = 0; i < frames; ++i) {
                const StreamPiece piece = source->Next();
                // The server waits the delay, sends and asks for the next piece.
                EXPECT_EQ(piece.delayMs, i == 0 ? 0u : (rate.IntervalMicroseconds() + 999) / 1000);
                clock.now += i == 0 ? 0 : rate.IntervalMicroseconds();
                const auto records = SplitRecords(piece.bytes);
                ASSERT_EQ(records.size(), 1u);
                const auto header = ParseVopHeader(records[0].payload);
                ASSERT_TRUE(header.has_value());
                if (header->groupSeconds) {
                    seconds = *header->groupSeconds;
                }
                seconds += header->seconds;
                EXPECT_EQ(seconds * 30000 + header->increment, std::uint64_t{i} * rate.IntervalTicks())
                    << "frame " << i;
            }
        }
    }
}

TEST(MpegStream, QuantiserFollowsTheQualitySetting) {
    std::size_t previousSize = 0;
    for (int quality : {500, 1250, 2000}) {
        StreamSettings settings = MpegSettings(2, false, 1, 25);
        settings.mpegQuality = quality;
        auto source = MakeSource(settings);
        ASSERT_NE(source, nullptr);
        const auto records = SplitRecords(Drain(*source).body);
        ASSERT_EQ(records.size(), 1u);
        const auto header = ParseVopHeader(records[0].payload);
        ASSERT_TRUE(header.has_value());
        EXPECT_EQ(header->quantiser, MpegStreamSource::QuantiserForQuality(quality));
        EXPECT_GT(records[0].payload.size(), previousSize) << "m_qual " << quality;
        previousSize = records[0].payload.size();
    }
    EXPECT_EQ(MpegStreamSource::QuantiserForQuality(500), 20);
    EXPECT_EQ(MpegStreamSource::QuantiserForQuality(2000), 2);
    EXPECT_EQ(MpegStreamSource::QuantiserForQuality(9999), 2);
}

TEST(StreamSettings, SettingsWithoutTableEntryAreRefused) {
    auto refused = [](StreamSettings settings) {
        std::string error;
        const bool none = CreateStreamSource(settings, &error) == nullptr;
        return none && !error.empty();
    };
    StreamSettings mpeg = MpegSettings(2, false, 1, 25);
    for (int code : {0, 1, 5}) {
        mpeg.mpegResolutionCode = code;
        EXPECT_TRUE(refused(mpeg)) << "m_resl " << code;
    }
    mpeg.mpegResolutionCode = 2;
    for (int code : {0, 6}) {
        mpeg.mpegFrameRateCode = code;
        EXPECT_TRUE(refused(mpeg)) << "m_fram " << code;
    }
    mpeg.mpegFrameRateCode = 1;
    mpeg.keyFrameInterval = 0;
    EXPECT_TRUE(refused(mpeg));

    StreamSettings jpeg;
    jpeg.group = "jpgx";
    EXPECT_TRUE(refused(jpeg));
    jpeg.group = "jpgn";
    jpeg.jpegQualityCode = 3;
    EXPECT_TRUE(refused(jpeg));
    jpeg.jpegQualityCode = 0;
    jpeg.jpegFramesPerSecond = 0;
    EXPECT_TRUE(refused(jpeg));
}

}  // namespace
}  // namespace darvik::camsim
