#include "video/MpegHttpChannel.h"

#include <string>
#include <vector>

#include "darvik/Contract.h"
#include "core/UserAgent.h"
#include "http/Utils.h"
#include "platform/Platform.h"
#include "video/MpegParser.h"
#include "video/SequenceHeader.h"
#include "video/VideoTables.h"

namespace brevane {
namespace {

// 3 s after the first failure, then doubling (see RetryPolicy).
constexpr RetryPolicy::Schedule kRetrySchedule{CMpegHttpChannel::kRetryPauseMs, 1,
                                               2 * CMpegHttpChannel::kRetryPauseMs};

// One request: false with the cause when no answer came or the
// camera did not take it (a status outside 200..299).
bool RequestAnswered(Web::CHttpClient& client, const std::string& path, std::string* cause) {
    if (client.Request("GET", path) && client.GetStatusCode() / 100 == 2) {
        return true;
    }
    *cause = client.DescribeLastFailure();
    return false;
}

// The reply text up to its first zero byte.
std::string ReplyText(const std::vector<std::uint8_t>& reply) {
    std::string text(reply.begin(), reply.end());
    const std::size_t end = text.find('\0');
    if (end != std::string::npos) {
        text.resize(end);
    }
    return text;
}

}  // namespace

CMpegHttpChannel::CurrentClient::CurrentClient(CMpegHttpChannel& channel, Web::CHttpClient& client)
    : m_channel(channel) {
    CLockGuard guard(m_channel.m_clientLock);
    m_channel.m_currentClient = &client;
    if (m_channel.m_aborting) {
        client.Abort();
    }
}

CMpegHttpChannel::CurrentClient::~CurrentClient() {
    CLockGuard guard(m_channel.m_clientLock);
    m_channel.m_currentClient = nullptr;
}

CMpegHttpChannel::CMpegHttpChannel(std::uint32_t channelIndex, IDriver* driver,
                                   ipcapture::IFrameReceiver* receiver)
    : CBaseCameraChannel(channelIndex, driver, receiver),
      m_retry(kRetrySchedule, RetryPolicy::SeedFor(driver->GetDeviceInfo().address, channelIndex)) {}

CMpegHttpChannel::~CMpegHttpChannel() {
    // The worker reaches this object through the parser: end it first.
    Stop();
}

void CMpegHttpChannel::OnStopping() {
    CLockGuard guard(m_clientLock);
    m_aborting = true;
    if (m_currentClient != nullptr) {
        m_currentClient->Abort();
    }
}

void CMpegHttpChannel::OnStarting() {
    CLockGuard guard(m_clientLock);
    m_aborting = false;
}

void CMpegHttpChannel::Run() {
    SetState(CHANNEL_CONNECTING);
    m_retry.Reset();
    for (;;) {
        bool askedToStop = false;
        std::string cause;
        if (Configure(&cause)) {
            SetState(CHANNEL_RUNNING);
            m_retry.OnConnected();
            askedToStop = Stream(&cause);
        }
        // An attempt that failed because a stop cut its exchange short is a
        // stop, not a lost signal.
        if (StopRequested()) {
            askedToStop = true;
            SetState(CHANNEL_STOPPED);
        }
        SetCameraState(false);
        if (askedToStop) {
            break;
        }
        ReportFailure(cause);
        m_retry.OnFailure();
        SetState(CHANNEL_SIGNAL_LOST);
        if (m_receiver != nullptr) {
            m_receiver->OnSignalLost();
        }
        if (WaitForStop(m_retry.NextWaitMs())) {
            break;
        }
    }
    SetState(CHANNEL_STOPPED);
}

bool CMpegHttpChannel::Configure(std::string* cause) {
    Web::CHttpClient client(m_driver->GetDeviceInfo(), kHttpUserAgent);
    const CurrentClient current(*this, client);

    if (!RequestAnswered(client, Utils::Format("cgi-bin/set?m_mode=%d", 0), cause)) {
        return false;
    }
    const std::uint32_t quality = MpegQualityValue(m_params.quality);
    if (!RequestAnswered(client, Utils::Format("cgi-bin/set?m_qual=%u", quality), cause)) {
        return false;
    }
    const bool ntsc = m_driver->IsNtsc() != 0;
    const auto frameRate = FindFrameRateCode(ntsc, m_params.frameInterval);
    const auto resolution = FindResolutionCode(ntsc, m_params.width, m_params.height);
    if (!frameRate) {
        *cause = Utils::Format("the camera has no frame rate for a frame interval of %u ms",
                               static_cast<unsigned>(m_params.frameInterval));
        return false;
    }
    if (!resolution) {
        *cause = Utils::Format("the camera has no resolution %ux%u",
                               static_cast<unsigned>(m_params.width),
                               static_cast<unsigned>(m_params.height));
        return false;
    }
    if (!RequestAnswered(client, Utils::Format("cgi-bin/set?m_fram=%d", *frameRate), cause) ||
        !RequestAnswered(client, Utils::Format("cgi-bin/set?m_resl=%d", *resolution), cause)) {
        return false;
    }
    client.Request("GET", "cgi-bin/set?r_appl=1");
    return ReadBack(client, quality, *frameRate, *resolution, cause);
}

bool CMpegHttpChannel::ReadBack(Web::CHttpClient& client, std::uint32_t quality,
                                std::int32_t frameRate, std::int32_t resolution,
                                std::string* cause) {
    const std::string wantQuality = std::to_string(quality);
    const std::string wantFrameRate = std::to_string(frameRate);
    const std::string wantResolution = std::to_string(resolution);
    std::vector<std::uint8_t> reply;
    for (std::uint32_t attempt = 1; attempt <= kReadBackAttempts; ++attempt) {
        // Failures are expected while the camera applies the settings: no sink.
        Utils::SendRequestEx("cgi-bin/get?mpg", reply, client, nullptr);
        const bool stop = WaitForStop(kReadBackPauseMs);
        const std::string text = ReplyText(reply);
        if (text.empty()) {
            if (attempt < kReadBackAttempts && !stop) {
                continue;
            }
            *cause = client.GetLastFailure() == Web::Failure::None
                         ? std::string("no usable answer to the encoder settings read-back")
                         : client.DescribeLastFailure();
            return false;
        }
        const bool taken = Utils::GetParameter("m_qual", ":", text, "\r\n") == wantQuality &&
                           Utils::GetParameter("m_fram", ":", text, "\r\n") == wantFrameRate &&
                           Utils::GetParameter("m_resl", ":", text, "\r\n") == wantResolution;
        if (!taken) {
            *cause = "the camera reports other encoder settings than were set";
        }
        return taken;
    }
    return false;
}

bool CMpegHttpChannel::Stream(std::string* cause) {
    Web::CHttpClient client(m_driver->GetDeviceInfo(), kHttpUserAgent);
    const CurrentClient current(*this, client);
    if (!RequestAnswered(client, "cgi-bin/get?liv", cause)) {
        return false;
    }
    // The watchdog counts from the start of the stream.
    RecordFrameTime();
    CMpegParser parser(this);
    // Measured in 64 bits: twice a large time-out must not wrap.
    const std::uint64_t starved = 2ull * m_driver->GetDeviceInfo().streamTimeout;
    for (;;) {
        const Web::RequestHandle handle = client.GetRequestHandle();
        if (!handle) {
            *cause = kStreamEnded;
            return false;
        }
        // Asks how much is waiting, then works on what the transport holds
        // in place; a failed query or view, or the body's end, ends the
        // stream.
        std::uint32_t available = 0;
        Web::BodyView view;
        if (!Web::QueryDataAvailable(handle, &available) || available == 0 ||
            !Web::ViewData(handle, &view) || view.Size() == 0) {
            *cause = StreamEndCause(handle);
            return false;
        }
        parser.Feed(view.first, view.firstSize);
        parser.Feed(view.second, view.secondSize);
        Web::ReleaseData(handle, view.Size());
        if (MillisecondsSinceFrame() > starved) {
            *cause = Utils::Format("no picture accepted for %llu ms",
                                   static_cast<unsigned long long>(starved));
            return false;
        }
        if (StopRequested()) {
            return true;
        }
    }
}

bool CMpegHttpChannel::OnMpegFrame(const std::uint8_t* payload, std::uint32_t size, bool keyFrame) {
    if (StopRequested()) {
        return false;  // the rest of the chunk is not handed out any more
    }
    ipcapture::IFrameAllocator* allocator = m_driver->GetFrameAllocator();
    if (allocator == nullptr || m_receiver == nullptr || payload == nullptr) {
        return false;
    }
    std::array<std::uint8_t, kSequenceHeaderSize> header{};
    std::uint32_t headerSize = 0;
    std::uint32_t format = contract::kFormatDivi;
    if (keyFrame) {
        header = BuildSequenceHeader(m_params.width, m_params.height);
        headerSize = static_cast<std::uint32_t>(header.size());
        format = contract::kFormatDivx;
    }
    const std::uint32_t dataSize = headerSize + size;
    ipcapture::IFrame* frame =
        allocator->AllocateFrame(format, FrameAllocationSize(dataSize), contract::kFrameSourceName);
    if (frame == nullptr) {
        return false;
    }
    bool accepted = false;
    if (FillFrame(frame, m_params.width, m_params.height, format, header.data(), headerSize, payload,
                  size)) {
        accepted = m_receiver->DeliverFrame(frame);
        if (accepted) {
            RecordFrameTime();
            SetCameraState(true);
            if (m_retry.OnPicture(platform::MonotonicMilliseconds())) {
                ForgetFailure();
            }
        }
    }
    allocator->ReleaseFrame(frame);
    return accepted;
}

}  // namespace brevane
