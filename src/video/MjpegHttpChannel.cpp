#include "video/MjpegHttpChannel.h"

#include "darvik/Contract.h"
#include "core/UserAgent.h"
#include "http/Utils.h"
#include "platform/Platform.h"
#include "video/VideoTables.h"

namespace brevane {
namespace {

// 500 ms before the first attempt and after each of three failures in a row,
// then 5 s, doubling from there (see RetryPolicy).
constexpr RetryPolicy::Schedule kRetrySchedule{500, 3, 5000};

}  // namespace

CMjpegHttpChannel::CMjpegHttpChannel(std::uint32_t channelIndex, IDriver* driver,
                                     ipcapture::IFrameReceiver* receiver)
    : CBaseCameraChannel(channelIndex, driver, receiver),
      m_http(driver->GetDeviceInfo(), kHttpUserAgent),
      m_assembler(this),
      m_retry(kRetrySchedule, RetryPolicy::SeedFor(driver->GetDeviceInfo().address, channelIndex)) {}

CMjpegHttpChannel::~CMjpegHttpChannel() {
    // The worker uses the client and the assembler: end it before they go.
    Stop();
}

void CMjpegHttpChannel::OnStopping() { m_http.Abort(); }

void CMjpegHttpChannel::OnStarting() { m_http.ResetAbort(); }

void CMjpegHttpChannel::Run() {
    SetState(CHANNEL_CONNECTING);
    m_retry.Reset();
    for (;;) {
        if (WaitForStop(m_retry.NextWaitMs())) {
            return;
        }
        std::string cause;
        if (Connect(&cause)) {
            m_stopReading = false;
            SetState(CHANNEL_RUNNING);
            // A new stream: nothing of the last one may join its pictures.
            m_assembler.Reset();
            m_retry.OnConnected();
            const bool askedToEnd = ReadStream(&cause);
            SetState(askedToEnd ? CHANNEL_STOPPED : CHANNEL_SIGNAL_LOST);
            // A picture the host refused ends the stream but is no fault of
            // the camera's: it neither counts nor backs off.
            if (!askedToEnd) {
                m_retry.OnFailure();
            }
        } else {
            m_retry.OnFailure();
        }
        m_http.CloseRequest();
        SetCameraState(false);
        ReportFailure(cause);
    }
}

bool CMjpegHttpChannel::Connect(std::string* cause) {
    const std::string quality =
        Utils::Format("/cgi-bin/set?j_qual=%d", JpegQualityCode(m_params.quality));
    if (!m_http.Request("GET", quality) || !m_http.Request("GET", JpegPathForWidth(m_params.width))) {
        *cause = m_http.DescribeLastFailure();
        return false;
    }
    m_httpStatus = m_http.GetStatusCode();
    if (m_httpStatus != 200) {
        *cause = Web::StatusText(m_httpStatus);
        return false;
    }
    return true;
}

bool CMjpegHttpChannel::ReadStream(std::string* cause) {
    for (;;) {
        if (StopRequested() || m_stopReading) {
            return true;
        }
        const Web::RequestHandle handle = m_http.GetRequestHandle();
        if (!handle) {
            *cause = kStreamEnded;
            return StopRequested();
        }
        // Asks how much is waiting, then works on what the transport holds
        // in place. A failed query or view, or the body's end, ends the
        // stream; one cut short by a stop is the end asked for, not a break.
        std::uint32_t available = 0;
        Web::BodyView view;
        if (!Web::QueryDataAvailable(handle, &available) || !Web::ViewData(handle, &view) ||
            view.Size() == 0) {
            *cause = StreamEndCause(handle);
            return StopRequested();
        }
        m_assembler.Feed(view.first, view.firstSize);
        m_assembler.Feed(view.second, view.secondSize);
        Web::ReleaseData(handle, view.Size());
    }
}

void CMjpegHttpChannel::OnJpegFrame(const std::uint8_t* data, std::uint32_t size) {
    if (StopRequested()) {
        return;  // the rest of the chunk is not handed out any more
    }
    ipcapture::IFrameAllocator* allocator = m_driver->GetFrameAllocator();
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    m_assembler.GetSize(width, height);
    if (allocator == nullptr) {
        return;
    }
    ipcapture::IFrame* frame =
        allocator->AllocateFrame(contract::kFormatJpeg, size, contract::kFrameSourceName);
    if (frame == nullptr) {
        return;
    }
    if (FillFrame(frame, width, height, contract::kFormatJpeg, nullptr, 0, data, size)) {
        if (m_receiver != nullptr && m_receiver->DeliverFrame(frame)) {
            SetCameraState(true);
            if (m_retry.OnPicture(platform::MonotonicMilliseconds())) {
                ForgetFailure();
            }
        } else {
            SetCameraState(false);
            m_stopReading = true;
        }
    }
    allocator->ReleaseFrame(frame);
}

}  // namespace brevane
