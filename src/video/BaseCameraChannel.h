// CBaseCameraChannel: what every camera channel shares, whatever the stream
// format: the worker thread and its stop event, the channel state, the
// stream parameters the host asked for, the time of the last frame the host
// accepted (for the no-frame watchdog) and the camera online/offline lines.
// The concrete channels supply the worker's body (Run) and abort their HTTP
// exchange in OnStopping.
//
// Owned by the video capture object. Start, Stop, Restart and destruction run
// on the host's threads and are serialised by m_controlLock; Run and
// everything it calls run on the worker. Stopping never kills the worker: it
// signals the stop event, lets the channel abort its network call and waits;
// after twice the device time-out it logs one line and keeps waiting, so
// when Stop returns the worker has ended and no frame of this channel can
// reach the host any more. A concrete channel calls Stop() in its own
// destructor, before its members go.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "darvik/HostServices.h"
#include "http/FailureReport.h"
#include "http/HttpClient.h"
#include "core/IDriver.h"
#include "platform/Thread.h"
#include "thread/Event.h"
#include "thread/RecursiveLock.h"
#include "video/ICameraChannel.h"
#include "video/StreamParams.h"

namespace brevane {

class CBaseCameraChannel : public ICameraChannel {
   public:
    CBaseCameraChannel(std::uint32_t channelIndex, IDriver* driver,
                       ipcapture::IFrameReceiver* receiver);
    ~CBaseCameraChannel() override;
    CBaseCameraChannel(const CBaseCameraChannel&) = delete;
    CBaseCameraChannel& operator=(const CBaseCameraChannel&) = delete;

    bool Start(const StreamParams& params) override;
    void Stop() override;
    bool Restart(const StreamParams& params) override;
    std::int32_t GetState() override;
    void SetState(std::int32_t state) override;

    std::uint32_t GetChannelIndex() const { return m_channelIndex; }
    // The parameters of the last Start or Restart.
    StreamParams GetParams() const { return m_params; }

   protected:
    // The worker's body; returns when the stop event is signalled.
    virtual void Run() = 0;
    // Called on the stopping thread after the stop event was signalled and
    // before the wait for the worker: make a blocked network call return.
    virtual void OnStopping() {}
    // Called on the host's thread before a new worker starts (no worker runs
    // then): undo what OnStopping did.
    virtual void OnStarting() {}

    // Logs a change of the camera's reachability, once per change.
    void SetCameraState(bool online);
    // Tells why the channel cannot start or lost its camera ("connection
    // refused", "401 Unauthorized: ...", "stream ended"): a new cause at
    // once, the same cause again through the report throttle. Says nothing
    // for an attempt cut short by a stop.
    void ReportFailure(const std::string& cause);
    // The cause in words of a stream whose read failed or ended: the
    // transport's failure, or "stream ended" when the body just ended.
    static std::string StreamEndCause(const Web::RequestHandle& handle);
    static constexpr const char* kStreamEnded = "stream ended";
    // After a lasting good stream: the next failure is told whatever it is.
    void ForgetFailure() { m_failureReport.Forget(); }
    // Notes that the host just accepted a frame.
    void RecordFrameTime();
    // Milliseconds since the last RecordFrameTime, on a monotonic clock.
    std::uint64_t MillisecondsSinceFrame();

    // True when the worker is asked to end (polled, no waiting).
    bool StopRequested() { return m_stopEvent.Wait(0); }
    // Waits up to timeoutMs for the stop request; true when it came.
    bool WaitForStop(std::uint32_t timeoutMs) { return m_stopEvent.Wait(timeoutMs); }

    // Sets up a host frame in the order the host expects (width, height,
    // size class, data size, format, prepare, buffer) and copies head then
    // body into it. False when the frame offers no buffer.
    static bool FillFrame(ipcapture::IFrame* frame, std::uint32_t width, std::uint32_t height,
                          std::uint32_t format, const std::uint8_t* head, std::uint32_t headSize,
                          const std::uint8_t* body, std::uint32_t bodySize);

    // Set only by the MJPEG channel; touched only by the worker.
    std::uint32_t m_httpStatus = 0;

    const std::uint32_t m_channelIndex;
    IDriver* const m_driver;
    ipcapture::IFrameReceiver* const m_receiver;
    // Written by Start/Restart while no worker runs; read by the worker.
    StreamParams m_params;

   private:
    bool StartWorker() REQUIRES(m_controlLock);
    void StopWorker() REQUIRES(m_controlLock);
    // Cleans up the socket layer when this channel started it.
    void StopNetworking();

    bool m_online = false;  // touched only by the worker
    CFailureReport m_failureReport;

    CRecursiveLock m_stateLock;
    std::int32_t m_channelState GUARDED_BY(m_stateLock) = CHANNEL_STOPPED;

    CRecursiveLock m_timeLock;
    std::uint64_t m_lastFrameTime GUARDED_BY(m_timeLock) = 0;  // monotonic ms

    CRecursiveLock m_controlLock;  // serialises Start, Stop, Restart
    std::unique_ptr<platform::ThreadHandle> m_hThread GUARDED_BY(m_controlLock);
    // The socket layer was started by this channel (Winsock on Windows).
    bool m_networkingStarted GUARDED_BY(m_controlLock) = false;
    CEvent m_stopEvent;
};

}  // namespace brevane
