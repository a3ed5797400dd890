// The live picture of one camera for the console: LatestPicture holds the
// newest JPEG and nothing else, so every viewer takes the newest picture
// when it is ready for one and a slow viewer skips pictures instead of
// queueing them. PreviewMaker turns the frames the module delivers into those
// pictures: JPEG frames are passed on as they are, MPEG-4 frames are decoded
// with libavcodec and every so often encoded as JPEG with libjpeg-turbo.
//
// LatestPicture: Publish from a channel worker thread, Latest and WaitNewer
// from the server's connection threads; guarded by m_mutex.
// PreviewMaker: used by one channel worker thread at a time (the camera
// resets it between channel runs).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/Mutex.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace darvik::console {

struct Picture {
    std::uint64_t serial = 0;  // 1 for the first picture, then counting up
    std::string jpeg;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

class LatestPicture {
   public:
    void Publish(std::string jpeg, std::uint32_t width, std::uint32_t height);
    // The newest picture, null before the first one.
    std::shared_ptr<const Picture> Latest() const;
    // Waits up to timeout for a picture newer than serial; returns the newest
    // picture (which may be the same one on time-out or shutdown), or null.
    std::shared_ptr<const Picture> WaitNewer(std::uint64_t serial, std::chrono::milliseconds timeout) const;
    // Wakes every waiter; used when the console stops or the camera goes.
    void Shutdown();
    bool IsShutDown() const;

   private:
    mutable brevane::Mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::shared_ptr<const Picture> m_latest GUARDED_BY(m_mutex);
    bool m_shutDown GUARDED_BY(m_mutex) = false;
};

class PreviewMaker {
   public:
    explicit PreviewMaker(LatestPicture& target) : m_target(target) {}
    ~PreviewMaker();
    PreviewMaker(const PreviewMaker&) = delete;
    PreviewMaker& operator=(const PreviewMaker&) = delete;

    // Pictures are made at most this often (JPEG frames are only copied; an
    // MPEG-4 picture costs a JPEG encoding).
    static constexpr std::chrono::milliseconds kJpegInterval{80};
    static constexpr std::chrono::milliseconds kMpegInterval{200};

    void OnJpeg(std::span<const std::uint8_t> data, std::uint32_t width, std::uint32_t height);
    // keyFrame: the frame carries the sequence header; decoding starts there.
    void OnMpeg4(std::span<const std::uint8_t> data, bool keyFrame);
    // Forgets the decoder state; the next MPEG-4 frame must be a key frame.
    void Reset();
    // Decoder or encoder complaints so far (a broken frame is skipped).
    std::uint64_t Errors() const { return m_errors; }

   private:
    bool Due(std::chrono::milliseconds interval);
    bool OpenDecoder();
    void EncodeDecoded();

    LatestPicture& m_target;
    std::chrono::steady_clock::time_point m_lastPicture{};
    AVCodecContext* m_decoder = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    void* m_encoder = nullptr;  // tjhandle
    bool m_sawKeyFrame = false;
    std::uint64_t m_errors = 0;
};

}  // namespace darvik::console
