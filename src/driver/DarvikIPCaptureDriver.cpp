#include "driver/DarvikIPCaptureDriver.h"

#include <cstdint>
#include <new>

#include "core/Text.h"
#include "io/DarvikDigitalIO.h"
#include "ptz/DarvikPTZHandler.h"
#include "video/MjpegHttpChannel.h"
#include "video/MpegHttpChannel.h"

namespace brevane {

bool CDarvikIPCaptureDriver::Open(ipcapture::IMessageSink* sink,
                                  ipcapture::IFrameAllocator* allocator,
                                  ipcapture::IOpenParameters* parameters) {
    try {
        if (!CIPCaptureDriver::Open(sink, allocator, parameters)) {
            return false;
        }
        // Custom parameter 1 selects the video standard: a whole decimal
        // number, non-zero NTSC, zero PAL. Only zero matters, so a number of
        // any size is taken.
        const char* standardText = GetCustomParameter(1);
        std::int32_t standard = 0;
        if (standardText == nullptr || !Text::ParseIntSaturating(standardText, standard)) {
            return false;
        }
        m_ntsc = standard != 0 ? 1 : 0;

        ipcapture::IDeviceDescription* device = parameters->GetDeviceDescription();
        ipcapture::IConnectionSettings* connection = parameters->GetConnectionSettings();
        if (device == nullptr || connection == nullptr) {
            return false;
        }
        const char* model = device->GetModelName();
        const char* address = connection->GetAddress();
        // The model often comes from the camera itself (its product id).
        DebugMessage(kLevelDriverOpened, "DRIVER IS OPENED (name: %s, device model: %s, address: %s:%u)",
                     kDriverName, Text::LogText(model != nullptr ? model : "").c_str(),
                     Text::LogText(address != nullptr ? address : "").c_str(),
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

}  // namespace brevane
