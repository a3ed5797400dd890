// CDarvikIPCaptureDriver: the driver object for the vendor's cameras. Picks
// the vendor's digital I/O, PTZ and channel classes, checks the vendor's
// custom parameter (the video standard) and reports the opened driver.
//
// Ownership and threads as CIPCaptureDriver.
#pragma once

#include <cstdint>

#include "driver/IPCaptureDriver.h"

namespace brevane {

class CDarvikIPCaptureDriver final : public CIPCaptureDriver {
   public:
    // Name reported in the opened line.
    static constexpr const char* kDriverName = "DarvikIPCapture";

    CDarvikIPCaptureDriver() = default;
    // Closes while the object is still whole: channel, I/O and PTZ threads
    // call this driver through its interfaces until they end, and the base
    // destructors would change the object's virtual tables under them.
    ~CDarvikIPCaptureDriver() override { Close(); }

    bool Open(ipcapture::IMessageSink* sink, ipcapture::IFrameAllocator* allocator,
              ipcapture::IOpenParameters* parameters) override;
    bool CreateIO() override;
    bool CreatePTZ() override;
    ICameraChannel* CreateChannel(std::uint32_t channelIndex,
                                  ipcapture::IFrameReceiver* receiver) override;
};

}  // namespace brevane
