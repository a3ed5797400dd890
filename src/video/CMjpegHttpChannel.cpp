#include "video/CMjpegHttpChannel.h"

#include <vector>

#include "darvik/Contract.h"
#include "http/Utils.h"
#include "video/VideoTables.h"

namespace brevane {
namespace {

constexpr const char* kUserAgent = "Brevane::HttpClient";
constexpr std::uint32_t kQuickRetryMs = 500;
constexpr std::uint32_t kSlowRetryMs = 5000;
// Failed attempts in a row after which retries slow down.
constexpr std::uint32_t kQuickRetries = 3;

}  // namespace

CMjpegHttpChannel::CMjpegHttpChannel(std::uint32_t channelIndex, IDriver* driver,
                                     ipcapture::IFrameReceiver* receiver)
    : CBaseCameraChannel(channelIndex, driver, receiver),
      m_http(driver->GetDeviceInfo(), kUserAgent),
      m_assembler(this) {}

CMjpegHttpChannel::~CMjpegHttpChannel() {
    // The worker uses the client and the assembler: end it before they go.
    Stop();
}

void CMjpegHttpChannel::OnStopping() { m_http.Abort(); }

void CMjpegHttpChannel::OnStarting() { m_http.ResetAbort(); }

void CMjpegHttpChannel::Run() {
    SetState(CHANNEL_CONNECTING);
    std::uint32_t failures = 0;
    std::uint32_t waitMs = kQuickRetryMs;
    for (;;) {
        if (WaitForStop(waitMs)) {
            return;
        }
        if (Connect()) {
            m_stopReading = false;
            SetState(CHANNEL_RUNNING);
            // A new stream: nothing of the last one may join its pictures.
            m_assembler.Reset();
            const bool askedToEnd = ReadStream();
            SetState(askedToEnd ? CHANNEL_STOPPED : CHANNEL_SIGNAL_LOST);
            failures = 0;
        }
        m_http.CloseRequest();
        SetCameraState(false);
        ++failures;
        waitMs = failures > kQuickRetries ? kSlowRetryMs : kQuickRetryMs;
    }
}

bool CMjpegHttpChannel::Connect() {
    const std::string quality =
        Utils::Format("/cgi-bin/set?j_qual=%d", JpegQualityCode(m_params.quality));
    if (!m_http.Request("GET", quality)) {
        return false;
    }
    if (!m_http.Request("GET", JpegPathForWidth(m_params.width))) {
        return false;
    }
    m_httpStatus = m_http.GetStatusCode();
    return m_httpStatus == 200;
}

bool CMjpegHttpChannel::ReadStream() {
    std::vector<std::uint8_t> buffer(kInitialReadSize);
    for (;;) {
        if (StopRequested() || m_stopReading) {
            return true;
        }
        Web::RequestHandle handle = m_http.GetRequestHandle();
        std::uint32_t available = 0;
        if (handle && !Web::QueryDataAvailable(handle, &available)) {
            available = 0;
        }
        if (available > buffer.size()) {
            buffer.resize(available);
        }
        handle = m_http.GetRequestHandle();
        if (!handle) {
            return StopRequested();
        }
        std::uint32_t read = 0;
        if (!Web::ReadData(handle, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &read) ||
            read == 0) {
            // A read cut short by a stop is the end asked for, not a break.
            return StopRequested();
        }
        m_assembler.Feed(buffer.data(), read);
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
        } else {
            SetCameraState(false);
            m_stopReading = true;
        }
    }
    allocator->ReleaseFrame(frame);
}

}  // namespace brevane
