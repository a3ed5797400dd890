// CMpegHttpChannel: the camera channel for the camera's MPEG-4 stream. Before
// each stream it programs the camera's encoder (mode, quality, frame rate,
// resolution), applies the settings and reads them back until they match;
// then it reads the live record stream through a CMpegParser and hands each
// frame to the host, with the MPEG-4 sequence header in front of every key
// frame ("DIVX"; other frames "DIVI"). A watchdog ends the stream when the
// host accepted no frame for twice the stream time-out. After any failure it
// logs why, reports the signal lost, waits and starts over: 3 s, doubling
// (at most 60 s) while failures go on; a stream that ends before it
// delivered pictures for 10 s counts as a failure (see RetryPolicy).
//
// Owned by the video capture object; everything but Start/Stop/Restart runs
// on the channel's worker. The HTTP clients are made per attempt on the
// worker's stack; the one in use is registered under m_clientLock so that
// stopping can abort it from the host's thread.
#pragma once

#include <cstdint>
#include <string>

#include "http/HttpClient.h"
#include "video/BaseCameraChannel.h"
#include "video/IMpegParserClient.h"
#include "video/RetryPolicy.h"

namespace brevane {

class CMpegHttpChannel : public CBaseCameraChannel, public IMpegParserClient {
   public:
    static constexpr std::uint32_t kReadBackAttempts = 20;
    static constexpr std::uint32_t kReadBackPauseMs = 500;
    static constexpr std::uint32_t kRetryPauseMs = 3000;

    CMpegHttpChannel(std::uint32_t channelIndex, IDriver* driver,
                     ipcapture::IFrameReceiver* receiver);
    ~CMpegHttpChannel() override;

    bool OnMpegFrame(const std::uint8_t* payload, std::uint32_t size, bool keyFrame) override;

   protected:
    void Run() override;
    void OnStopping() override;
    void OnStarting() override;

   private:
    // Registers a client as the one in use for the scope's life; a client
    // registered while a stop is under way is aborted at once.
    class CurrentClient {
       public:
        CurrentClient(CMpegHttpChannel& channel, Web::CHttpClient& client);
        ~CurrentClient();
        CurrentClient(const CurrentClient&) = delete;
        CurrentClient& operator=(const CurrentClient&) = delete;

       private:
        CMpegHttpChannel& m_channel;
    };

    // Each false with the cause in words. A setting answered with a status
    // outside 200..299 fails the configuration.
    bool Configure(std::string* cause);
    bool ReadBack(Web::CHttpClient& client, std::uint32_t quality, std::int32_t frameRate,
                  std::int32_t resolution, std::string* cause);
    // True when asked to stop, false when the stream broke or starved.
    bool Stream(std::string* cause);

    RetryPolicy m_retry;  // touched only by the worker
    CRecursiveLock m_clientLock;
    Web::CHttpClient* m_currentClient GUARDED_BY(m_clientLock) = nullptr;
    bool m_aborting GUARDED_BY(m_clientLock) = false;
};

}  // namespace brevane
