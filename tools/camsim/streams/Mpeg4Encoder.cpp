#include "streams/Mpeg4Encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <algorithm>

namespace darvik::camsim {
namespace {

constexpr std::uint8_t kGovStartCode = 0xB3;
constexpr std::uint8_t kVopStartCode = 0xB6;

// The first group-of-VOP or VOP start code in [data, end), or end.
const std::uint8_t* FindPictureStart(const std::uint8_t* data, const std::uint8_t* end) {
    for (const std::uint8_t* at = data; end - at >= 4; ++at) {
        if (at[0] == 0 && at[1] == 0 && at[2] == 1 && (at[3] == kGovStartCode || at[3] == kVopStartCode)) {
            return at;
        }
    }
    return end;
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

}  // namespace

Mpeg4Encoder::~Mpeg4Encoder() {
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_context);
}

bool Mpeg4Encoder::Open(const Mpeg4EncoderSettings& settings, std::string* error) {
    m_settings = settings;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr) {
        *error = "MPEG-4 encoder: not in this libavcodec";
        return false;
    }
    m_context = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (m_context == nullptr || m_frame == nullptr || m_packet == nullptr) {
        *error = "MPEG-4 encoder: out of memory";
        return false;
    }
    // The codec's own messages would go to stderr; failures come back as
    // results, so keep it quiet.
    m_context->log_level_offset = AV_LOG_DEBUG;

    m_context->width = static_cast<int>(settings.width);
    m_context->height = static_cast<int>(settings.height);
    m_context->pix_fmt = AV_PIX_FMT_YUV420P;
    m_context->sample_aspect_ratio = AVRational{1, 1};
    // vop_time_increment_resolution 30000: 15-bit time increments.
    m_context->time_base = AVRational{1, 30000};
    m_context->framerate = AVRational{30000, static_cast<int>(settings.ticksPerFrame)};
    m_context->gop_size = static_cast<int>(std::max<std::uint32_t>(1, settings.keyFrameInterval));
    m_context->max_b_frames = 0;  // low delay: I and P planes only
    // Several threads would split pictures into slices with resync markers.
    m_context->thread_count = 1;
    // Sequence headers into extradata, not in front of key frames; fixed quantiser.
    m_context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_QSCALE;
    m_context->global_quality = std::clamp(settings.quantiser, 2, 31) * FF_QP2LAMBDA;
    av_opt_set_int(m_context->priv_data, "mpeg_quant", 0, 0);         // H.263 quantisation
    av_opt_set_int(m_context->priv_data, "data_partitioning", 0, 0);
    av_opt_set_int(m_context->priv_data, "sc_threshold", 1000000000, 0);  // key frames only when asked

    const int opened = avcodec_open2(m_context, codec, nullptr);
    if (opened < 0) {
        *error = "MPEG-4 encoder: " + AvError(opened);
        return false;
    }

    m_frame->format = AV_PIX_FMT_YUV420P;
    m_frame->width = m_context->width;
    m_frame->height = m_context->height;
    const int allocated = av_frame_get_buffer(m_frame, 0);
    if (allocated < 0) {
        *error = "MPEG-4 encoder: " + AvError(allocated);
        return false;
    }
    return true;
}

bool Mpeg4Encoder::Encode(std::uint64_t frameIndex, const std::function<void(const YuvPlanes&)>& render,
                          std::vector<std::uint8_t>& vop, bool& keyFrame) {
    if (m_context == nullptr || m_frame == nullptr || av_frame_make_writable(m_frame) < 0) {
        return false;
    }
    YuvPlanes planes;
    planes.y = m_frame->data[0];
    planes.u = m_frame->data[1];
    planes.v = m_frame->data[2];
    planes.yStride = m_frame->linesize[0];
    planes.uvStride = m_frame->linesize[1];
    render(planes);

    m_frame->pts = static_cast<std::int64_t>(frameIndex * m_settings.ticksPerFrame);
    const bool wantKey = frameIndex % std::max<std::uint32_t>(1, m_settings.keyFrameInterval) == 0;
    m_frame->pict_type = wantKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    m_frame->key_frame = wantKey ? 1 : 0;
    m_frame->quality = m_context->global_quality;
    if (avcodec_send_frame(m_context, m_frame) < 0) {
        return false;
    }
    // Without B-frames every picture comes out at once, as one packet.
    if (avcodec_receive_packet(m_context, m_packet) < 0) {
        return false;
    }
    const std::uint8_t* data = m_packet->data;
    const std::uint8_t* end = data + m_packet->size;
    // Intra planes come with a group-of-VOP header in front (its time code
    // anchors the plane's time stamp); anything before that would be a
    // sequence header, which the driver supplies itself.
    const std::uint8_t* start = FindPictureStart(data, end);
    const bool ok = start != end;
    if (ok) {
        vop.assign(start, end);
        keyFrame = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
    }
    av_packet_unref(m_packet);
    return ok;
}

std::vector<std::uint8_t> Mpeg4Encoder::Extradata() const {
    if (m_context == nullptr || m_context->extradata == nullptr) {
        return {};
    }
    return {m_context->extradata, m_context->extradata + m_context->extradata_size};
}

}  // namespace darvik::camsim
