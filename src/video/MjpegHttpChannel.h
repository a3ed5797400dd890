// CMjpegHttpChannel: the camera channel for motion JPEG over HTTP. Sets the
// camera's JPEG quality, opens the endless JPEG stream of the requested
// picture width, cuts the pictures out with a CJpegAssembler and hands each
// to the host as a "JPEG" frame. Reconnects by itself when the stream breaks:
// after 500 ms, after 5 s once four attempts in a row failed, and ever
// longer (doubling, at most 60 s) while failures go on; a stream that
// breaks before it delivered pictures for 10 s counts as a failure (see
// RetryPolicy). Why an attempt failed is logged (ReportFailure).
//
// Owned by the video capture object; everything but Start/Stop/Restart runs
// on the channel's worker. Stopping aborts the HTTP exchange in progress
// (OnStopping), so a worker blocked on the network returns at once.
#pragma once

#include <cstdint>
#include <string>

#include "http/HttpClient.h"
#include "video/BaseCameraChannel.h"
#include "video/JpegAssembler.h"
#include "video/IJpegReceiver.h"
#include "video/RetryPolicy.h"

namespace brevane {

class CMjpegHttpChannel : public CBaseCameraChannel, public IJpegReceiver {
   public:
    CMjpegHttpChannel(std::uint32_t channelIndex, IDriver* driver,
                      ipcapture::IFrameReceiver* receiver);
    ~CMjpegHttpChannel() override;

    void OnJpegFrame(const std::uint8_t* data, std::uint32_t size) override;

   protected:
    void Run() override;
    void OnStopping() override;
    void OnStarting() override;

   private:
    // False with the cause in words when no stream could be opened.
    bool Connect(std::string* cause);
    // True when asked to end (stop request or refused picture), false when
    // the stream broke; `cause` then says how.
    bool ReadStream(std::string* cause);

    Web::CHttpClient m_http;
    CJpegAssembler m_assembler;
    RetryPolicy m_retry;         // touched only by the worker
    bool m_stopReading = false;  // touched only by the worker
};

}  // namespace brevane
