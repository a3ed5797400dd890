#include "video/IPVideoCapture.h"

#include <new>

namespace brevane {

CIPVideoCapture::CIPVideoCapture(ICustomCreator* creator, std::uint32_t channelCount)
    : m_creator(creator), m_channels(channelCount, nullptr) {}

CIPVideoCapture::~CIPVideoCapture() {
    const std::uint32_t count = GetChannelCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        StopChannel(index);
    }
}

std::uint32_t CIPVideoCapture::GetChannelCount() {
    CLockGuard guard(m_lock);
    return static_cast<std::uint32_t>(m_channels.size());
}

void CIPVideoCapture::StopAndDestroy(ICameraChannel* channel) {
    channel->Stop();
    delete channel;
}

bool CIPVideoCapture::StartChannel(std::uint32_t index, ipcapture::IFrameReceiver* receiver,
                                   ipcapture::IStreamSettings* settings) {
    if (index >= GetChannelCount()) {
        return false;
    }
    StopChannel(index);

    ICameraChannel* channel = nullptr;
    try {
        if (m_creator != nullptr) {
            channel = m_creator->CreateChannel(index, receiver);
        }
    } catch (...) {
        // Out of memory while building the channel: as if none was made.
        channel = nullptr;
    }
    if (channel == nullptr) {
        // No channel class for the driver's stream type: nothing to start.
        return true;
    }

    StreamParams params;
    if (settings != nullptr) {
        ipcapture::IEncodingSettings* encoding = settings->GetEncoding();
        if (encoding != nullptr) {
            params.frameInterval = encoding->GetFrameInterval();
        }
        encoding = settings->GetEncoding();
        if (encoding != nullptr) {
            params.quality = encoding->GetQuality();
        }
        ipcapture::IVideoFormat* format = settings->GetVideoFormat();
        ipcapture::IResolution* resolution = format != nullptr ? format->GetResolution() : nullptr;
        if (resolution != nullptr) {
            params.width = resolution->GetWidth();
        }
        format = settings->GetVideoFormat();
        resolution = format != nullptr ? format->GetResolution() : nullptr;
        if (resolution != nullptr) {
            params.height = resolution->GetHeight();
        }
    }

    const bool started = channel->Start(params);

    // The channel takes its slot even when its worker did not start, so its
    // state stays visible until the host stops it.
    ICameraChannel* displaced = nullptr;
    {
        CLockGuard guard(m_lock);
        displaced = m_channels[index];
        m_channels[index] = channel;
    }
    if (displaced != nullptr) {
        // Another host thread started this index meanwhile; keep the newer
        // channel and end the other instead of losing it with its worker.
        StopAndDestroy(displaced);
    }
    return started;
}

bool CIPVideoCapture::StopChannel(std::uint32_t index) {
    ICameraChannel* channel = nullptr;
    {
        CLockGuard guard(m_lock);
        if (index < m_channels.size()) {
            channel = m_channels[index];
            m_channels[index] = nullptr;
        }
    }
    if (channel == nullptr) {
        return false;
    }
    StopAndDestroy(channel);
    return true;
}

bool CIPVideoCapture::RestartChannel(std::uint32_t index, ipcapture::IResolution* resolution,
                                     std::uint32_t frameIntervalMs) {
    ICameraChannel* channel = nullptr;
    {
        CLockGuard guard(m_lock);
        if (index < m_channels.size()) {
            channel = m_channels[index];
        }
    }
    if (channel == nullptr) {
        return false;
    }
    StreamParams params;
    params.frameInterval = frameIntervalMs;
    params.quality = 0;
    if (resolution != nullptr) {
        params.width = resolution->GetWidth();
        params.height = resolution->GetHeight();
    }
    return channel->Restart(params);
}

std::int32_t CIPVideoCapture::GetExtension() { return 0; }

bool CIPVideoCapture::GetChannelStatus(std::uint32_t index, std::int32_t* state,
                                       std::int32_t* detail, char* text, std::uint32_t textSize) {
    if (detail != nullptr) {
        *detail = 0;
    }
    if (textSize > 0 && text != nullptr) {
        text[0] = '\0';
    }
    // The state is read while the slot is held, so a concurrent StopChannel
    // cannot destroy the channel under the call (GetState only takes the
    // channel's own state lock).
    CLockGuard guard(m_lock);
    if (index >= m_channels.size() || m_channels[index] == nullptr) {
        return false;
    }
    const std::int32_t channelState = m_channels[index]->GetState();
    if (state != nullptr) {
        *state = channelState;
    }
    return true;
}

bool CIPVideoCapture::Unsupported7(std::int32_t, std::int32_t, std::int32_t) { return false; }
bool CIPVideoCapture::Unsupported8(std::int32_t, std::int32_t, std::int32_t) { return false; }

}  // namespace brevane
