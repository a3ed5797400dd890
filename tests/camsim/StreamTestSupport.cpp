#include "camsim/StreamTestSupport.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "streams/StreamSourceFactory.h"
#include "streams/TestPattern.h"

namespace brevane::test {

using darvik::camsim::CreateStreamSource;
using darvik::camsim::MicrosecondClock;
using darvik::camsim::SteadyMicroseconds;
using darvik::camsim::StreamPiece;
using darvik::camsim::StreamSettings;
using darvik::camsim::StreamSource;
using darvik::camsim::TestPattern;

Drained Drain(StreamSource& source, std::size_t maxPieces) {
    Drained drained;
    for (std::size_t i = 0; i < maxPieces; ++i) {
        StreamPiece piece = source.Next();
        drained.body.insert(drained.body.end(), piece.bytes.begin(), piece.bytes.end());
        drained.ended = piece.end;
        drained.stalled = piece.stall;
        drained.pieces.push_back(std::move(piece));
        if (drained.ended || drained.stalled) {
            break;
        }
    }
    return drained;
}

std::unique_ptr<StreamSource> MakeSource(const StreamSettings& settings, MicrosecondClock clock) {
    std::string error;
    auto source = CreateStreamSource(settings, clock ? std::move(clock) : SteadyMicroseconds, &error);
    EXPECT_NE(source, nullptr) << error;
    return source;
}

namespace {

std::size_t Find(const std::vector<std::uint8_t>& data, std::size_t from, std::string_view what) {
    if (from >= data.size()) {
        return data.size();
    }
    const auto at = std::search(data.begin() + static_cast<std::ptrdiff_t>(from), data.end(), what.begin(), what.end());
    return static_cast<std::size_t>(at - data.begin());
}

}  // namespace

std::vector<Part> SplitMultipart(const std::vector<std::uint8_t>& body, const std::string& boundary) {
    std::vector<Part> parts;
    const std::string delimiter = "--" + boundary + "\r\n";
    std::size_t position = 0;
    while (true) {
        const std::size_t start = Find(body, position, delimiter);
        if (start == body.size()) {
            break;
        }
        Part part;
        part.junkBefore.assign(body.begin() + static_cast<std::ptrdiff_t>(position),
                               body.begin() + static_cast<std::ptrdiff_t>(start));
        const std::size_t headersStart = start + delimiter.size();
        const std::size_t headersEnd = Find(body, headersStart, "\r\n\r\n");
        if (headersEnd == body.size()) {
            break;  // incomplete part at the end
        }
        part.headers.assign(body.begin() + static_cast<std::ptrdiff_t>(headersStart),
                            body.begin() + static_cast<std::ptrdiff_t>(headersEnd));
        const std::string lengthName = "Content-Length: ";
        const std::size_t lengthAt = part.headers.find(lengthName);
        if (lengthAt == std::string::npos) {
            parts.push_back(Part{});
            break;
        }
        const std::size_t length = std::stoul(part.headers.substr(lengthAt + lengthName.size()));
        const std::size_t dataStart = headersEnd + 4;
        if (dataStart + length + 2 > body.size()) {
            break;  // incomplete part at the end
        }
        part.jpeg.assign(body.begin() + static_cast<std::ptrdiff_t>(dataStart),
                         body.begin() + static_cast<std::ptrdiff_t>(dataStart + length));
        if (body[dataStart + length] != '\r' || body[dataStart + length + 1] != '\n') {
            parts.push_back(Part{});
            break;
        }
        parts.push_back(std::move(part));
        position = dataStart + length + 2;
    }
    return parts;
}

std::vector<Record> SplitRecords(const std::vector<std::uint8_t>& body) {
    std::vector<Record> records;
    std::size_t position = 0;
    while (true) {
        const std::size_t start = Find(body, position, "[vgvdbs]");
        if (start == body.size() || start + 280 > body.size()) {
            break;
        }
        const std::size_t end = Find(body, start + 280, "[vgvdbe]");
        if (end == body.size()) {
            break;
        }
        Record record;
        record.junkBefore.assign(body.begin() + static_cast<std::ptrdiff_t>(position),
                                 body.begin() + static_cast<std::ptrdiff_t>(start));
        record.header.assign(body.begin() + static_cast<std::ptrdiff_t>(start),
                             body.begin() + static_cast<std::ptrdiff_t>(start + 280));
        record.lengthField = static_cast<std::uint32_t>(record.header[8]) |
                             static_cast<std::uint32_t>(record.header[9]) << 8 |
                             static_cast<std::uint32_t>(record.header[10]) << 16 |
                             static_cast<std::uint32_t>(record.header[11]) << 24;
        record.payload.assign(body.begin() + static_cast<std::ptrdiff_t>(start + 280),
                              body.begin() + static_cast<std::ptrdiff_t>(end));
        records.push_back(std::move(record));
        position = end + 8;
    }
    return records;
}

std::optional<std::uint32_t> GreyPicture::FrameNumber() const {
    return TestPattern::ReadFrameNumber(luma.data(), static_cast<std::uint32_t>(width),
                                        static_cast<std::uint32_t>(height), width);
}

std::optional<GreyPicture> DecodeJpeg(const std::vector<std::uint8_t>& jpeg) {
    tjhandle decoder = tjInitDecompress();
    if (decoder == nullptr) {
        return std::nullopt;
    }
    GreyPicture picture;
    int subsampling = 0;
    int colourspace = 0;
    std::optional<GreyPicture> result;
    if (tjDecompressHeader3(decoder, jpeg.data(), static_cast<unsigned long>(jpeg.size()), &picture.width,
                            &picture.height, &subsampling, &colourspace) == 0) {
        picture.luma.resize(static_cast<std::size_t>(picture.width) * picture.height);
        if (tjDecompress2(decoder, jpeg.data(), static_cast<unsigned long>(jpeg.size()), picture.luma.data(),
                          picture.width, picture.width, picture.height, TJPF_GRAY, 0) == 0) {
            result = std::move(picture);
        }
    }
    tjDestroy(decoder);
    return result;
}

std::optional<std::pair<int, int>> BaselineSize(const std::vector<std::uint8_t>& jpeg) {
    for (std::size_t i = 0; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            return std::make_pair(jpeg[i + 7] << 8 | jpeg[i + 8], jpeg[i + 5] << 8 | jpeg[i + 6]);
        }
    }
    return std::nullopt;
}

