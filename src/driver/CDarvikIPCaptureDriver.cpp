#include "driver/CDarvikIPCaptureDriver.h"

#include <cstdint>
#include <limits>
#include <new>

#include "io/CDarvikDigitalIO.h"
#include "ptz/DarvikPTZHandler.h"
#include "video/CMjpegHttpChannel.h"
#include "video/CMpegHttpChannel.h"

namespace brevane {

bool CDarvikIPCaptureDriver::Open(ipcapture::IMessageSink* sink,
                                  ipcapture::IFrameAllocator* allocator,
                                  ipcapture::IOpenParameters* parameters) {
    try {
        if (!CIPCaptureDriver::Open(sink, allocator, parameters)) {
            return false;
        }
        // Custom parameter 1 selects the video standard: non-zero NTSC, zero PAL.
        const auto standard = ParseWholeDecimal(GetCustomParameter(1));
        if (!standard) {
            return false;
        }
        m_ntsc = *standard != 0 ? 1 : 0;

        ipcapture::IDeviceDescription* device = parameters->GetDeviceDescription();
        ipcapture::IConnectionSettings* connection = parameters->GetConnectionSettings();
        if (device == nullptr || connection == nullptr) {
            return false;
        }
        const char* model = device->GetModelName();
        const char* address = connection->GetAddress();
        DebugMessage(kLevelDriverOpened, "DRIVER IS OPENED (name: %s, device model: %s, address: %s:%u)",
                     kDriverName, model != nullptr ? model : "", address != nullptr ? address : "",
                     static_cast<unsigned>(connection->GetPort()));
        return true;
    } catch (...) {
        return false;
    }
}

bool CDarvikIPCaptureDriver::CreateIO() {
    if (m_captureIO != nullptr) {
        return false;
    }
    m_captureIO = new (std::nothrow) CDarvikDigitalIO(static_cast<IDriver*>(this));
    return m_captureIO != nullptr;
}

bool CDarvikIPCaptureDriver::CreatePTZ() {
    if (m_ptzHandler != nullptr) {
        return false;
    }
    m_ptzHandler = new (std::nothrow) CDarvikPTZHandler(static_cast<IDriver*>(this));
    return m_ptzHandler != nullptr;
}

ICameraChannel* CDarvikIPCaptureDriver::CreateChannel(std::uint32_t channelIndex,
                                                      ipcapture::IFrameReceiver* receiver) {
    switch (m_streamType) {
        case kStreamTypeMjpeg:
            return new (std::nothrow) CMjpegHttpChannel(channelIndex, this, receiver);
        case kStreamTypeMpeg:
            return new (std::nothrow) CMpegHttpChannel(channelIndex, this, receiver);
        default:
            return nullptr;
    }
}

std::optional<std::int32_t> CDarvikIPCaptureDriver::ParseWholeDecimal(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    if (*text == '\0') {
        return std::nullopt;
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace brevane
