// CMpegHttpChannel: the camera channel for the camera's MPEG-4 stream. Before
// each stream it programs the camera's encoder (mode, quality, frame rate,
// resolution), applies the settings and reads them back until they match;
// then it reads the live record stream through a CMpegParser and hands each
// frame to the host, with the MPEG-4 sequence header in front of every key
// frame ("DIVX"; other frames "DIVI"). A watchdog ends the stream when the
// host accepted no frame for twice the stream time-out. After any failure it
// reports the signal lost, waits 3 s and starts over.
//
// Owned by the video capture object; everything but Start/Stop/Restart runs
// on the channel's worker. The HTTP clients are made per attempt on the
// worker's stack; the one in use is registered under m_clientLock so that
// stopping can abort it from the host's thread.
#pragma once

#include <cstdint>

#include "http/HttpClient.h"
#include "video/CBaseCameraChannel.h"
#include "video/IMpegParserClient.h"

namespace brevane {

class CMpegHttpChannel : public CBaseCameraChannel, public IMpegParserClient {
   public:
    static constexpr std::uint32_t kReadBackAttempts = 20;
    static constexpr std::uint32_t kReadBackPauseMs = 500;
    static constexpr std::uint32_t kRetryPauseMs = 3000;
    static constexpr std::uint32_t kInitialReadSize = 8192;

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

    bool Configure();
    bool ReadBack(Web::CHttpClient& client, std::uint32_t quality, std::int32_t frameRate,
                  std::int32_t resolution);
    // True when asked to stop, false when the stream broke or starved.
    bool Stream();

    CRecursiveLock m_clientLock;
    Web::CHttpClient* m_currentClient GUARDED_BY(m_clientLock) = nullptr;
    bool m_aborting GUARDED_BY(m_clientLock) = false;
};

}  // namespace brevane