namespace {

std::mutex g_logLock;
std::vector<std::string>* g_logSink = nullptr;  // guarded by g_logLock

void CollectLog(void* /*context*/, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_WARNING) {
        return;
    }
    std::string line(512, '\0');
    const int length = std::vsnprintf(line.data(), line.size(), format, arguments);
    line.resize(length < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(length), line.size() - 1));
    std::lock_guard<std::mutex> guard(g_logLock);
    if (g_logSink != nullptr) {
        g_logSink->push_back(std::move(line));
    }
}

void Receive(AVCodecContext* context, AVFrame* frame, Mpeg4DecodeResult& result) {
    while (true) {
        const int received = avcodec_receive_frame(context, frame);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return;
        }
        if (received < 0) {
            ++result.failedCalls;
            return;
        }
        if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
            result.messages.emplace_back("frame decoded with errors");
        }
        GreyPicture picture;
        picture.width = frame->width;
        picture.height = frame->height;
        picture.luma.resize(static_cast<std::size_t>(frame->width) * frame->height);
        for (int row = 0; row < frame->height; ++row) {
            std::memcpy(picture.luma.data() + static_cast<std::size_t>(row) * frame->width,
                        frame->data[0] + static_cast<std::ptrdiff_t>(row) * frame->linesize[0],
                        static_cast<std::size_t>(frame->width));
        }
        result.pictures.push_back(std::move(picture));
        av_frame_unref(frame);
    }
}

}  // namespace

Mpeg4DecodeResult DecodeMpeg4(const std::vector<std::vector<std::uint8_t>>& packets) {
    Mpeg4DecodeResult result;
    {
        std::lock_guard<std::mutex> guard(g_logLock);
        g_logSink = &result.messages;
    }
    av_log_set_callback(CollectLog);

    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    context->thread_count = 1;
    // Every damage the decoder can see is an error, not concealment.
    context->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_EXPLODE;
    if (avcodec_open2(context, codec, nullptr) < 0) {
        ++result.failedCalls;
    } else {
        for (const auto& data : packets) {
            if (av_new_packet(packet, static_cast<int>(data.size())) < 0) {
                ++result.failedCalls;
                continue;
            }
            std::memcpy(packet->data, data.data(), data.size());
            if (avcodec_send_packet(context, packet) < 0) {
                ++result.failedCalls;
            }
            av_packet_unref(packet);
            Receive(context, frame, result);
        }
        avcodec_send_packet(context, nullptr);
        Receive(context, frame, result);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);

    av_log_set_callback(av_log_default_callback);
    std::lock_guard<std::mutex> guard(g_logLock);
    g_logSink = nullptr;
    return result;
}

std::uint32_t BitReader::Read(int bits) {
    std::uint32_t value = 0;
    for (int i = 0; i < bits; ++i, ++m_position) {
        const std::size_t byte = m_position / 8;
        const std::uint32_t bit = byte < m_size ? (m_data[byte] >> (7 - m_position % 8)) & 1u : 0u;
        value = value << 1 | bit;
    }
    return value;
}

std::optional<VopHeader> ParseVopHeader(const std::vector<std::uint8_t>& vop) {
    auto startCodeAt = [&](std::size_t at, std::uint8_t code) {
        return vop.size() >= at + 8 && vop[at] == 0 && vop[at + 1] == 0 && vop[at + 2] == 1 && vop[at + 3] == code;
    };
    VopHeader header;
    std::size_t at = 0;
    if (startCodeAt(0, 0xB3)) {
        BitReader group(vop.data() + 4, vop.size() - 4);
        const std::uint32_t hours = group.Read(5);
        const std::uint32_t minutes = group.Read(6);
        group.Read(1);
        header.groupSeconds = (hours * 60 + minutes) * 60 + group.Read(6);
        at = 7;  // 18 bits of time code, two flags, stuffing to the byte boundary
    }
    if (!startCodeAt(at, 0xB6)) {
        return std::nullopt;
    }
    BitReader bits(vop.data() + at + 4, vop.size() - at - 4);
    header.codingType = static_cast<int>(bits.Read(2));
    while (bits.Read(1) == 1 && !bits.Exhausted()) {
        ++header.seconds;
    }
    if (bits.Read(1) != 1) {
        return std::nullopt;  // marker
    }
    header.increment = bits.Read(15);
    if (bits.Read(1) != 1 || bits.Read(1) != 1) {
        return std::nullopt;  // marker, vop_coded
    }
    if (header.codingType == 1) {
        bits.Read(1);  // rounding type
    }
    bits.Read(3);  // intra_dc_vlc_thr
    header.quantiser = static_cast<int>(bits.Read(5));
    if (bits.Exhausted()) {
        return std::nullopt;
    }
    return header;
}

}  // namespace brevane::test
