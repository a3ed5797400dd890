#include "video/BaseCameraChannel.h"

#include <algorithm>
#include <cstring>

#include "core/Text.h"
#include "platform/Network.h"
#include "platform/Platform.h"
#include "video/VideoTables.h"

namespace brevane {
namespace {

constexpr const char* kSetCameraState = "brevane::CBaseCameraChannel::SetCameraState";
constexpr const char* kStop = "brevane::CBaseCameraChannel::Stop";
constexpr const char* kReportFailure = "brevane::CBaseCameraChannel::ReportFailure";

}  // namespace

CBaseCameraChannel::CBaseCameraChannel(std::uint32_t channelIndex, IDriver* driver,
                                       ipcapture::IFrameReceiver* receiver)
    : m_channelIndex(channelIndex), m_driver(driver), m_receiver(receiver) {
    m_stopEvent.Create();
}

CBaseCameraChannel::~CBaseCameraChannel() {
    // The concrete channel has stopped the worker already (its members are
    // gone by now); this only covers a channel that was never started.
    SetState(CHANNEL_STOPPED);
    StopWorker();
    StopNetworking();
    m_stopEvent.Close();
}

bool CBaseCameraChannel::Start(const StreamParams& params) {
    CLockGuard guard(m_controlLock);
    Stop();
    m_params = params;
    // A failed start-up is no reason not to try: the client reports what
    // then fails.
    if (!m_networkingStarted) {
        m_networkingStarted = platform::StartNetworking();
    }
    if (!StartWorker()) {
        StopNetworking();
        return false;
    }
    return true;
}

void CBaseCameraChannel::Stop() {
    CLockGuard guard(m_controlLock);
    SetState(CHANNEL_STOPPED);
    StopWorker();
    // The worker may have written its last state after the one above.
    SetState(CHANNEL_STOPPED);
    StopNetworking();
}

void CBaseCameraChannel::StopNetworking() {
    CLockGuard guard(m_controlLock);
    if (m_networkingStarted) {
        platform::StopNetworking();
        m_networkingStarted = false;
    }
}

bool CBaseCameraChannel::Restart(const StreamParams& params) {
    CLockGuard guard(m_controlLock);
    SetState(CHANNEL_STOPPED);
    StopWorker();
    SetState(CHANNEL_STOPPED);
    // The host's restart carries no quality: the previous one stays. The
    // parameters change only now that no worker reads them.
    m_params.frameInterval = params.frameInterval;
    m_params.width = params.width;
    m_params.height = params.height;
    return StartWorker();
}

std::int32_t CBaseCameraChannel::GetState() {
    CLockGuard guard(m_stateLock);
    return m_channelState;
}

void CBaseCameraChannel::SetState(std::int32_t state) {
    CLockGuard guard(m_stateLock);
    m_channelState = state;
}

bool CBaseCameraChannel::StartWorker() {
    OnStarting();
    m_stopEvent.Reset();
    try {
        m_hThread = platform::ThreadHandle::Start([this] { Run(); });
    } catch (...) {
        m_hThread.reset();
    }
    return m_hThread != nullptr;
}

void CBaseCameraChannel::StopWorker() {
    m_stopEvent.Set();
    if (!m_hThread) {
        return;
    }
    OnStopping();
    const DEVICE_INFO device = m_driver->GetDeviceInfo();
    const std::uint64_t limit = std::min<std::uint64_t>(2ull * device.timeout, platform::kInfinite - 1);
    if (!m_hThread->Wait(static_cast<std::uint32_t>(limit))) {
        // The worker can only be inside a call to the host now. It is never
        // killed: the channel waits, so nothing it uses goes away under it.
        m_driver->DebugMessage(kLevelFailure,
                               "%s: Channel %u of camera %s did not stop within %u ms; waiting for it",
                               kStop, m_channelIndex, device.address.c_str(),
                               static_cast<unsigned>(limit));
        m_hThread->Wait(platform::kInfinite);
    }
    m_hThread.reset();
}

void CBaseCameraChannel::SetCameraState(bool online) {
    if (online == m_online) {
        return;
    }
    m_online = online;
    const DEVICE_INFO device = m_driver->GetDeviceInfo();
    const char* address = device.address.c_str();
    if (online) {
        m_driver->DebugMessage(kLevelState, "%s: Camera %s is online", kSetCameraState, address);
        return;
    }
    const std::int32_t state = GetState();
    if (state == CHANNEL_STOPPED) {
        m_driver->DebugMessage(kLevelState, "%s: Camera %s is offline. Channel was stopped",
                               kSetCameraState, address);
    } else if (state == CHANNEL_SIGNAL_LOST) {
        m_driver->DebugMessage(kLevelFailure, "%s: Signal was lost for camera %s (channel %u)",
                               kSetCameraState, address, m_channelIndex);
    } else if (m_httpStatus != 0) {
        m_driver->DebugMessage(kLevelFailure, "%s: Camera %s is offline or failed, HTTP error code %u",
                               kSetCameraState, address, m_httpStatus);
    } else {
        m_driver->DebugMessage(kLevelFailure, "%s: Camera %s is offline or failed", kSetCameraState,
                               address);
    }
}

void CBaseCameraChannel::ReportFailure(const std::string& cause) {
    if (cause.empty() || StopRequested()) {
        return;
    }
    const DEVICE_INFO device = m_driver->GetDeviceInfo();
    const std::string line =
        Text::Format("%s: Camera %s:%u (channel %u) failed: %s", kReportFailure,
                     device.address.c_str(), static_cast<unsigned>(device.port), m_channelIndex,
                     cause.c_str());
    m_failureReport.Report(m_driver, cause, line);
}

std::string CBaseCameraChannel::StreamEndCause(const Web::RequestHandle& handle) {
    const Web::ResponseStats stats = Web::GetResponseStats(handle);
    if (stats.complete || stats.failure == Web::Failure::None) {
        return kStreamEnded;
    }
    return Web::DescribeFailure(stats.failure, 0);
}

void CBaseCameraChannel::RecordFrameTime() {
    const std::uint64_t now = platform::MonotonicMilliseconds();
    CLockGuard guard(m_timeLock);
    m_lastFrameTime = now;
}

std::uint64_t CBaseCameraChannel::MillisecondsSinceFrame() {
    std::uint64_t last = 0;
    {
        CLockGuard guard(m_timeLock);
        last = m_lastFrameTime;
    }
    const std::uint64_t now = platform::MonotonicMilliseconds();
    return now > last ? now - last : 0;
}

bool CBaseCameraChannel::FillFrame(ipcapture::IFrame* frame, std::uint32_t width,
                                   std::uint32_t height, std::uint32_t format,
                                   const std::uint8_t* head, std::uint32_t headSize,
                                   const std::uint8_t* body, std::uint32_t bodySize) {
    frame->SetWidth(width);
    frame->SetHeight(height);
    frame->SetSizeClass(SizeClassFor(width, height));
    frame->SetDataSize(headSize + bodySize);
    frame->SetFormat(format);
    frame->PrepareBuffer();
    std::uint8_t* buffer = frame->GetBuffer();
    if (buffer == nullptr) {
        return false;
    }
    if (headSize > 0) {
        std::memcpy(buffer, head, headSize);
    }
    if (bodySize > 0) {
        std::memcpy(buffer + headSize, body, bodySize);
    }
    return true;
}

}  // namespace brevane
