#include "console/Preview.h"

#include <turbojpeg.h>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace darvik::console {

void LatestPicture::Publish(std::string jpeg, std::uint32_t width, std::uint32_t height) {
    auto picture = std::make_shared<Picture>();
    picture->jpeg = std::move(jpeg);
    picture->width = width;
    picture->height = height;
    {
        brevane::MutexLock lock(m_mutex);
        picture->serial = m_latest ? m_latest->serial + 1 : 1;
        m_latest = std::move(picture);
    }
    m_changed.notify_all();
}

std::shared_ptr<const Picture> LatestPicture::Latest() const {
    brevane::MutexLock lock(m_mutex);
    return m_latest;
}

std::shared_ptr<const Picture> LatestPicture::WaitNewer(std::uint64_t serial, std::chrono::milliseconds timeout) const {
    brevane::UniqueMutexLock lock(m_mutex);
    m_changed.wait_for(lock.Native(), timeout,
                       [&]() REQUIRES(m_mutex) { return m_shutDown || (m_latest && m_latest->serial > serial); });
    return m_latest;
}

void LatestPicture::Shutdown() {
    {
        brevane::MutexLock lock(m_mutex);
        m_shutDown = true;
    }
    m_changed.notify_all();
}

bool LatestPicture::IsShutDown() const {
    brevane::MutexLock lock(m_mutex);
    return m_shutDown;
}

PreviewMaker::~PreviewMaker() {
    Reset();
    if (m_encoder != nullptr) {
        tjDestroy(m_encoder);
    }
}

bool PreviewMaker::Due(std::chrono::milliseconds interval) {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastPicture < interval) {
        return false;
    }
    m_lastPicture = now;
    return true;
}

void PreviewMaker::OnJpeg(std::span<const std::uint8_t> data, std::uint32_t width, std::uint32_t height) {
    if (data.empty() || !Due(kJpegInterval)) {
        return;
    }
    m_target.Publish(std::string(reinterpret_cast<const char*>(data.data()), data.size()), width, height);
}

bool PreviewMaker::OpenDecoder() {
    if (m_decoder != nullptr) {
        return true;
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr) {
        return false;
    }
    m_decoder = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (m_decoder == nullptr || m_frame == nullptr || m_packet == nullptr) {
        Reset();
        return false;
    }
    m_decoder->thread_count = 1;  // decoded on the channel's own thread
    if (avcodec_open2(m_decoder, codec, nullptr) < 0) {
        Reset();
        return false;
    }
    return true;
}

void PreviewMaker::OnMpeg4(std::span<const std::uint8_t> data, bool keyFrame) {
    // Every frame is decoded (the next one depends on it); only some become
    // pictures.
    m_sawKeyFrame = m_sawKeyFrame || keyFrame;
    if (data.empty() || !m_sawKeyFrame || !OpenDecoder()) {
        return;
    }
    if (av_new_packet(m_packet, static_cast<int>(data.size())) < 0) {
        ++m_errors;
        return;
    }
    std::memcpy(m_packet->data, data.data(), data.size());
    const int sent = avcodec_send_packet(m_decoder, m_packet);
    av_packet_unref(m_packet);
    if (sent < 0) {
        ++m_errors;
        return;
    }
    while (avcodec_receive_frame(m_decoder, m_frame) == 0) {
        if (Due(kMpegInterval)) {
            EncodeDecoded();
        }
        av_frame_unref(m_frame);
    }
}

void PreviewMaker::EncodeDecoded() {
    if (m_frame->format != AV_PIX_FMT_YUV420P && m_frame->format != AV_PIX_FMT_YUVJ420P) {
        ++m_errors;
        return;
    }
    if (m_encoder == nullptr && (m_encoder = tjInitCompress()) == nullptr) {
        ++m_errors;
        return;
    }
    const unsigned char* planes[3] = {m_frame->data[0], m_frame->data[1], m_frame->data[2]};
    const int strides[3] = {m_frame->linesize[0], m_frame->linesize[1], m_frame->linesize[2]};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompressFromYUVPlanes(m_encoder, planes, m_frame->width, strides, m_frame->height, TJSAMP_420, &jpeg,
                                &size, 75, TJFLAG_FASTDCT) != 0) {
        ++m_errors;
        tjFree(jpeg);
        return;
    }
    m_target.Publish(std::string(reinterpret_cast<const char*>(jpeg), size), static_cast<std::uint32_t>(m_frame->width),
                     static_cast<std::uint32_t>(m_frame->height));
    tjFree(jpeg);
}

void PreviewMaker::Reset() {
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_decoder);
    m_sawKeyFrame = false;
}

}  // namespace darvik::console
